// CapturePin: the capture pin's media type, sample filling and IAMStreamConfig.
#include "filter/capture_pin.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#endif

#include "filter/capture_source_filter.h"
#include "filter/oriscope_ids.h"
#include "filter/video_formats.h"

namespace {

#if defined(__x86_64__) || defined(__i386__)
// A picture is megabytes that the copy does not read back: stores that
// bypass the cache skip reading each destination line first, which makes the
// copy about half as costly as memcpy's (measured on a full 2048 x 1536
// picture). The 32-bit build assumes no SSE2, so the processor is asked.
__attribute__((target("sse2"))) void StreamCopySse2(std::uint8_t *to, const std::uint8_t *from, std::size_t bytes) {
    const std::size_t head = std::min(bytes, (16u - (reinterpret_cast<std::uintptr_t>(to) & 15u)) & 15u);
    std::memcpy(to, from, head);
    std::size_t at = head;
    for (; at + 64 <= bytes; at += 64) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + at));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + at + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + at + 32));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + at + 48));
        _mm_stream_si128(reinterpret_cast<__m128i *>(to + at), a);
        _mm_stream_si128(reinterpret_cast<__m128i *>(to + at + 16), b);
        _mm_stream_si128(reinterpret_cast<__m128i *>(to + at + 32), c);
        _mm_stream_si128(reinterpret_cast<__m128i *>(to + at + 48), d);
    }
    _mm_sfence(); // the stores are seen before the sample is delivered
    std::memcpy(to + at, from + at, bytes - at);
}

bool HasSse2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("sse2") != 0;
    }();
    return has;
}
#endif

// Copies a whole picture.
void CopyPicture(std::uint8_t *to, const std::uint8_t *from, std::size_t bytes) {
#if defined(__x86_64__) || defined(__i386__)
    if (HasSse2()) {
        StreamCopySse2(to, from, bytes);
        return;
    }
#endif
    std::memcpy(to, from, bytes);
}

} // namespace

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
    if (IsEqualIID(iid, IID_IAMDroppedFrames))
        return ReturnInterface(static_cast<IAMDroppedFrames *>(this), result);
    return CameraOutputPin::NonDelegatingQueryInterface(iid, result);
}

HRESULT CapturePin::BuildCurrentType(AM_MEDIA_TYPE &type) {
    if (pictureTypes)
        return BuildCapturePictureType(formatSensorType, formatMode, formatRegionWidth, formatRegionHeight, type);
    return BuildCaptureMediaType(formatMode, type);
}

HRESULT CapturePin::FillSample(IMediaSample *sample, BYTE *data) {
    CameraEngine &engine = cameraFilter->engine;
    PictureKey key;
    bool repeat = false;
    {
        platform::Lock consumer(engine.consumerLock);
        sampleHasNewFrame = TakeUnseenFrame();
        key = CurrentKey(sample);
        repeat = keptBytes > 0 && SamePicture(key, keptKey);
        // No new frame and something changed (or another pin took the
        // frame): the one in the consumer buffer is converted again.
        if (!repeat)
            ConvertFrame(sample, data, key.settings);
    }
    if (repeat) {
        CopyPicture(data, keptPicture.get(), keptBytes);
        ++repeatedSamples;
    } else if (!KeepPicture(key, data)) {
        keptBytes = 0;
    }
    REFERENCE_TIME start = REFERENCE_TIME(frameNumber.fetch_add(1)) * frameLength;
    REFERENCE_TIME stop = start + frameLength;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    return S_OK;
}

CapturePin::PictureKey CapturePin::CurrentKey(IMediaSample *sample) {
    const CameraEngine &engine = cameraFilter->engine;
    PictureKey key;
    key.frame = cameraFilter->consumerFrame;
    key.settings = FrameSettings();
    key.width = engine.frameWidth;
    key.height = engine.frameHeight;
    key.sampleBytes = sample->GetSize();
    if (const VIDEOINFOHEADER *header = VideoHeaderOf(ConnectionType())) {
        key.targetWidth = header->bmiHeader.biWidth;
        key.targetHeight = header->bmiHeader.biHeight;
    }
    return key;
}

bool CapturePin::SamePicture(const PictureKey &a, const PictureKey &b) {
    const ConversionSettings &s = a.settings;
    const ConversionSettings &t = b.settings;
    // The overlay and the gain table are the host's memory, which it may
    // rewrite under the same pointer: a picture using them is never repeated.
    if (s.overlayEnabled || s.pixelGainLive || t.overlayEnabled || t.pixelGainLive)
        return false;
    return s == t && a.frame == b.frame && a.width == b.width && a.height == b.height &&
           a.sampleBytes == b.sampleBytes && a.targetWidth == b.targetWidth && a.targetHeight == b.targetHeight;
}

bool CapturePin::KeepPicture(const PictureKey &key, const BYTE *data) {
    if (key.width <= 0 || key.height <= 0 || key.sampleBytes <= 0 || cameraFilter->engine.consumerBuffer == nullptr)
        return false; // nothing was converted
    // A cropped frame fills the whole sample; an uncropped one its own size.
    const std::uint64_t frameBytes = std::uint64_t(key.width) * std::uint64_t(key.height) * 4u;
    const std::size_t bytes = std::size_t(std::min<std::uint64_t>(frameBytes, std::uint64_t(key.sampleBytes)));
    if (keptCapacity < bytes) {
        keptPicture.reset();
        keptCapacity = 0;
        keptPicture.reset(new (std::nothrow) std::uint8_t[bytes]);
        if (!keptPicture)
            return false;
        keptCapacity = bytes;
    }
    CopyPicture(keptPicture.get(), data, bytes);
    keptBytes = bytes;
    keptKey = key;
    return true;
}

HRESULT STDMETHODCALLTYPE CapturePin::SetFormat(AM_MEDIA_TYPE *type) {
    if (type == nullptr)
        return E_POINTER;
    MediaType chosen;
    ComPtr<IFilterGraph> graph;
    {
        platform::Lock state(filterLock);
        AM_MEDIA_TYPE *current = nullptr;
        const HRESULT made = CreateCurrentFormat(&current);
        if (FAILED(made))
            return made;
        // A host's read-adjust-write that adjusted nothing must not fail,
        // in any state.
        const bool unchanged = MediaTypesEqual(*type, *current);
        DeleteMediaType(current);
        if (unchanged)
            return S_OK;
        const int mode = MatchCaptureCapability(formatSensorType, *type);
        DSHOW_TRACE("IAMStreamConfig::SetFormat -> capability %d\n", mode);
        if (mode < 0)
            return VFW_E_INVALIDMEDIATYPE;
        if (!cameraFilter->IsStopped())
            return VFW_E_WRONG_STATE;
        const HRESULT built = BuildCapturePictureType(formatSensorType, mode, 0, 0, chosen);
        if (FAILED(built))
            return built;
        if (IsConnected()) {
            if (cameraFilter->Graph() == nullptr)
                return VFW_E_NOT_IN_GRAPH;
            if (GetConnected()->QueryAccept(&chosen) != S_OK)
                return VFW_E_INVALIDMEDIATYPE;
            graph.reset(cameraFilter->Graph());
        }
        cameraFilter->SelectCaptureMode(mode);
        pictureTypes = true;
        IncrementTypeVersion();
    }
    // The graph disconnects and connects both pins, taking our locks itself.
    return graph ? ReconnectThroughGraph(graph.get(), chosen) : S_OK;
}

HRESULT CapturePin::ReconnectThroughGraph(IFilterGraph *graph, const AM_MEDIA_TYPE &type) {
    ComPtr<IFilterGraph2> graph2;
    if (SUCCEEDED(graph->QueryInterface(IID_IFilterGraph2, graph2.putVoid())))
        return graph2->ReconnectEx(this, &type);
    return graph->Reconnect(this);
}

HRESULT CapturePin::CreateCurrentFormat(AM_MEDIA_TYPE **result) {
    if (!pictureTypes)
        return CreateFixedStreamFormat(result);
    AM_MEDIA_TYPE *type = CreateMediaType();
    if (type == nullptr)
        return E_OUTOFMEMORY;
    const HRESULT built = BuildCurrentType(*type);
    if (FAILED(built)) {
        DeleteMediaType(type);
        return built;
    }
    *result = type;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::GetFormat(AM_MEDIA_TYPE **result) {
    if (result == nullptr)
        return E_POINTER;
    platform::Lock state(filterLock);
    return CreateCurrentFormat(result);
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
    const HRESULT result = CreateCaptureStreamCaps(formatSensorType, index, type, description);
    if (SUCCEEDED(result))
        std::memcpy(caps, &description, sizeof description);
    return result;
}

HRESULT CapturePin::OnThreadCreate() {
    {
        platform::Lock stats(statsLock);
        framesDelivered = 0;
        framesDropped = 0;
        bytesDelivered = 0;
    }
    waitingForBuffer = false;
    keptBytes = 0;
    return CameraOutputPin::OnThreadCreate();
}

HRESULT CapturePin::OnThreadDestroy() {
    keptPicture.reset();
    keptCapacity = 0;
    keptBytes = 0;
    return CameraOutputPin::OnThreadDestroy();
}

void CapturePin::OnSampleDelivered(IMediaSample *sample, HRESULT delivered) {
    waitingForBuffer = false;
    if (delivered != S_OK)
        return;
    platform::Lock stats(statsLock);
    if (!sampleHasNewFrame) {
        ++framesDropped;
        return;
    }
    bytesDelivered += sample->GetActualDataLength();
    ++framesDelivered;
}

void CapturePin::OnNoDeliveryBuffer(HRESULT failed) {
    // A stop decommits the allocator before it ends this thread: no frame was due.
    if (failed == VFW_E_NOT_COMMITTED)
        return;
    if (!waitingForBuffer) {
        platform::Lock stats(statsLock);
        ++framesDropped;
    }
    waitingForBuffer = true;
}

HRESULT STDMETHODCALLTYPE CapturePin::GetNumDropped(LONG *count) {
    if (count == nullptr)
        return E_POINTER;
    platform::Lock stats(statsLock);
    *count = framesDropped;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::GetNumNotDropped(LONG *count) {
    if (count == nullptr)
        return E_POINTER;
    platform::Lock stats(statsLock);
    *count = framesDelivered;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::GetDroppedInfo(LONG size, LONG *frames, LONG *copied) {
    if (frames == nullptr || copied == nullptr)
        return E_POINTER;
    if (size <= 0)
        return E_INVALIDARG;
    *copied = 0;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CapturePin::GetAverageFrameSize(LONG *size) {
    if (size == nullptr)
        return E_POINTER;
    platform::Lock stats(statsLock);
    *size = framesDelivered > 0 ? static_cast<LONG>(bytesDelivered / framesDelivered) : 0;
    return S_OK;
}
