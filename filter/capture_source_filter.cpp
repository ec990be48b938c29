// CaptureSourceFilter: construction, interfaces and the camera bound to the
// filter's states.
#include "filter/capture_source_filter.h"

#include <new>

#include "filter/capture_pin.h"
#include "filter/oriscope_ids.h"
#include "filter/preview_pin.h"
#include "filter/still_pin.h"
#include "filter/video_formats.h"

CaptureSourceFilter::CaptureSourceFilter(IUnknown *outer, HRESULT *result)
    : SourceFilterBase(nullptr, outer, kClsidOriscopeFilter) {
    // Graphs must not wait in paused for a sample only running produces.
    SetLiveSource(true);
    capturePin = new (std::nothrow) CapturePin(result, this);
    if (capturePin != nullptr)
        previewPin = new (std::nothrow) PreviewPin(result, this);
    if (previewPin != nullptr)
        stillPin = new (std::nothrow) StillPin(result, this);
    if ((capturePin == nullptr || previewPin == nullptr || stillPin == nullptr || controls == nullptr) &&
        result != nullptr)
        *result = E_OUTOFMEMORY;
    // Hosts that never call the control interface still get the picture of
    // the sensor that is really attached.
    if (stillPin != nullptr)
        DetectAttachedSensor();
}

CaptureSourceFilter::~CaptureSourceFilter() {
    delete capturePin;
    delete previewPin;
    delete stillPin;
}

NonDelegatingUnknown *CaptureSourceFilter::Create(IUnknown *outer, HRESULT *result) {
    auto *filter = new (std::nothrow) CaptureSourceFilter(outer, result);
    if (filter == nullptr && result != nullptr)
        *result = E_OUTOFMEMORY;
    return filter;
}

HRESULT STDMETHODCALLTYPE CaptureSourceFilter::NonDelegatingQueryInterface(REFIID iid, void **result) {
    if (result == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_ISpecifyPropertyPages))
        return ReturnInterface(static_cast<ISpecifyPropertyPages *>(this), result);
    if (IsEqualIID(iid, IID_IAMFilterMiscFlags))
        return ReturnInterface(static_cast<IAMFilterMiscFlags *>(this), result);
    if (controls != nullptr && controls->QueryInterface(iid, result) == S_OK)
        return S_OK;
    return SourceFilterBase::NonDelegatingQueryInterface(iid, result);
}

HRESULT STDMETHODCALLTYPE CaptureSourceFilter::GetPages(CAUUID *pages) {
    if (pages == nullptr)
        return E_POINTER;
    pages->cElems = 0;
    pages->pElems = static_cast<GUID *>(CoTaskMemAlloc(sizeof(GUID)));
    if (pages->pElems == nullptr)
        return E_OUTOFMEMORY;
    pages->cElems = 1;
    pages->pElems[0] = kClsidCameraPropertyPage;
    return S_OK;
}

ULONG STDMETHODCALLTYPE CaptureSourceFilter::GetMiscFlags() {
    return AM_FILTER_MISC_FLAGS_IS_SOURCE;
}

HRESULT STDMETHODCALLTYPE CaptureSourceFilter::Pause() {
    platform::Lock state(stateLock);
    bool openedHere = false;
    if (!cameraOpened) {
        platform::Lock settings(settingsLock);
        if (engine.cameraNumber != sensorCameraNumber)
            DetectAttachedSensor();
        cameraOpened = engine.Initialize();
        if (!cameraOpened) {
            engine.StopAcquisition(); // releases whatever a half-done Initialize holds
            return S_FALSE;
        }
        engine.StartAcquisition();
        openedHere = true;
        platform::Lock consumer(engine.consumerLock);
        consumerHoldsFrame = false; // the buffers are new
        ++consumerFrame;
    }
    const HRESULT result = SourceFilterBase::Pause();
    if (FAILED(result) && openedHere) {
        // The pins could not start: leave the camera as this call found it.
        platform::Lock settings(settingsLock);
        engine.StopAcquisition();
        cameraOpened = false;
    }
    return result;
}

HRESULT STDMETHODCALLTYPE CaptureSourceFilter::Run(REFERENCE_TIME start) {
    platform::Lock state(stateLock);
    // Run from stopped passes through Pause, which opens the camera.
    if (!cameraOpened && IsStopped())
        Pause();
    if (!cameraOpened)
        return Stop();
    return SourceFilterBase::Run(start);
}

HRESULT STDMETHODCALLTYPE CaptureSourceFilter::Stop() {
    platform::Lock state(stateLock);
    const HRESULT result = SourceFilterBase::Stop();
    // With the pins stopped no still can be served any more: ending the
    // acquisition flag first makes a still requester that holds
    // settingsLock give up at once instead of after its time limit.
    engine.running = false;
    {
        platform::Lock settings(settingsLock);
        engine.StopAcquisition();
    }
    cameraOpened = false;
    return result;
}

void CaptureSourceFilter::SetPinFormatMode(int mode) {
    capturePin->SetFormatMode(mode);
    previewPin->SetFormatMode(mode);
}

void CaptureSourceFilter::SetPinFormatRegion(int width, int height) {
    capturePin->SetFormatRegion(width, height);
    previewPin->SetFormatRegion(width, height);
}

void CaptureSourceFilter::SetPinRawStill(bool raw) {
    previewPin->SetRawStillCopy(raw);
}

void CaptureSourceFilter::AdoptSensorType(int detected) {
    sensorCameraNumber = engine.cameraNumber;
    if (detected < 1 || detected > 3)
        return;
    engine.sensorType = detected;
    capturePin->SetFormatSensorType(detected);
    previewPin->SetFormatSensorType(detected);
    stillPin->SetFormatSensorType(detected);
}

void CaptureSourceFilter::SelectCaptureMode(int mode) {
    platform::Lock settings(settingsLock);
    engine.SetResolutionMode(mode);
    SetPinFormatMode(engine.GetResolutionMode());
}

void CaptureSourceFilter::DetectAttachedSensor() {
    AdoptSensorType(engine.ProbeSensorType());
}

CaptureSourceFilter::PinKind CaptureSourceFilter::KindOf(const IPin *pin) const {
    if (pin == nullptr)
        return PinKind::kNone;
    if (pin == static_cast<const IPin *>(capturePin))
        return PinKind::kCapture;
    if (pin == static_cast<const IPin *>(previewPin))
        return PinKind::kPreview;
    if (pin == static_cast<const IPin *>(stillPin))
        return PinKind::kStill;
    return PinKind::kNone;
}

bool CaptureSourceFilter::VideoPinsConnected() const {
    return capturePin->IsConnected() || previewPin->IsConnected();
}

bool CaptureSourceFilter::PinConnected(PinKind kind) const {
    switch (kind) {
    case PinKind::kCapture:
        return capturePin->IsConnected();
    case PinKind::kPreview:
        return previewPin->IsConnected();
    case PinKind::kStill:
        return stillPin->IsConnected();
    default:
        return false;
    }
}

bool CaptureSourceFilter::PinOffersFormat(PinKind kind, long index, SIZE dimensions) const {
    VideoSize size;
    if (kind == PinKind::kCapture && index >= 0 && index < kCaptureCapabilityCount)
        size = PreviewFormatSize(capturePin->FormatSensorType(), int(index), 0, 0); // GetStreamCaps' sizes
    else if (kind == PinKind::kPreview && index == 0)
        size = PreviewFormatSize(previewPin->FormatSensorType(), previewPin->FormatMode(),
                                 previewPin->FormatRegionWidth(), previewPin->FormatRegionHeight());
    else if (kind == PinKind::kStill && index == 0)
        size = PreviewFormatSize(stillPin->FormatSensorType(), kModeFull, 0, 0);
    else
        return false;
    return size.width > 0 && size.width == dimensions.cx && size.height == dimensions.cy;
}

HRESULT CaptureSourceFilter::RequestStill() {
    return stillPin->RequestStill();
}

int CaptureSourceFilter::PendingStills() const {
    return stillPin->PendingStills();
}
