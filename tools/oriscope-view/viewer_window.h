// ViewerWindow: oriscope-view's main window. A device list, "Properties…",
// "Still…" and the frame rate along the top, the live preview below.
//
// Threading: everything runs on the UI thread except the snapshot helper,
// which only finds, captures and closes the property frame.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "capture_session.h"

struct ViewerOptions {
    int device = -1;        // index in the device list; -1: the first Oriscope camera, else the first device
    int resolution = -1;    // 0..3 through ICameraSettings before starting; -1: as the camera is
    int seconds = 0;        // quit after this long; 0: run until closed
    std::wstring snapshots; // folder for the window, page and still pictures; empty: none
};

class ViewerWindow {
public:
    explicit ViewerWindow(const ViewerOptions &chosen) : options(chosen) {}
    ViewerWindow(const ViewerWindow &) = delete;
    ViewerWindow &operator=(const ViewerWindow &) = delete;

    // Creates and shows the window and starts the chosen device; false when
    // the window cannot be created.
    bool Create(HINSTANCE instance);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void Layout();
    void OpenDevice(int index);
    void ShowProperties();
    void TakeStill();
    void ShowFrameRate();
    void SetStatus(const std::wstring &text);
    // The snapshot sequence: window picture, page picture, still, quit.
    void RunSnapshots();

    ViewerOptions options;
    HWND window = nullptr;
    HWND deviceList = nullptr;
    HWND propertiesButton = nullptr;
    HWND stillButton = nullptr;
    HWND rateText = nullptr;
    HWND statusText = nullptr;
    HWND videoArea = nullptr;
    std::vector<VideoDevice> devices;
    int current = -1;
    CaptureSession session;
};
