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

#include <cstdint>
#include <memory>

#include "control/public/filter_controls.h"
#include "engine/camera_engine.h"
#include "filter/camera_filter.h"
#include "filter/framework/framework.h"
#include "platform/platform.h"

class CapturePin;
class PreviewPin;
class StillPin;

class CaptureSourceFilter : public SourceFilterBase,
                            public ISpecifyPropertyPages,
                            public IAMFilterMiscFlags,
                            public CameraFilter {
public:
    // result: E_OUTOFMEMORY when a pin or the control interfaces cannot be
    // created (the class factory then discards the filter).
    CaptureSourceFilter(IUnknown *outer, HRESULT *result);
    ~CaptureSourceFilter() override;

    // The class table's create routine: the new filter's non-delegating unknown.
    static NonDelegatingUnknown *Create(IUnknown *outer, HRESULT *result);

    DELEGATE_IUNKNOWN
    // ISpecifyPropertyPages and IAMFilterMiscFlags here, the control layer's
    // interfaces (ICameraSettings, the standard controls, IAMVideoControl)
    // from it, the rest
    // from the framework.
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

    // --- CameraFilter: what the control layer may do ----------------------------------------
    IUnknown *Identity() override { return Owner(); }
    CameraEngine &Engine() override { return engine; }
    platform::CriticalSection &SettingsLock() override { return settingsLock; }
    bool IsPausedOrRunning() override { return IsActive(); }
    // Writes the capture and preview pins' formatMode together.
    void SetPinFormatMode(int mode) override;
    // Writes both pins' region copies (an accepted region's size).
    void SetPinFormatRegion(int width, int height) override;
    void SetPinRawStill(bool raw) override;
    // The engine's and both pins' sensor type.
    void AdoptSensorType(int detected) override;
    // See CameraEngine::ProbeSensorType. The caller holds settingsLock, or
    // the filter is still being built.
    void DetectAttachedSensor() override;
    PinKind KindOf(const IPin *pin) const override;
    bool PinConnected(PinKind kind) const override;
    bool PinOffersFormat(PinKind kind, long index, SIZE dimensions) const override;
    // The still pin's trigger queue (StillPin::RequestStill).
    HRESULT RequestStill() override;
    int PendingStills() const override;

    // --- For the pins ---------------------------------------------------------------------------
    // The capture or the preview pin is connected, so they take the frames.
    bool VideoPinsConnected() const;

    // --- For the capture pin ------------------------------------------------------------------
    // IAMStreamConfig's choice of capture format `mode` (0 to 2): what
    // SetCaptureResolution does, under settingsLock.
    void SelectCaptureMode(int mode);

    // Members in construction order.
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
    // Numbers the contents of engine.consumerBuffer (under engine.consumerLock):
    // a new value whenever a frame is taken into it or the buffers are new,
    // so a pin can tell that the buffer still holds the frame it converted.
    std::uint64_t consumerFrame = 0;
    // The control layer's interfaces, handed out by NonDelegatingQueryInterface.
    std::unique_ptr<FilterControls> controls = CreateFilterControls(*this);
};
