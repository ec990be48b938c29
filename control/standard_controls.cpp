// Gain and exposure through the standard DirectShow control interfaces, on
// the same engine settings and lock as ICameraSettings.
#include "control/standard_controls.h"

#include <algorithm>
#include <cmath>

#include "engine/camera_engine.h"
#include "platform/platform.h"

namespace {

// HRESULT_FROM_WIN32(ERROR_NOT_FOUND), spelled out since not every SDK header set has it.
constexpr HRESULT kPropIdUnsupported = static_cast<HRESULT>(0x80070490);
constexpr LONG kGainMinimum = 0;
constexpr LONG kGainMaximum = 99;
constexpr LONG kGainDefault = 25;

// The exposure of one camera's present row timing, as a line in the shutter width.
struct ExposureScale {
    long long slope = 0;
    long long offset = 0;

    // The shortest width with a positive exposure.
    long long ShortestWidth() const { return std::max(1LL, -offset / slope + 1); }
    long long Clocks(long long width) const { return slope * std::max(width, ShortestWidth()) + offset; }
    LONG Log2Seconds(long long width) const {
        return static_cast<LONG>(std::lround(std::log2(double(Clocks(width)) / double(CameraEngine::kPixelClockHz))));
    }
    LONG Minimum() const { return Log2Seconds(ShortestWidth()); }
    LONG Maximum() const { return Log2Seconds(CameraEngine::kShutterWidthMax); }
    // The width whose exposure is nearest to 2^value seconds.
    int WidthFor(LONG value) const {
        const double clocks = std::ldexp(double(CameraEngine::kPixelClockHz), std::clamp(value, Minimum(), Maximum()));
        const double width = std::round((clocks - double(offset)) / double(slope));
        return static_cast<int>(std::clamp(width, double(ShortestWidth()), double(CameraEngine::kShutterWidthMax)));
    }
};

} // namespace

// --- IAMVideoProcAmp --------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE VideoProcAmpImpl::GetRange(LONG property, LONG *minimum, LONG *maximum, LONG *step,
                                                     LONG *byDefault, LONG *capsFlags) {
    if (minimum == nullptr || maximum == nullptr || step == nullptr || byDefault == nullptr || capsFlags == nullptr)
        return E_POINTER;
    if (property != VideoProcAmp_Gain)
        return kPropIdUnsupported;
    *minimum = kGainMinimum;
    *maximum = kGainMaximum;
    *step = 1;
    *byDefault = kGainDefault;
    *capsFlags = VideoProcAmp_Flags_Manual;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VideoProcAmpImpl::Set(LONG property, LONG value, LONG flags) {
    DSHOW_TRACE("IAMVideoProcAmp::Set(%ld, %ld, %ld)\n", long(property), long(value), long(flags));
    if (property != VideoProcAmp_Gain)
        return kPropIdUnsupported;
    if ((flags & VideoProcAmp_Flags_Auto) != 0)
        return E_INVALIDARG;
    platform::Lock guard(filter.SettingsLock());
    filter.Engine().SetGain(value);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VideoProcAmpImpl::Get(LONG property, LONG *value, LONG *flags) {
    if (value == nullptr || flags == nullptr)
        return E_POINTER;
    if (property != VideoProcAmp_Gain)
        return kPropIdUnsupported;
    platform::Lock guard(filter.SettingsLock());
    *value = filter.Engine().GetGain();
    *flags = VideoProcAmp_Flags_Manual;
    return S_OK;
}

// --- IAMCameraControl -------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CameraControlImpl::GetRange(LONG property, LONG *minimum, LONG *maximum, LONG *step,
                                                      LONG *byDefault, LONG *capsFlags) {
    if (minimum == nullptr || maximum == nullptr || step == nullptr || byDefault == nullptr || capsFlags == nullptr)
        return E_POINTER;
    if (property != CameraControl_Exposure)
        return kPropIdUnsupported;
    platform::Lock guard(filter.SettingsLock());
    ExposureScale scale;
    if (!filter.Engine().ExposureLine(scale.slope, scale.offset))
        return kPropIdUnsupported;
    *minimum = scale.Minimum();
    *maximum = scale.Maximum();
    *step = 1;
    *byDefault = scale.Log2Seconds(0); // the engine's default shutter width
    *capsFlags = CameraControl_Flags_Manual;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CameraControlImpl::Set(LONG property, LONG value, LONG flags) {
    DSHOW_TRACE("IAMCameraControl::Set(%ld, %ld, %ld)\n", long(property), long(value), long(flags));
    if (property != CameraControl_Exposure)
        return kPropIdUnsupported;
    if ((flags & CameraControl_Flags_Auto) != 0)
        return E_INVALIDARG;
    platform::Lock guard(filter.SettingsLock());
    ExposureScale scale;
    if (!filter.Engine().ExposureLine(scale.slope, scale.offset))
        return kPropIdUnsupported;
    filter.Engine().SetShutterWidth(scale.WidthFor(value));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CameraControlImpl::Get(LONG property, LONG *value, LONG *flags) {
    if (value == nullptr || flags == nullptr)
        return E_POINTER;
    if (property != CameraControl_Exposure)
        return kPropIdUnsupported;
    platform::Lock guard(filter.SettingsLock());
    ExposureScale scale;
    if (!filter.Engine().ExposureLine(scale.slope, scale.offset))
        return kPropIdUnsupported;
    *value = scale.Log2Seconds(filter.Engine().GetShutterWidth());
    *flags = CameraControl_Flags_Manual;
    return S_OK;
}
