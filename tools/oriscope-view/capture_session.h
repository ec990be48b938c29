// CaptureSession: the video input devices, and one of them previewed in a
// window through the capture graph builder, with its ICameraSettings and
// property pages when the device offers them.
//
// Threading: one UI thread creates, uses and destroys a session.
#pragma once

#define NO_DSHOW_STRSAFE
#include <windows.h>
#include <dshow.h>

#include <string>
#include <vector>

#include "camera_settings.h"

// An owning COM interface pointer, enough for this program.
template <typename T> class Ref {
public:
    Ref() = default;
    Ref(const Ref &) = delete;
    Ref &operator=(const Ref &) = delete;
    Ref(Ref &&other) noexcept : object(other.object) { other.object = nullptr; }
    Ref &operator=(Ref &&other) noexcept {
        if (this != &other) {
            reset();
            object = other.object;
            other.object = nullptr;
        }
        return *this;
    }
    ~Ref() { reset(); }
    T *operator->() const { return object; }
    T *get() const { return object; }
    explicit operator bool() const { return object != nullptr; }
    T **put() {
        reset();
        return &object;
    }
    void **putVoid() { return reinterpret_cast<void **>(put()); }
    void reset() {
        if (object != nullptr)
            object->Release();
        object = nullptr;
    }

private:
    T *object = nullptr;
};

struct VideoDevice {
    std::wstring name;
    Ref<IMoniker> moniker;
};

// The video input devices in the order the system lists them.
std::vector<VideoDevice> ListVideoDevices();

class CaptureSession {
public:
    CaptureSession() = default;
    CaptureSession(const CaptureSession &) = delete;
    CaptureSession &operator=(const CaptureSession &) = delete;
    ~CaptureSession() { Close(); }

    // Builds and runs the preview graph of `device`, its video shown inside
    // `videoArea`. `resolution` 0..3 is set through ICameraSettings first when
    // the device has it (-1: leave it). Returns a failure result and closes on error.
    HRESULT Open(IMoniker *device, HWND videoArea, int resolution);
    void Close();
    // Fits the video into its area after a resize.
    void FitVideo(HWND videoArea);

    // Null for devices that are not Oriscope cameras.
    ICameraSettings *Settings() const { return settings.get(); }
    IBaseFilter *Filter() const { return source.get(); }
    // Shows the device's property pages (modal); E_NOINTERFACE when it has none.
    HRESULT ShowProperties(HWND owner, const wchar_t *caption);

private:
    Ref<IGraphBuilder> graph;
    Ref<ICaptureGraphBuilder2> builder;
    Ref<IMediaControl> control;
    Ref<IVideoWindow> videoWindow;
    Ref<IBaseFilter> source;
    Ref<ICameraSettings> settings;
};
