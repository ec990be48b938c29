// CameraOutputPin: what the capture and preview pins share. Both are
// streaming output pins of CaptureSourceFilter that offer RGB32 video, name
// their category through IKsPropertySet and convert the engine's newest raw
// frame into each media sample.
//
// Threading: the format hooks (GetMediaType, SetMediaType, DecideBufferSize)
// run under the filter's stateLock; CheckMediaType and IKsPropertySet take
// no lock. FillBuffer runs on the pin's streaming thread under `streamLock`
// and holds the engine's consumerLock from taking a frame until its
// conversion (and the preview pin's still) is done, so the other pin cannot
// make the acquisition thread refill that buffer meanwhile. The format
// copies are atomics written by the control interface under the filter's
// settingsLock; the pins read them under stateLock when they build a type.
#pragma once

#include <atomic>
#include <cstdint>

#include "filter/framework/framework.h"
#include "filter/video_formats.h"
#include "platform/platform.h"

class CaptureSourceFilter;
struct ConversionSettings;

class CameraOutputPin : public SourceStreamPin, public IKsPropertySet {
public:
    // category: the GUID IKsPropertySet::Get reports (capture or preview).
    CameraOutputPin(const wchar_t *objectName, HRESULT *result, CaptureSourceFilter *filter, const wchar_t *pinName,
                    REFGUID category);
    ~CameraOutputPin() override;

    // --- IUnknown: references go to the filter ----------------------------------------
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IKsPropertySet (also for IUnknown), then IPin and IQualityControl.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void **result) override;

    // --- IKsPropertySet: the pin category, read only ------------------------------------
    HRESULT STDMETHODCALLTYPE Set(REFGUID set, DWORD id, LPVOID instance, DWORD instanceSize, LPVOID data,
                                  DWORD dataSize) override;
    HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, LPVOID instance, DWORD instanceSize, LPVOID data,
                                  DWORD dataSize, DWORD *returned) override;
    HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id, DWORD *support) override;

    // --- IPin ------------------------------------------------------------------------------
    // While connected: the connected pin's types when it offers any;
    // otherwise our own positions.
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes **result) override;

    // --- Format hooks shared by both pins ------------------------------------------------
    HRESULT CheckMediaType(const AM_MEDIA_TYPE *type) override;
    // E_UNEXPECTED without a whole format block, E_INVALIDARG unless 32 bits
    // per pixel (the type stays stored then).
    HRESULT SetMediaType(const AM_MEDIA_TYPE *type) override;
    // Two buffers unless downstream asked for a count; each holds biSizeImage.
    HRESULT DecideBufferSize(IMemAllocator *allocator, ALLOCATOR_PROPERTIES *request) override;
    // Frees the crop buffer when the streaming thread ends.
    HRESULT OnThreadDestroy() override;
    // Leaves the sample alone while unconnected (S_OK), E_POINTER for a null
    // sample; otherwise takes streamLock, then hands the sample's data to FillSample.
    HRESULT FillBuffer(IMediaSample *sample) final;
    // Positions 0, 1 and 2 all give the type of the pin's current format
    // copies (BuildCurrentType, under filterLock).
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE *type) final;

    // --- Format copies, written by the control interface together with the
    // engine settings they mirror (resolutionMode, sensorType, the region) ---------------
    void SetFormatMode(int mode);
    void SetFormatSensorType(int sensorType);
    // An accepted region's size (the custom mode's picture size).
    void SetFormatRegion(int width, int height);
    int FormatMode() const { return formatMode; }
    int FormatSensorType() const { return formatSensorType; }
    int FormatRegionWidth() const { return formatRegionWidth; }
    int FormatRegionHeight() const { return formatRegionHeight; }

    // Number of samples whose frame did not fit and was cropped (for tests).
    long CroppedSamples() const { return croppedSamples; }

    // Duration of one frame in 100-ns units, as the media types announce it.
    const REFERENCE_TIME frameLength = kFrameLength;

protected:
    // Fills the sample whose buffer is `data`; streamLock is held.
    virtual HRESULT FillSample(IMediaSample *sample, BYTE *data) = 0;
    // The type of the current format copies; filterLock is held.
    virtual HRESULT BuildCurrentType(AM_MEDIA_TYPE &type) = 0;
    // Converts the engine's consumerBuffer into the sample's data. The caller
    // holds the engine's consumerLock. A frame larger than the sample is
    // converted aside and cropped to the connection type's size.
    void ConvertFrame(IMediaSample *sample, BYTE *data);
    // The same with the settings of FrameSettings, taken by the caller.
    void ConvertFrame(IMediaSample *sample, BYTE *data, const ConversionSettings &settings);
    // Every setting of a live conversion as it is now, with the readout the
    // frames in the buffers came with. The caller holds consumerLock.
    ConversionSettings FrameSettings() const;
    // ExchangeFrame for the engine's consumerBuffer, noting for the still pin
    // that the buffer holds a frame once one came, and giving the buffer's
    // contents a new number. The caller holds consumerLock.
    bool TakeNewFrame();
    // TakeNewFrame, or else true when the consumer buffer holds a frame this
    // pin has not had yet (another consumer took it): each video pin gets
    // every frame that passes through the buffer, whichever pin took it.
    // The frame counts as this pin's from now on. The caller holds consumerLock.
    bool TakeUnseenFrame();

    CaptureSourceFilter *cameraFilter;
    platform::CriticalSection streamLock;
    std::atomic<int> formatMode{0};
    std::atomic<int> formatSensorType{1};
    // No region has been accepted yet: the custom mode offers 0 x 0.
    std::atomic<int> formatRegionWidth{0};
    std::atomic<int> formatRegionHeight{0};

private:
    void CropFrame(const ConversionSettings &settings, BYTE *data, LONG sampleBytes, int width, int height);

    GUID pinCategory;
    std::uint8_t *cropBuffer = nullptr; // streaming thread only
    std::uint64_t cropBytes = 0;
    std::atomic<long> croppedSamples{0};
    std::atomic<int> peerEnumerations{0}; // guards against a peer that asks us back
    std::uint64_t seenFrame = 0;          // consumerFrame this pin had last (under consumerLock)
};
