// CameraSettingsImpl: each ICameraSettings method as one engine operation or
// setting under the filter's settingsLock.
#include "control/camera_settings_impl.h"

#include <cstdint>

#include "engine/camera_engine.h"
#include "filter/capture_pin.h"
#include "filter/capture_source_filter.h"
#include "filter/preview_pin.h"
#include "platform/platform.h"

namespace {
bool IsPercent(int value) {
    return value >= 0 && value <= 100;
}
} // namespace

// --- Helpers ----------------------------------------------------------------------------------------

CameraEngine &CameraSettingsImpl::Engine() const {
    return filter.engine;
}

platform::CriticalSection &CameraSettingsImpl::SettingsLock() const {
    return filter.settingsLock;
}

template <typename T, typename Read> HRESULT CameraSettingsImpl::Get(T *out, Read read) {
    if (out == nullptr)
        return E_POINTER;
    platform::Lock guard(SettingsLock());
    *out = read();
    return S_OK;
}

template <typename Change> HRESULT CameraSettingsImpl::Set(const char *method, Change change) {
    DSHOW_TRACE("ICameraSettings::%s\n", method);
    platform::Lock guard(SettingsLock());
    change();
    return S_OK;
}

bool CameraSettingsImpl::FilterActive() const {
    return filter.IsActive() || Engine().IsRunning();
}

void CameraSettingsImpl::WaitForRunningConversions() {
    // The pins convert under the engine's consumerLock and read the overlay
    // and gain table pointers once per frame: a conversion that could still
    // hold the old pointer has finished once the lock is free.
    platform::Lock conversions(Engine().consumerLock);
}

// --- Camera and readout -----------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetCameraNumber(int *number) {
    return Get(number, [&] { return Engine().cameraNumber; });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetCameraNumber(int number) {
    return Set(__func__, [&] {
        Engine().cameraNumber = number;
        // While stopped the pins describe the newly chosen camera at once;
        // otherwise the next Pause detects it before opening.
        if (!FilterActive())
            filter.DetectAttachedSensor();
    });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetGain(int *gain) {
    return Get(gain, [&] { return Engine().GetGain(); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetGain(int gain) {
    return Set(__func__, [&] { Engine().SetGain(gain); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetCaptureResolution(int *mode) {
    return Get(mode, [&] { return Engine().GetResolutionMode(); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetCaptureResolution(int mode) {
    return Set(__func__, [&] {
        Engine().SetResolutionMode(mode);
        // The pins' copies mirror what the engine holds, so a mode the engine
        // ignored leaves the pins' video formats as they are.
        filter.SetPinFormatMode(Engine().GetResolutionMode());
    });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetStillResolution(int *mode) {
    return Get(mode, [&] { return Engine().GetStillResolutionMode(); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetStillResolution(int mode) {
    return Set(__func__, [&] { Engine().SetStillResolutionMode(mode); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetShutterDelay(int *delay) {
    return Get(delay, [&] { return Engine().GetShutterDelay(); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetShutterDelay(int delay) {
    return Set(__func__, [&] { Engine().SetShutterDelay(delay); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetShutterWidth(int *width) {
    return Get(width, [&] { return Engine().GetShutterWidth(); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetShutterWidth(int width) {
    return Set(__func__, [&] { Engine().SetShutterWidth(width); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetRegVal(int *value, int reg) {
    return Get(value, [&] { return Engine().ReadRegister(reg); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetRegVal(int reg, int value) {
    return Set(__func__, [&] { Engine().WriteRegister(reg, value); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetQualityMode(CameraFlag *quality) {
    return Get(quality, [&] { return Engine().GetQualityMode(); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetQualityMode(CameraFlag quality) {
    return Set(__func__, [&] { Engine().SetQualityMode(quality); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetCamSN(int *serialNumber) {
    return Get(serialNumber, [&] { return Engine().GetCameraId(); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetExposureTiming(int *exposureMs, int *frameMs) {
    if (exposureMs == nullptr || frameMs == nullptr)
        return E_POINTER;
    platform::Lock guard(SettingsLock());
    Engine().GetExposureTiming(*exposureMs, *frameMs);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetFrameRate(float *framesPerSecond) {
    return Get(framesPerSecond, [&] { return Engine().frameRate.get(); });
}

// --- Sensor detection ---------------------------------------------------------------------------------
// Detection restarts the camera's transport, which must not happen under a
// running acquisition: while the filter is not stopped the type in use is
// reported and changing it is refused.

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetSensorType(int *sensorType) {
    return Get(sensorType, [&] {
        if (FilterActive())
            return Engine().sensorType;
        const int detected = Engine().DetectSensorType();
        // No camera (0) keeps the type the engine would open with.
        filter.AdoptSensorType(detected);
        return detected;
    });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetSensorType() {
    DSHOW_TRACE("ICameraSettings::SetSensorType\n");
    platform::Lock guard(SettingsLock());
    if (FilterActive())
        return VFW_E_NOT_STOPPED;
    filter.AdoptSensorType(Engine().DetectSensorType());
    return S_OK;
}

// --- Region -----------------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetRegion(int *x, int *y, int *width, int *height) {
    if (x == nullptr || y == nullptr || width == nullptr || height == nullptr)
        return E_POINTER;
    platform::Lock guard(SettingsLock());
    Engine().GetRegion(*x, *y, *width, *height);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetRegion(int x, int y, int width, int height,
                                                        const int *pixelGainTable) {
    DSHOW_TRACE("ICameraSettings::SetRegion(%d, %d, %d, %d, %p)\n", x, y, width, height,
                static_cast<const void *>(pixelGainTable));
    platform::Lock guard(SettingsLock());
    if (!Engine().SetRegion(x, y, width, height, pixelGainTable))
        return E_INVALIDARG;
    filter.SetPinFormatRegion(width, height);
    WaitForRunningConversions();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetRegionEx(int *x, int *y, int *width, int *height, int *step) {
    if (x == nullptr || y == nullptr || width == nullptr || height == nullptr || step == nullptr)
        return E_POINTER;
    platform::Lock guard(SettingsLock());
    Engine().GetRegionEx(*x, *y, *width, *height, *step);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetRegionEx(int x, int y, int width, int height, int step,
                                                          const int *pixelGainTable) {
    DSHOW_TRACE("ICameraSettings::SetRegionEx(%d, %d, %d, %d, %d, %p)\n", x, y, width, height, step,
                static_cast<const void *>(pixelGainTable));
    platform::Lock guard(SettingsLock());
    if (!Engine().SetRegionEx(x, y, width, height, step, pixelGainTable))
        return E_INVALIDARG;
    filter.SetPinFormatRegion(width, height);
    WaitForRunningConversions();
    return S_OK;
}

// --- Stills -----------------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::CaptureStillImage(const char *path) {
    if (path == nullptr)
        return E_POINTER;
    DSHOW_TRACE("ICameraSettings::CaptureStillImage(%s)\n", path);
    platform::Lock guard(SettingsLock());
    Engine().CaptureStillToFile(path);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::CaptureStillToBuffer(unsigned char *buffer, int size,
                                                                   CameraFlag useStillResolution,
                                                                   CameraFlag pixelGainStill) {
    if (buffer == nullptr)
        return E_POINTER;
    if (size < 0)
        return E_INVALIDARG;
    DSHOW_TRACE("ICameraSettings::CaptureStillToBuffer(%p, %d)\n", static_cast<void *>(buffer), size);
    platform::Lock guard(SettingsLock());
    const bool written =
        Engine().CaptureStillToBuffer(buffer, static_cast<std::uint32_t>(size), useStillResolution, pixelGainStill);
    return written ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetRawStill(CameraFlag *raw) {
    return Get(raw, [&] { return Engine().rawStill.get(); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetRawStill(CameraFlag raw) {
    return Set(__func__, [&] {
        Engine().rawStill = raw;
        filter.previewPin->SetRawStillCopy(raw);
    });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetStillRgbOrder(CameraFlag *rgbOrder) {
    return Get(rgbOrder, [&] { return Engine().stillRgbOrder.get(); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetStillRgbOrder(CameraFlag rgbOrder) {
    return Set(__func__, [&] { Engine().stillRgbOrder = rgbOrder; });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetWeightedGray(CameraFlag enabled, int blue, int green, int red) {
    if (!IsPercent(blue) || !IsPercent(green) || !IsPercent(red))
        return S_FALSE;
    return Set(__func__, [&] {
        CameraEngine &engine = Engine();
        engine.weightedGray = enabled;
        engine.grayWeightBlue = blue;
        engine.grayWeightGreen = green;
        engine.grayWeightRed = red;
    });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetWeightedGray(CameraFlag *enabled, int *blue, int *green, int *red) {
    if (enabled == nullptr || blue == nullptr || green == nullptr || red == nullptr)
        return E_POINTER;
    platform::Lock guard(SettingsLock());
    const CameraEngine &engine = Engine();
    *enabled = engine.weightedGray;
    *blue = engine.grayWeightBlue;
    *green = engine.grayWeightGreen;
    *red = engine.grayWeightRed;
    return S_OK;
}

// --- Picture ----------------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetFlipHorizontal(CameraFlag *flip) {
    return Get(flip, [&] { return Engine().GetHorizontalFlip(); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetFlipHorizontal(CameraFlag flip) {
    return Set(__func__, [&] { Engine().SetHorizontalFlip(flip); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetFlipVertical(CameraFlag *flip) {
    return Get(flip, [&] { return Engine().GetVerticalFlip(); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetFlipVertical(CameraFlag flip) {
    return Set(__func__, [&] { Engine().SetVerticalFlip(flip); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetGrid(CameraFlag *enabled, int *columns, int *rows) {
    if (enabled == nullptr || columns == nullptr || rows == nullptr)
        return E_POINTER;
    platform::Lock guard(SettingsLock());
    *enabled = Engine().gridEnabled;
    *columns = Engine().gridColumns;
    *rows = Engine().gridRows;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetGrid(CameraFlag enabled, int columns, int rows) {
    // Any counts are stored: the converter draws no grid for counts below 1
    // or cells narrower than a pixel.
    return Set(__func__, [&] {
        Engine().gridColumns = columns;
        Engine().gridRows = rows;
        Engine().gridEnabled = enabled;
    });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetAutoColor(CameraFlag *enabled) {
    return Get(enabled, [&] { return Engine().GetAutoColor(); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetAutoColor(CameraFlag enabled) {
    return Set(__func__, [&] { Engine().SetAutoColor(enabled); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetMonochrome(CameraFlag *enabled) {
    return Get(enabled, [&] { return Engine().GetMonochrome(); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetMonochrome(CameraFlag enabled) {
    return Set(__func__, [&] { Engine().SetMonochrome(enabled); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::GetRawView(CameraFlag *enabled) {
    return Get(enabled, [&] { return Engine().GetRawView(); });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetRawView(CameraFlag enabled) {
    return Set(__func__, [&] {
        Engine().SetRawView(enabled);
        Engine().SetMonochrome(enabled);
    });
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetOverlay(const unsigned char *image, CameraFlag enabled,
                                                         CameraFlag copy) {
    DSHOW_TRACE("ICameraSettings::SetOverlay(%p, %d, %d)\n", static_cast<const void *>(image), enabled, copy);
    platform::Lock guard(SettingsLock());
    CameraEngine &engine = Engine();
    engine.overlayImage = image;
    engine.overlayCopy = copy;
    engine.overlayEnabled = enabled;
    // The caller may free a replaced image as soon as this returns.
    WaitForRunningConversions();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CameraSettingsImpl::SetBlankOutput(CameraFlag enabled) {
    return Set(__func__, [&] { Engine().SetBlankOutput(enabled); });
}
