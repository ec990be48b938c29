// CapturePin: the capture pin's media type, sample filling and IAMStreamConfig.
#include "filter/capture_pin.h"

#include <cstring>

#include "filter/capture_source_filter.h"
#include "filter/oriscope_ids.h"
#include "filter/video_formats.h"

CapturePin::CapturePin(HRESULT *result, CaptureSourceFilter *filter)
    : CameraOutputPin(L"Capture pin", result, filter, kCapturePinName, PIN_CATEGORY_CAPTURE) {}

HRESULT STDMETHODCALLTYPE CapturePin::QueryInterface(REFIID iid, void **result) {
    return NonDelegatingQueryInterface(iid, result);
}

ULONG STDMETHODCALLTYPE CapturePin::AddRef() {
    return CameraOutputPin::AddRef();
}

ULONG STDMETHODCALLTYPE CapturePin::Release() {
    return CameraOutputPin::Release();
}

HRESULT STDMETHODCALLTYPE CapturePin::NonDelegatingQueryInterface(REFIID iid, void **result) {
    if (result == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IAMStreamConfig))
        return ReturnInterface(static_cast<IAMStreamConfig *>(this), result);
    return CameraOutputPin::NonDelegatingQueryInterface(iid, result);
}

HRESULT CapturePin::BuildCurrentType(AM_MEDIA_TYPE &type) {
    return BuildCaptureMediaType(formatMode, type);
}

HRESULT CapturePin::FillSample(IMediaSample *sample, BYTE *data) {
    CameraEngine &engine = cameraFilter->engine;
    {
        // No new frame: the one already in the consumer buffer is converted again.
        platform::Lock consumer(engine.consumerLock);
        engine.ExchangeFrame(engine.consumerBuffer, false);
        ConvertFrame(sample, data);
    }
    REFERENCE_TIME start = REFERENCE_TIME(frameNumber.fetch_add(1)) * frameLength;
    REFERENCE_TIME stop = start + frameLength;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::SetFormat(AM_MEDIA_TYPE *) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::GetFormat(AM_MEDIA_TYPE **result) {
    if (result == nullptr)
        return E_POINTER;
    return CreateFixedStreamFormat(result);
}

HRESULT STDMETHODCALLTYPE CapturePin::GetNumberOfCapabilities(int *count, int *size) {
    if (count == nullptr || size == nullptr)
        return E_POINTER;
    *count = kCaptureCapabilityCount;
    *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::GetStreamCaps(int index, AM_MEDIA_TYPE **type, BYTE *caps) {
    if (type == nullptr || caps == nullptr)
        return E_POINTER;
    if (index < 0)
        return E_INVALIDARG;
    if (index >= kCaptureCapabilityCount)
        return S_FALSE;
    VIDEO_STREAM_CONFIG_CAPS description;
    const HRESULT result = CreateCaptureStreamCaps(index, type, description);
    if (SUCCEEDED(result))
        std::memcpy(caps, &description, sizeof description);
    return result;
}
