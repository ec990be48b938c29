// PreviewPin ("Preview"): the filter's preview output. Each sample waits
// (about two seconds at most) for a new frame from the engine, so the preview
// shows every frame once; when none comes the stream ends. After converting a
// frame the pin serves a pending still request from the same raw frame.
// Preview samples carry no time stamps.
//
// Threading: as CameraOutputPin. The still copy below is an atomic.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "filter/camera_output_pin.h"

class PreviewPin : public CameraOutputPin {
public:
    PreviewPin(HRESULT *result, CaptureSourceFilter *filter);

    // --- The still copy, written by the control interface together with rawStill ----------
    void SetRawStillCopy(bool raw);
    bool RawStillCopy() const { return rawStillCopy; }

    // Milliseconds without a new frame before the stream ends. Measured on
    // the clock, not counted in 1 ms sleeps: on a loaded machine each sleep
    // and each wait for the capture pin's conversion takes longer, and
    // counting made the wait several times as long.
    static constexpr std::uint32_t kFrameWaitMs = 2000;

protected:
    // S_FALSE (end of stream) after kFrameWaitMs without a new frame.
    HRESULT FillSample(IMediaSample *sample, BYTE *data) override;
    HRESULT BuildCurrentType(AM_MEDIA_TYPE &type) override;

private:
    // Waits until the engine's consumer buffer holds a frame this pin has not
    // had (TakeUnseenFrame: a new one, or one the capture pin took first) and
    // returns with the engine's consumerLock held; false (lock not held) when none came in time
    // or a state change is waiting for this thread.
    bool WaitForFrame();

    // Writes each page of a sample buffer the pin has not had before, leaving
    // its bytes as they are: the first write to a fresh buffer costs a page
    // fault per page, together about as much as converting a full-size
    // picture, and this way it is paid while the pin waits for the camera
    // rather than after the frame came.
    void TouchNewBuffer(BYTE *data, long size);

    std::atomic<bool> rawStillCopy{false};
    // The buffers touched so far (the streaming thread's own), the oldest replaced.
    static constexpr std::size_t kTouchedBuffers = 8;
    const BYTE *touchedBuffers[kTouchedBuffers] = {};
    std::size_t nextTouched = 0;
};
