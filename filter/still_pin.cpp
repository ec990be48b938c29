// StillPin: the still pin's media type, its trigger queue and the loop that
// turns each trigger into one full-size picture.
#include "filter/still_pin.h"

#include "filter/capture_source_filter.h"
#include "filter/oriscope_ids.h"
#include "filter/video_formats.h"
#include "imaging/frame_converter.h"

StillPin::StillPin(HRESULT *result, CaptureSourceFilter *filter)
    : CameraOutputPin(L"Still pin", result, filter, kStillPinName, PIN_CATEGORY_STILL) {}

HRESULT StillPin::BuildCurrentType(AM_MEDIA_TYPE &type) {
    return BuildStillMediaType(formatSensorType, type);
}

void StillPin::SetFormatSensorType(int sensorType) {
    formatSensorType = sensorType;
    IncrementTypeVersion();
}

bool StillPin::CanMakeStills() const {
    const CameraEngine &engine = cameraFilter->engine;
    int width = 0;
    int height = 0;
    if (!SensorFullSize(engine.sensorType, width, height))
        return false;
    // The connection type changes only while the filter is stopped.
    const VIDEOINFOHEADER *header = VideoHeaderOf(ConnectionType());
    return header != nullptr && header->bmiHeader.biWidth == width && header->bmiHeader.biHeight == height &&
           engine.RawStride() >= width && engine.FrameBufferSize() >= std::uint32_t(width) * std::uint32_t(height);
}

HRESULT StillPin::RequestStill() {
    DSHOW_TRACE("StillPin::RequestStill (%d pending)\n", pendingStills.load());
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    if (!streaming || cameraFilter->IsStopped() || !cameraFilter->engine.IsRunning() || !CanMakeStills())
        return VFW_E_WRONG_STATE;
    int pending = pendingStills;
    do {
        if (pending >= kMaxPendingStills)
            return kStillQueueFull;
    } while (!pendingStills.compare_exchange_weak(pending, pending + 1));
    triggerEvent.set();
    return S_OK;
}

HRESULT StillPin::OnThreadCreate() {
    // A trigger that raced with the last stop belongs to no stream.
    pendingStills = 0;
    streaming = true;
    return CameraOutputPin::OnThreadCreate();
}

HRESULT StillPin::OnThreadDestroy() {
    streaming = false;
    pendingStills = 0; // a stop drops what was not delivered
    return CameraOutputPin::OnThreadDestroy();
}

HRESULT StillPin::FillSample(IMediaSample *sample, BYTE *data) {
    CameraEngine &engine = cameraFilter->engine;
    int width = 0;
    int height = 0;
    if (!SensorFullSize(engine.sensorType, width, height) || !CanMakeStills())
        return VFW_E_WRONG_STATE;
    const LONG bytes = width * height * 4;
    if (sample->GetSize() < bytes)
        return VFW_E_BUFFER_OVERFLOW;

    // Under consumerLock the video pins can neither convert this raw frame
    // nor let the acquisition thread refill it; the still's settings are
    // its own copy, so their conversions never see them.
    platform::Lock consumer(engine.consumerLock);
    // Without a video pin the frame is ours to take; with one, the frame it
    // took last is the newest it has seen, and taking a new one would cost
    // the preview pin that frame.
    if (!cameraFilter->VideoPinsConnected() || !cameraFilter->consumerHoldsFrame)
        TakeNewFrame();
    if (!cameraFilter->consumerHoldsFrame || engine.consumerBuffer == nullptr)
        return S_FALSE;
    ConversionSettings settings = ConversionSettings::FromEngine(engine);
    settings.resolutionMode = kModeFull;
    // The overlay image has the live picture's size: only a full-size live
    // picture can lend it to the still.
    if (engine.frameWidth != width || engine.frameHeight != height)
        settings.overlayEnabled = false;
    FrameConverter::convert(engine, settings, engine.consumerBuffer, data, width, height, engine.RawStride());
    sample->SetTime(nullptr, nullptr);
    sample->SetActualDataLength(bytes);
    sample->SetSyncPoint(TRUE);
    return S_OK;
}

bool StillPin::ServeTrigger() {
    // Reset before looking, so a trigger counted after the look sets it again.
    triggerEvent.reset();
    if (pendingStills == 0)
        return false;
    IMediaSample *sample = nullptr;
    const HRESULT got = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(got) || sample == nullptr)
        return false; // decommitted by a stop, or downstream still holds both
    const HRESULT filled = FillBuffer(sample);
    if (filled == S_FALSE) {
        sample->Release();
        return false;
    }
    --pendingStills;
    if (filled == S_OK) {
        const HRESULT delivered = Deliver(sample);
        if (delivered != S_OK)
            DSHOW_TRACE("StillPin: delivery refused (0x%08lx)\n", static_cast<unsigned long>(delivered));
    } else {
        DSHOW_TRACE("StillPin: trigger dropped (0x%08lx)\n", static_cast<unsigned long>(filled));
    }
    sample->Release();
    return true;
}

HRESULT StillPin::DoBufferProcessingLoop() {
    OnThreadStartPlay();
    for (;;) {
        DWORD command = 0;
        while (!CheckRequest(&command)) {
            if (!ServeTrigger())
                triggerEvent.wait(pendingStills == 0 ? kTriggerWaitStepMs : 1);
        }
        // As the framework's loop: PAUSE and RUN keep waiting, STOP is
        // answered by the thread procedure.
        if (command == kCmdStop)
            return S_FALSE;
        GetRequest();
        Reply(command == kCmdRun || command == kCmdPause ? S_OK : E_UNEXPECTED);
    }
}
