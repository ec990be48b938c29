// CameraPropertyPage: the capture filter's property page. Every control acts
// at once through the filter's ICameraSettings; the page keeps no camera
// settings of its own, so Apply has nothing left to do.
//
// Threading: the page lives on the property frame's thread; its ICameraSettings
// calls may block while another thread's still request is being served.
#pragma once

#include "filter/framework/framework.h"
#include "control/include/camera_settings.h"

class CameraPropertyPage final : public PropertyPageBase {
public:
    explicit CameraPropertyPage(IUnknown *outer);

    // The class table's create routine.
    static NonDelegatingUnknown *Create(IUnknown *outer, HRESULT *result);

    // E_POINTER for null, else the object's answer to ICameraSettings.
    HRESULT OnConnect(IUnknown *object) override;
    HRESULT OnDisconnect() override;
    // Fills the controls from the filter; the result is that of GetAutoColor.
    HRESULT OnActivate() override;
    HRESULT OnApplyChanges() override { return S_OK; }
    // Commands of the page's controls; everything else goes to the base.
    INT_PTR OnReceiveMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // What a command did to the page.
    enum class Outcome { kNotHandled, kChanged, kUnchanged, kPassOn };
    Outcome RunCommand(int control);
    Outcome SetRegionFromBoxes();
    Outcome CaptureToFile();
    Outcome ShowCameraId();
    void ReadRegisterIntoBox();

    // A number box's text converted like _wtoi: leading blanks and sign, then digits; none gives 0.
    int ReadNumber(int control) const;
    void WriteNumber(int control, int value);
    bool IsChecked(int control) const;
    void Check(int control, bool checked);
    // Checks the button of `mode` (0..3) among four, unchecking the others.
    void CheckMode(const int (&controls)[4], int mode);

    ComPtr<ICameraSettings> settings;
};
