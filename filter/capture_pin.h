// CapturePin ("~Capture"): the filter's capture output. It never waits for
// the camera: each sample gets whatever frame the engine's consumer buffer
// holds, time-stamped by a frame counter that runs from the filter's
// creation on. It adds IAMStreamConfig to the shared pin interfaces.
//
// Threading: as CameraOutputPin; `frameNumber` belongs to the streaming
// thread; the IAMStreamConfig methods take no lock.
#pragma once

#include <atomic>
#include <cstdint>

#include "filter/camera_output_pin.h"

class CapturePin : public CameraOutputPin, public IAMStreamConfig {
public:
    CapturePin(HRESULT *result, CaptureSourceFilter *filter);

    // --- IUnknown ------------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IAMStreamConfig, then the shared pin interfaces.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void **result) override;

    // --- IAMStreamConfig -------------------------------------------------------------------
    // Accepted and ignored: the capture format follows the resolution mode.
    HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE *type) override;
    // A fixed 1280 x 1024 description, whatever the pin offers.
    HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE **result) override;
    HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int *count, int *size) override;
    // The capture formats of modes 0, 1 and 2; S_FALSE past the last.
    HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE **type, BYTE *caps) override;

    // Samples filled since the filter was created; the next sample's number.
    std::int32_t FrameNumber() const { return frameNumber; }

protected:
    HRESULT FillSample(IMediaSample *sample, BYTE *data) override;
    HRESULT BuildCurrentType(AM_MEDIA_TYPE &type) override;

private:
    std::atomic<std::int32_t> frameNumber{0};
};
