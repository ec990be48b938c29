// CameraSettingsImpl: the capture filter's ICameraSettings. The filter embeds
// one and hands it out from its QueryInterface; IUnknown goes to the filter's
// controlling unknown, so the interface shares the filter's identity and count.
//
// Threading: every method takes the filter's settingsLock for its whole body
// (scoped), after its out-pointers are checked; nothing else of the filter
// takes that lock except its own state changes while they open or close the
// camera. The pins' format copies are written under it together with the
// engine settings they mirror. Still requests keep the lock while they wait
// for the preview pin, and the engine bounds that wait.
#pragma once

#include "control/filter_interface.h"
#include "control/include/camera_settings.h"

class CameraEngine;
namespace platform {
class CriticalSection;
}

class CameraSettingsImpl final : public FilterInterface<ICameraSettings> {
public:
    using FilterInterface::FilterInterface;

    // --- ICameraSettings, in table order --------------------------------------------------------
    HRESULT STDMETHODCALLTYPE GetCameraNumber(int *number) override;
    HRESULT STDMETHODCALLTYPE SetCameraNumber(int number) override;
    HRESULT STDMETHODCALLTYPE GetGain(int *gain) override;
    HRESULT STDMETHODCALLTYPE SetGain(int gain) override;
    HRESULT STDMETHODCALLTYPE GetCaptureResolution(int *mode) override;
    HRESULT STDMETHODCALLTYPE SetCaptureResolution(int mode) override;
    HRESULT STDMETHODCALLTYPE GetStillResolution(int *mode) override;
    HRESULT STDMETHODCALLTYPE SetStillResolution(int mode) override;
    HRESULT STDMETHODCALLTYPE CaptureStillImage(const char *path) override;
    HRESULT STDMETHODCALLTYPE GetShutterDelay(int *delay) override;
    HRESULT STDMETHODCALLTYPE SetShutterDelay(int delay) override;
    HRESULT STDMETHODCALLTYPE GetShutterWidth(int *width) override;
    HRESULT STDMETHODCALLTYPE SetShutterWidth(int width) override;
    HRESULT STDMETHODCALLTYPE GetRegVal(int *value, int reg) override;
    HRESULT STDMETHODCALLTYPE SetRegVal(int reg, int value) override;
    HRESULT STDMETHODCALLTYPE GetFlipHorizontal(CameraFlag *flip) override;
    HRESULT STDMETHODCALLTYPE SetFlipHorizontal(CameraFlag flip) override;
    HRESULT STDMETHODCALLTYPE GetFlipVertical(CameraFlag *flip) override;
    HRESULT STDMETHODCALLTYPE SetFlipVertical(CameraFlag flip) override;
    HRESULT STDMETHODCALLTYPE GetRegion(int *x, int *y, int *width, int *height) override;
    HRESULT STDMETHODCALLTYPE SetRegion(int x, int y, int width, int height, const int *pixelGainTable) override;
    HRESULT STDMETHODCALLTYPE GetRegionEx(int *x, int *y, int *width, int *height, int *step) override;
    HRESULT STDMETHODCALLTYPE SetRegionEx(int x, int y, int width, int height, int step,
                                          const int *pixelGainTable) override;
    HRESULT STDMETHODCALLTYPE GetGrid(CameraFlag *enabled, int *columns, int *rows) override;
    HRESULT STDMETHODCALLTYPE SetGrid(CameraFlag enabled, int columns, int rows) override;
    HRESULT STDMETHODCALLTYPE GetSensorType(int *sensorType) override;
    HRESULT STDMETHODCALLTYPE SetSensorType() override;
    HRESULT STDMETHODCALLTYPE GetQualityMode(CameraFlag *quality) override;
    HRESULT STDMETHODCALLTYPE SetQualityMode(CameraFlag quality) override;
    HRESULT STDMETHODCALLTYPE GetRawStill(CameraFlag *raw) override;
    HRESULT STDMETHODCALLTYPE SetRawStill(CameraFlag raw) override;
    HRESULT STDMETHODCALLTYPE CaptureStillToBuffer(unsigned char *buffer, int size, CameraFlag useStillResolution,
                                                   CameraFlag pixelGainStill) override;
    HRESULT STDMETHODCALLTYPE GetCamSN(int *serialNumber) override;
    HRESULT STDMETHODCALLTYPE GetAutoColor(CameraFlag *enabled) override;
    HRESULT STDMETHODCALLTYPE SetAutoColor(CameraFlag enabled) override;
    HRESULT STDMETHODCALLTYPE GetExposureTiming(int *exposureMs, int *frameMs) override;
    HRESULT STDMETHODCALLTYPE GetMonochrome(CameraFlag *enabled) override;
    HRESULT STDMETHODCALLTYPE SetMonochrome(CameraFlag enabled) override;
    HRESULT STDMETHODCALLTYPE GetRawView(CameraFlag *enabled) override;
    HRESULT STDMETHODCALLTYPE SetRawView(CameraFlag enabled) override;
    HRESULT STDMETHODCALLTYPE GetStillRgbOrder(CameraFlag *rgbOrder) override;
    HRESULT STDMETHODCALLTYPE SetStillRgbOrder(CameraFlag rgbOrder) override;
    HRESULT STDMETHODCALLTYPE SetWeightedGray(CameraFlag enabled, int blue, int green, int red) override;
    HRESULT STDMETHODCALLTYPE GetWeightedGray(CameraFlag *enabled, int *blue, int *green, int *red) override;
    HRESULT STDMETHODCALLTYPE GetFrameRate(float *framesPerSecond) override;
    HRESULT STDMETHODCALLTYPE SetOverlay(const unsigned char *image, CameraFlag enabled, CameraFlag copy) override;
    HRESULT STDMETHODCALLTYPE SetBlankOutput(CameraFlag enabled) override;

private:
    // Reads one value under the lock into a checked out-pointer.
    template <typename T, typename Read> HRESULT Get(T *out, Read read);
    // Runs a change under the lock; S_OK.
    template <typename Change> HRESULT Set(const char *method, Change change);
    // True while the filter is paused or running (the camera is in use).
    bool FilterActive() const;
    // Returns once no conversion that may still read a replaced overlay or
    // pixel gain table is running. Called under the settings lock.
    void WaitForRunningConversions();

    CameraEngine &Engine() const;
    platform::CriticalSection &SettingsLock() const;
};
