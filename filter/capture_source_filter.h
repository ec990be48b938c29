// CaptureSourceFilter: the Oriscope DirectShow source filter. It embeds one
// CameraEngine and owns the capture pin ("~Capture", pin 1), the preview
// pin ("Preview", pin 2) and the still pin ("Still", pin 3, found on the
// instance only: the registration describes the video output). Leaving the
// stopped state opens and programs the camera and starts acquisition;
// stopping ends the pins' threads first, then acquisition, and closes the
// camera.
//
// Threading: state changes come from the graph's thread under stateLock.
// Engine calls are serialised by settingsLock: the control interface holds
// it for each method, and Pause/Stop hold it (inside stateLock, never the
// other way round) while they open or close the camera. The pins' streaming
// threads never take settingsLock; they reach the engine through ExchangeFrame
// under its consumerLock.
#pragma once

#include "control/camera_settings_impl.h"
#include "control/standard_controls.h"
#include "control/video_control.h"
#include "engine/camera_engine.h"
#include "filter/framework/framework.h"
#include "platform/platform.h"

class CapturePin;
class PreviewPin;
class StillPin;

class CaptureSourceFilter : public SourceFilterBase, public ISpecifyPropertyPages, public IAMFilterMiscFlags {
public:
    // result: E_OUTOFMEMORY when a pin cannot be created (the class factory
    // then discards the filter).
    CaptureSourceFilter(IUnknown *outer, HRESULT *result);
    ~CaptureSourceFilter() override;

    // The class table's create routine: the new filter's non-delegating unknown.
    static NonDelegatingUnknown *Create(IUnknown *outer, HRESULT *result);

    DELEGATE_IUNKNOWN
    // ISpecifyPropertyPages here (ICameraSettings, the standard controls and
    // IAMVideoControl join it), the rest from the framework.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void **result) override;

    // --- ISpecifyPropertyPages: the camera property page --------------------------------
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID *pages) override;

    // --- IAMFilterMiscFlags: a source, so graphs treat it as live capture ------------------
    ULONG STDMETHODCALLTYPE GetMiscFlags() override;

    // --- IMediaFilter ----------------------------------------------------------------------
    // From stopped: Initialize and StartAcquisition first; S_FALSE (still
    // stopped, pins idle) when the camera cannot be opened.
    HRESULT STDMETHODCALLTYPE Pause() override;
    // Without an open camera (after a failed Pause) the filter stops itself.
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    // The pins' threads end first, then acquisition; the camera is closed.
    HRESULT STDMETHODCALLTYPE Stop() override;

    // --- For the control interface and the pins ------------------------------------------
    // Writes the capture and preview pins' formatMode together (the
    // resolution-mode setter calls it with resolutionMode).
    void SetPinFormatMode(int mode);
    // A detected sensor type (1 to 3) becomes the engine's and the preview
    // pin's, for the camera now chosen; 0 (no camera) changes nothing.
    void AdoptSensorType(int detected);
    // Detects the sensor of the chosen camera without keeping it open (see
    // CameraEngine::ProbeSensorType) and adopts it. The caller holds
    // settingsLock, or the filter is still being built.
    void DetectAttachedSensor();
    // Which of this filter's pins `pin` is; kNone for any other pin.
    enum class PinKind { kNone, kCapture, kPreview, kStill };
    PinKind KindOf(const IPin *pin) const;
    // The capture or the preview pin is connected, so they take the frames.
    bool VideoPinsConnected() const;
    bool PinConnected(PinKind kind) const;
    // Format `index` of the pin has this size: the capture pin's stream
    // capabilities 0 to 2, or the one current type (index 0) of the others.
    bool PinOffersFormat(PinKind kind, long index, SIZE dimensions) const;
    // The still pin's trigger queue (StillPin::RequestStill).
    HRESULT RequestStill();
    int PendingStills() const;

    // Members in construction order; the control interface reaches the
    // engine and the pins' format copies through them.
    // Taken by every ICameraSettings method; the pins never take it.
    platform::CriticalSection settingsLock;
    CapturePin *capturePin = nullptr; // owned, pin 1
    PreviewPin *previewPin = nullptr; // owned, pin 2
    StillPin *stillPin = nullptr;     // owned, pin 3
    // Initialize has succeeded since the last Stop (written under stateLock).
    bool cameraOpened = false;
    // The camera number whose sensor the pins describe (under settingsLock):
    // a camera chosen while the graph ran is detected at the next Pause.
    int sensorCameraNumber = 0;
    // The camera connection with every user setting; construction only probes the sensor.
    CameraEngine engine;
    // engine.consumerBuffer holds a frame taken since the camera was opened
    // (under engine.consumerLock): the still pin converts it rather than
    // taking a new frame from the video pins.
    bool consumerHoldsFrame = false;
    // ICameraSettings, handed out by NonDelegatingQueryInterface.
    CameraSettingsImpl cameraSettings{*this};
    // The standard controls (gain, exposure), handed out the same way.
    VideoProcAmpImpl videoProcAmp{*this};
    CameraControlImpl cameraControl{*this};
    // IAMVideoControl: the still pin's trigger and the pins' frame rates.
    VideoControlImpl videoControl{*this};
};
