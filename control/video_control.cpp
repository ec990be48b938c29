// IAMVideoControl: the still trigger and the frame rates, on the same
// engine and lock as ICameraSettings.
#include "control/video_control.h"

#include <cmath>

#include "engine/camera_engine.h"
#include "platform/platform.h"

namespace {
constexpr long long kUnitsPerSecond = 10000000; // 100-ns units
constexpr LONG kTriggerFlag = VideoControlFlag_Trigger;

// The flags a pin supports: the still pin's trigger, nothing on the video pins.
LONG CapsOf(CameraFilter::PinKind kind) {
    return kind == CameraFilter::PinKind::kStill ? kTriggerFlag : 0;
}
} // namespace

HRESULT STDMETHODCALLTYPE VideoControlImpl::GetCaps(IPin *pin, LONG *flags) {
    if (flags == nullptr)
        return E_POINTER;
    platform::Lock guard(filter.SettingsLock());
    const auto kind = filter.KindOf(pin);
    if (kind == CameraFilter::PinKind::kNone)
        return E_INVALIDARG;
    *flags = CapsOf(kind);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VideoControlImpl::SetMode(IPin *pin, LONG mode) {
    DSHOW_TRACE("IAMVideoControl::SetMode(%p, 0x%lx)\n", static_cast<void *>(pin), static_cast<unsigned long>(mode));
    platform::Lock guard(filter.SettingsLock());
    const auto kind = filter.KindOf(pin);
    if (kind == CameraFilter::PinKind::kNone)
        return E_INVALIDARG;
    if ((mode & ~CapsOf(kind)) != 0)
        return E_INVALIDARG;
    if ((mode & kTriggerFlag) != 0)
        return filter.RequestStill();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VideoControlImpl::GetMode(IPin *pin, LONG *mode) {
    if (mode == nullptr)
        return E_POINTER;
    platform::Lock guard(filter.SettingsLock());
    const auto kind = filter.KindOf(pin);
    if (kind == CameraFilter::PinKind::kNone)
        return E_INVALIDARG;
    *mode = kind == CameraFilter::PinKind::kStill && filter.PendingStills() > 0 ? kTriggerFlag : 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VideoControlImpl::GetCurrentActualFrameRate(IPin *pin, LONGLONG *frameRate) {
    if (frameRate == nullptr)
        return E_POINTER;
    platform::Lock guard(filter.SettingsLock());
    const auto kind = filter.KindOf(pin);
    if (kind == CameraFilter::PinKind::kNone)
        return E_INVALIDARG;
    if (!filter.PinConnected(kind))
        return VFW_E_NOT_CONNECTED;
    return MeasuredFrameTime(*frameRate);
}

HRESULT STDMETHODCALLTYPE VideoControlImpl::GetMaxAvailableFrameRate(IPin *pin, LONG index, SIZE dimensions,
                                                                     LONGLONG *frameRate) {
    if (frameRate == nullptr)
        return E_POINTER;
    platform::Lock guard(filter.SettingsLock());
    const HRESULT checked = CheckFormat(pin, index, dimensions);
    if (FAILED(checked))
        return checked;
    return SensorFrameTime(*frameRate);
}

HRESULT STDMETHODCALLTYPE VideoControlImpl::GetFrameRateList(IPin *pin, LONG index, SIZE dimensions, LONG *listSize,
                                                             LONGLONG **frameRates) {
    if (listSize == nullptr)
        return E_POINTER;
    if (frameRates != nullptr)
        *frameRates = nullptr;
    platform::Lock guard(filter.SettingsLock());
    const HRESULT checked = CheckFormat(pin, index, dimensions);
    if (FAILED(checked))
        return checked;
    LONGLONG frameTime = 0;
    const HRESULT timed = SensorFrameTime(frameTime);
    if (FAILED(timed))
        return timed;
    *listSize = 1;
    if (frameRates == nullptr)
        return S_OK;
    *frameRates = static_cast<LONGLONG *>(CoTaskMemAlloc(sizeof(LONGLONG)));
    if (*frameRates == nullptr)
        return E_OUTOFMEMORY;
    (*frameRates)[0] = frameTime;
    return S_OK;
}

HRESULT VideoControlImpl::CheckFormat(IPin *pin, LONG index, SIZE dimensions) {
    const auto kind = filter.KindOf(pin);
    if (kind == CameraFilter::PinKind::kNone || !filter.PinOffersFormat(kind, index, dimensions))
        return E_INVALIDARG;
    return filter.PinConnected(kind) ? S_OK : VFW_E_NOT_CONNECTED;
}

HRESULT VideoControlImpl::SensorFrameTime(LONGLONG &frameTime) {
    if (!filter.IsPausedOrRunning() || !filter.Engine().IsRunning())
        return VFW_E_NOT_RUNNING; // the sensor is programmed only while the camera runs
    long long clocks = 0;
    if (!filter.Engine().FrameClocks(clocks))
        return MeasuredFrameTime(frameTime);
    frameTime = clocks * kUnitsPerSecond / CameraEngine::kPixelClockHz;
    return S_OK;
}

HRESULT VideoControlImpl::MeasuredFrameTime(LONGLONG &frameTime) {
    // The average survives a stop; it describes this run only while running.
    const float framesPerSecond = filter.Engine().frameRate;
    if (!filter.IsPausedOrRunning() || !filter.Engine().IsRunning() || !(framesPerSecond > 0.0f))
        return VFW_E_NOT_RUNNING;
    frameTime = std::llround(double(kUnitsPerSecond) / double(framesPerSecond));
    return S_OK;
}
