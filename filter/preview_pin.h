// PreviewPin ("Preview"): the filter's preview output. Each sample waits
// (about two seconds at most) for a new frame from the engine, so the preview
// shows every frame once; when none comes the stream ends. After converting a
// frame the pin serves a pending still request from the same raw frame.
// Preview samples carry no time stamps.
//
// Threading: as CameraOutputPin. The format copies below are atomics.
#pragma once

#include <atomic>

#include "filter/camera_output_pin.h"

class PreviewPin : public CameraOutputPin {
public:
    PreviewPin(HRESULT *result, CaptureSourceFilter *filter);

    // --- Format copies besides the mode, written by the control interface
    // together with the engine settings they mirror (sensorType, the region,
    // rawStill) ---------------------------------------------------------------------------
    void SetFormatSensorType(int sensorType);
    // An accepted region's size (the custom mode's picture size).
    void SetFormatRegion(int width, int height);
    void SetRawStillCopy(bool raw);

    int FormatSensorType() const { return formatSensorType; }
    int FormatRegionWidth() const { return formatRegionWidth; }
    int FormatRegionHeight() const { return formatRegionHeight; }
    bool RawStillCopy() const { return rawStillCopy; }

    // 1 ms sleeps without a new frame before the stream ends.
    static constexpr int kFrameWaitSleeps = 2000;

protected:
    // S_FALSE (end of stream) after 2000 sleeps of 1 ms without a new frame.
    HRESULT FillSample(IMediaSample *sample, BYTE *data) override;
    HRESULT BuildCurrentType(AM_MEDIA_TYPE &type) override;

private:
    // Takes a new frame into the engine's consumer buffer and returns with the
    // engine's consumerLock held; false (lock not held) when none came in time
    // or a state change is waiting for this thread.
    bool WaitForFrame();

    std::atomic<int> formatSensorType{1};
    // No region has been accepted yet: the custom mode offers 0 x 0.
    std::atomic<int> formatRegionWidth{0};
    std::atomic<int> formatRegionHeight{0};
    std::atomic<bool> rawStillCopy{false};
};
