// The filter's control interfaces as one set, found by interface id.
#include "control/public/filter_controls.h"

#include <new>

#include "control/camera_settings_impl.h"
#include "control/standard_controls.h"
#include "control/video_control.h"

namespace {

class ControlSet final : public FilterControls {
public:
    explicit ControlSet(CameraFilter &filter)
        : settings(filter), videoProcAmp(filter), cameraControl(filter), videoControl(filter) {}

    HRESULT QueryInterface(REFIID iid, void **result) override {
        if (result == nullptr)
            return E_POINTER;
        if (IsEqualIID(iid, IID_ICameraSettings))
            return ReturnInterface(static_cast<ICameraSettings *>(&settings), result);
        if (IsEqualIID(iid, IID_IAMVideoProcAmp))
            return ReturnInterface(static_cast<IAMVideoProcAmp *>(&videoProcAmp), result);
        if (IsEqualIID(iid, IID_IAMCameraControl))
            return ReturnInterface(static_cast<IAMCameraControl *>(&cameraControl), result);
        if (IsEqualIID(iid, IID_IAMVideoControl))
            return ReturnInterface(static_cast<IAMVideoControl *>(&videoControl), result);
        *result = nullptr;
        return E_NOINTERFACE;
    }

private:
    CameraSettingsImpl settings;
    VideoProcAmpImpl videoProcAmp;
    CameraControlImpl cameraControl;
    VideoControlImpl videoControl;
};

} // namespace

std::unique_ptr<FilterControls> CreateFilterControls(CameraFilter &filter) {
    return std::unique_ptr<FilterControls>(new (std::nothrow) ControlSet(filter));
}
