// StillPin ("Still"): the filter's still-image output (category
// PIN_CATEGORY_STILL). It delivers nothing until a host triggers it through
// IAMVideoControl; each accepted trigger gives exactly one full-sensor RGB32
// picture of the newest raw frame, without time stamps, converted from the
// frame the video pins already hold so they lose no frame to it. An
// unconnected still pin has no thread and costs the other pins nothing.
//
// Threading: as CameraOutputPin. RequestStill runs on the caller's thread
// (the control interface, under settingsLock) and only counts the request
// and signals the streaming thread, so it never waits for the still. The
// streaming thread waits for a trigger in steps of kTriggerWaitStepMs and
// answers a waiting state change after at most one step; a stop drops the
// triggers still pending.
#pragma once

#include <atomic>

#include "filter/camera_output_pin.h"
#include "platform/platform.h"

class StillPin : public CameraOutputPin {
public:
    StillPin(HRESULT *result, CaptureSourceFilter *filter);

    // One more still. VFW_E_NOT_CONNECTED unconnected; VFW_E_WRONG_STATE while
    // the pin is not streaming (filter stopped), the camera has stopped
    // delivering, it delivers less than the full sensor frame (speed readout
    // at a reduced size or region), or the connection type is not the
    // sensor's size (another sensor since the pin connected);
    // kStillQueueFull when kMaxPendingStills triggers wait already.
    HRESULT RequestStill();
    // Triggers accepted and not yet delivered.
    int PendingStills() const { return pendingStills; }

    // The pin's copy of the sensor type, written with the engine's sensorType.
    void SetFormatSensorType(int sensorType);
    int FormatSensorType() const { return formatSensorType; }

    // Triggers that may wait at once: enough for a burst, small enough that a
    // host cannot pile up seconds of conversions behind a stop.
    static constexpr int kMaxPendingStills = 4;
    // HRESULT_FROM_WIN32(ERROR_BUSY): the trigger queue is full.
    static constexpr HRESULT kStillQueueFull = static_cast<HRESULT>(0x800700AA);
    // Longest a waiting streaming thread takes to notice a state change.
    static constexpr std::uint32_t kTriggerWaitStepMs = 10;

protected:
    // S_OK: the still is in the sample. S_FALSE: no raw frame has arrived yet
    // (the trigger stays pending). Any failure drops the trigger.
    HRESULT FillSample(IMediaSample *sample, BYTE *data) override;
    HRESULT BuildCurrentType(AM_MEDIA_TYPE &type) override;
    HRESULT OnThreadCreate() override;
    HRESULT OnThreadDestroy() override;
    // Takes a sample only when a trigger waits, so the pin never holds a
    // buffer while idle and never ends its stream between stills.
    HRESULT DoBufferProcessingLoop() override;

private:
    // The camera delivers whole sensor frames (quality readout, or speed
    // readout at full size), so a full-size still can be made of them, and
    // the connection type has their size.
    bool CanMakeStills() const;
    // Serves one pending trigger; false when the loop should wait a step
    // (no trigger, no frame yet, or no sample to fill).
    bool ServeTrigger();

    std::atomic<int> formatSensorType{1};
    std::atomic<int> pendingStills{0};
    std::atomic<bool> streaming{false};
    platform::Event triggerEvent;
};
