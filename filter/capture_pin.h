// CapturePin ("~Capture"): the filter's capture output. It never waits for
// the camera: each sample gets whatever frame the engine's consumer buffer
// holds, time-stamped by a frame counter that runs from the filter's
// creation on. It adds IAMStreamConfig and IAMDroppedFrames to the shared pin
// interfaces.
//
// Until a host picks a format through IAMStreamConfig::SetFormat the pin
// offers its default types (a fixed size per mode, whatever the sensor);
// from then on, for the filter's life, it offers the real picture of the
// current settings, so each sample holds exactly one frame as the type says.
//
// A sample slot without a new frame gets the picture the pin made last,
// copied, as long as the consumer buffer still holds that frame and nothing
// that shapes the picture has changed; otherwise the frame is converted
// again. The copy is made outside consumerLock, so a repeat never holds up
// the preview pin.
//
// Threading: as CameraOutputPin; `frameNumber` and the kept picture belong
// to the streaming thread; GetNumberOfCapabilities and GetStreamCaps take no lock, SetFormat
// and GetFormat take the filter's stateLock (SetFormat settingsLock inside
// it, and neither while the graph reconnects the pin). The delivery counts of
// IAMDroppedFrames are written by the streaming thread under statsLock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "filter/camera_output_pin.h"
#include "imaging/frame_converter.h"

class CapturePin : public CameraOutputPin, public IAMStreamConfig, public IAMDroppedFrames {
public:
    CapturePin(HRESULT *result, CaptureSourceFilter *filter);

    // --- IUnknown ------------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IAMStreamConfig and IAMDroppedFrames, then the shared pin interfaces.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void **result) override;

    // --- IAMStreamConfig -------------------------------------------------------------------
    // S_OK without a change for the type GetFormat returns now. A capability's
    // type selects its mode (as ICameraSettings::SetCaptureResolution does)
    // and switches the pin to picture types for good; while connected the
    // peer must accept the type first, and the graph then reconnects the pin
    // (its failure is returned; the choice stays made). VFW_E_INVALIDMEDIATYPE for any other type or
    // a refusing peer, VFW_E_WRONG_STATE unless the filter is stopped.
    HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE *type) override;
    // A fixed 1280 x 1024 description until a format is set, then the pin's
    // current picture type.
    HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE **result) override;
    HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int *count, int *size) override;
    // Full, Half and Quarter of the attached sensor; S_FALSE past the last.
    HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE **type, BYTE *caps) override;

    // --- IAMDroppedFrames: counts since the pin last started streaming ----------------------
    // A sample slot without a frame this pin has not delivered yet (the pin
    // repeats its last one) and a spell in which the allocator gave no sample (other than
    // its decommit by a stop) count as dropped frames; a delivery that
    // downstream refuses ends the stream and counts as neither.
    HRESULT STDMETHODCALLTYPE GetNumDropped(LONG *count) override;
    // Samples delivered with a camera frame new to this pin.
    HRESULT STDMETHODCALLTYPE GetNumNotDropped(LONG *count) override;
    // E_NOTIMPL: the pin keeps no list of dropped frame numbers.
    HRESULT STDMETHODCALLTYPE GetDroppedInfo(LONG size, LONG *frames, LONG *copied) override;
    // Bytes per delivered frame on average; 0 before the first.
    HRESULT STDMETHODCALLTYPE GetAverageFrameSize(LONG *size) override;

    // Samples filled since the filter was created; the next sample's number.
    std::int32_t FrameNumber() const { return frameNumber; }
    // A host has set a format: the pin offers the real picture.
    bool OffersPictureTypes() const { return pictureTypes; }
    // Samples filled with a copy of the kept picture instead of a conversion.
    long RepeatedSamples() const { return repeatedSamples; }

protected:
    HRESULT FillSample(IMediaSample *sample, BYTE *data) override;
    HRESULT BuildCurrentType(AM_MEDIA_TYPE &type) override;
    // Streaming starts: the delivery counts start again.
    HRESULT OnThreadCreate() override;
    // Frees the kept picture with the crop buffer.
    HRESULT OnThreadDestroy() override;
    void OnSampleDelivered(IMediaSample *sample, HRESULT delivered) override;
    void OnNoDeliveryBuffer(HRESULT failed) override;

private:
    // Everything a picture depends on besides the raw bytes: which frame the
    // consumer buffer holds, the conversion settings, the frame's size and
    // the sample's size and connection type (which decide the crop).
    struct PictureKey {
        std::uint64_t frame = 0;
        ConversionSettings settings;
        int width = 0, height = 0;
        LONG sampleBytes = 0;
        LONG targetWidth = 0, targetHeight = 0;
    };
    static bool SamePicture(const PictureKey &a, const PictureKey &b);
    // The key of a conversion of the consumer buffer into `sample` now; consumerLock is held.
    PictureKey CurrentKey(IMediaSample *sample);
    // Copies the picture just converted into `data` aside; false when it cannot be kept.
    bool KeepPicture(const PictureKey &key, const BYTE *data);

    // What GetFormat returns now, task-allocated; filterLock is held.
    HRESULT CreateCurrentFormat(AM_MEDIA_TYPE **result);
    // Has the graph connect the pin again with `type` (the pin is stopped and
    // connected; no lock of ours is held).
    HRESULT ReconnectThroughGraph(IFilterGraph *graph, const AM_MEDIA_TYPE &type);

    std::atomic<std::int32_t> frameNumber{0};
    std::atomic<bool> pictureTypes{false};
    // The delivery counts, read together by the IAMDroppedFrames methods.
    mutable platform::CriticalSection statsLock;
    long framesDelivered = 0;
    long framesDropped = 0;
    long long bytesDelivered = 0;
    bool sampleHasNewFrame = false; // streaming thread only
    bool waitingForBuffer = false;  // streaming thread only: one drop per wait
    // The last picture converted and what it was made of (streaming thread only).
    std::unique_ptr<std::uint8_t[]> keptPicture;
    std::size_t keptCapacity = 0;
    std::size_t keptBytes = 0; // 0: nothing kept
    PictureKey keptKey;
    std::atomic<long> repeatedSamples{0};
};
