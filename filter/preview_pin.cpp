// PreviewPin: the preview pin's media type, its frame wait and sample
// filling with the still hand-off.
#include "filter/preview_pin.h"

#include "filter/capture_source_filter.h"
#include "filter/oriscope_ids.h"
#include "filter/video_formats.h"
#include "imaging/still_image.h"

PreviewPin::PreviewPin(HRESULT *result, CaptureSourceFilter *filter)
    : CameraOutputPin(L"Preview pin", result, filter, kPreviewPinName, PIN_CATEGORY_PREVIEW) {}

HRESULT PreviewPin::BuildCurrentType(AM_MEDIA_TYPE &type) {
    return BuildPreviewMediaType(formatSensorType, formatMode, formatRegionWidth, formatRegionHeight, type);
}

void PreviewPin::SetRawStillCopy(bool raw) {
    rawStillCopy = raw;
}

bool PreviewPin::WaitForFrame() {
    CameraEngine &engine = cameraFilter->engine;
    const std::uint32_t start = platform::tickCount();
    for (;;) {
        engine.consumerLock.enter();
        if (TakeUnseenFrame())
            return true;
        // Waiting for the camera must not hold up the capture pin.
        engine.consumerLock.leave();
        // A stop waits for this thread: no point waiting for the camera.
        DWORD command = 0;
        if (CheckRequest(&command))
            return false;
        platform::sleepMs(1);
        if (platform::tickCount() - start >= kFrameWaitMs)
            return false;
    }
}

void PreviewPin::TouchNewBuffer(BYTE *data, long size) {
    if (data == nullptr || size <= 0)
        return;
    for (const BYTE *known : touchedBuffers)
        if (known == data)
            return;
    touchedBuffers[nextTouched] = data;
    nextTouched = (nextTouched + 1) % kTouchedBuffers;
    volatile BYTE *bytes = data;
    for (long at = 0; at < size; at += 4096)
        bytes[at] = bytes[at];
}

HRESULT PreviewPin::FillSample(IMediaSample *sample, BYTE *data) {
    TouchNewBuffer(data, sample->GetSize());
    if (!WaitForFrame())
        return S_FALSE; // the framework ends this pin's stream
    CameraEngine &engine = cameraFilter->engine;
    ConvertFrame(sample, data);
    TakeStill(engine, StillPinState{formatSensorType, rawStillCopy});
    engine.consumerLock.leave();
    sample->SetSyncPoint(TRUE);
    return S_OK;
}
