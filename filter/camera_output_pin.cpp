// CameraOutputPin: pin category, type checks, buffer sizing and the frame
// conversion both output pins share.
#include "filter/camera_output_pin.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "filter/capture_source_filter.h"
#include "imaging/frame_converter.h"

namespace {
// Bytes of a pin category GUID.
constexpr DWORD kCategoryBytes = sizeof(GUID);
// The property-set results (HRESULT_FROM_WIN32 of ERROR_SET_NOT_FOUND and
// ERROR_NOT_FOUND), spelled out since not every SDK header set has them.
constexpr HRESULT kPropSetUnsupported = static_cast<HRESULT>(0x80070492);
constexpr HRESULT kPropIdUnsupported = static_cast<HRESULT>(0x80070490);
constexpr DWORD kSupportGet = 1; // KSPROPERTY_SUPPORT_GET

// True when `types` yields at least one type; the enumerator is reset after.
bool OffersAType(IEnumMediaTypes *types) {
    AM_MEDIA_TYPE *type = nullptr;
    ULONG fetched = 0;
    const bool offers = types->Next(1, &type, &fetched) == S_OK && fetched == 1;
    DeleteMediaType(type);
    types->Reset();
    return offers;
}
} // namespace

CameraOutputPin::CameraOutputPin(const wchar_t *objectName, HRESULT *result, CaptureSourceFilter *filter,
                                 const wchar_t *pinName, REFGUID category)
    : SourceStreamPin(objectName, result, filter, pinName), cameraFilter(filter), pinCategory(category) {}

CameraOutputPin::~CameraOutputPin() {
    delete[] cropBuffer;
}

HRESULT STDMETHODCALLTYPE CameraOutputPin::QueryInterface(REFIID iid, void **result) {
    return NonDelegatingQueryInterface(iid, result);
}

ULONG STDMETHODCALLTYPE CameraOutputPin::AddRef() {
    return SourceStreamPin::AddRef();
}

ULONG STDMETHODCALLTYPE CameraOutputPin::Release() {
    return SourceStreamPin::Release();
}

HRESULT STDMETHODCALLTYPE CameraOutputPin::NonDelegatingQueryInterface(REFIID iid, void **result) {
    if (result == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IKsPropertySet) || IsEqualIID(iid, IID_IUnknown))
        return ReturnInterface(static_cast<IKsPropertySet *>(this), result);
    return SourceStreamPin::NonDelegatingQueryInterface(iid, result);
}

HRESULT STDMETHODCALLTYPE CameraOutputPin::Set(REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CameraOutputPin::Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD dataSize,
                                               DWORD *returned) {
    if (!IsEqualGUID(set, AMPROPSETID_Pin))
        return kPropSetUnsupported;
    if (id != AMPROPERTY_PIN_CATEGORY)
        return kPropIdUnsupported;
    if (data == nullptr && returned == nullptr)
        return E_POINTER;
    if (returned != nullptr)
        *returned = kCategoryBytes;
    if (data == nullptr)
        return S_OK;
    if (dataSize < kCategoryBytes)
        return E_UNEXPECTED;
    std::memcpy(data, &pinCategory, kCategoryBytes);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CameraOutputPin::QuerySupported(REFGUID set, DWORD id, DWORD *support) {
    if (!IsEqualGUID(set, AMPROPSETID_Pin))
        return kPropSetUnsupported;
    if (id != AMPROPERTY_PIN_CATEGORY)
        return kPropIdUnsupported;
    if (support != nullptr)
        *support = kSupportGet;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CameraOutputPin::EnumMediaTypes(IEnumMediaTypes **result) {
    if (result == nullptr)
        return E_POINTER;
    *result = nullptr;
    // While connected, the connected pin's types. A peer that offers none
    // (Wine's Sample Grabber passes its upstream types through and so has
    // none of its own), or that asks us back, gets our own types instead:
    // a filter behind it would otherwise find nothing to connect with.
    IPin *peer = GetConnected();
    if (peer != nullptr && peerEnumerations.fetch_add(1) == 0) {
        ComPtr<IEnumMediaTypes> peerTypes;
        const HRESULT got = peer->EnumMediaTypes(peerTypes.put());
        --peerEnumerations;
        if (SUCCEEDED(got) && peerTypes && OffersAType(peerTypes.get())) {
            *result = peerTypes.detach();
            return S_OK;
        }
    } else if (peer != nullptr) {
        --peerEnumerations;
    }
    return SourceStreamPin::EnumMediaTypes(result);
}

HRESULT CameraOutputPin::CheckMediaType(const AM_MEDIA_TYPE *type) {
    return CheckVideoMediaType(type);
}

HRESULT CameraOutputPin::SetMediaType(const AM_MEDIA_TYPE *type) {
    platform::Lock guard(filterLock);
    const HRESULT stored = SourceStreamPin::SetMediaType(type);
    if (FAILED(stored))
        return stored;
    const VIDEOINFOHEADER *header = VideoHeaderOf(ConnectionType());
    if (header == nullptr)
        return E_UNEXPECTED;
    return header->bmiHeader.biBitCount == 32 ? S_OK : E_INVALIDARG;
}

HRESULT CameraOutputPin::DecideBufferSize(IMemAllocator *allocator, ALLOCATOR_PROPERTIES *request) {
    if (allocator == nullptr || request == nullptr)
        return E_POINTER;
    platform::Lock guard(filterLock);
    const VIDEOINFOHEADER *header = VideoHeaderOf(ConnectionType());
    if (header == nullptr)
        return E_UNEXPECTED; // no connection type to size for
    if (request->cBuffers == 0)
        request->cBuffers = 2;
    request->cbBuffer = static_cast<LONG>(header->bmiHeader.biSizeImage);
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT result = allocator->SetProperties(request, &actual);
    if (FAILED(result))
        return result;
    return actual.cbBuffer < request->cbBuffer ? E_FAIL : S_OK;
}

HRESULT CameraOutputPin::OnThreadDestroy() {
    delete[] cropBuffer;
    cropBuffer = nullptr;
    cropBytes = 0;
    return S_OK;
}

HRESULT CameraOutputPin::GetMediaType(int position, AM_MEDIA_TYPE *type) {
    if (type == nullptr)
        return E_POINTER;
    if (position < 0)
        return E_INVALIDARG;
    if (position > 2)
        return VFW_S_NO_MORE_ITEMS;
    platform::Lock guard(filterLock);
    return BuildCurrentType(*type);
}

void CameraOutputPin::SetFormatMode(int mode) {
    formatMode = mode;
    IncrementTypeVersion();
}

void CameraOutputPin::SetFormatSensorType(int sensorType) {
    formatSensorType = sensorType;
    IncrementTypeVersion();
}

void CameraOutputPin::SetFormatRegion(int width, int height) {
    formatRegionWidth = width;
    formatRegionHeight = height;
    IncrementTypeVersion();
}

HRESULT CameraOutputPin::FillBuffer(IMediaSample *sample) {
    if (!IsConnected())
        return S_OK;
    if (sample == nullptr)
        return E_POINTER;
    platform::Lock stream(streamLock);
    BYTE *data = nullptr;
    const HRESULT pointer = sample->GetPointer(&data);
    if (FAILED(pointer))
        return pointer;
    return FillSample(sample, data);
}

bool CameraOutputPin::TakeNewFrame() {
    CameraEngine &engine = cameraFilter->engine;
    if (!engine.ExchangeFrame(engine.consumerBuffer, false))
        return false;
    cameraFilter->consumerHoldsFrame = true;
    ++cameraFilter->consumerFrame;
    return true;
}

bool CameraOutputPin::TakeUnseenFrame() {
    const bool taken = TakeNewFrame();
    const bool unseen = taken || (cameraFilter->consumerHoldsFrame && cameraFilter->consumerFrame != seenFrame);
    seenFrame = cameraFilter->consumerFrame;
    return unseen;
}

ConversionSettings CameraOutputPin::FrameSettings() const {
    const CameraEngine &engine = cameraFilter->engine;
    // Every setting as it is now, but the readout the frame came with: the
    // raw buffers were sized for it, and a resolution, quality or region
    // changed while running would make the converter step past their end.
    ConversionSettings settings = ConversionSettings::FromEngine(engine);
    const CameraEngine::Readout &readout = engine.openedReadout;
    settings.qualityMode = readout.qualityMode;
    settings.resolutionMode = readout.resolutionMode;
    settings.regionX = readout.regionX;
    settings.regionY = readout.regionY;
    settings.regionStep = readout.regionStep;
    return settings;
}

void CameraOutputPin::ConvertFrame(IMediaSample *sample, BYTE *data) {
    ConvertFrame(sample, data, FrameSettings());
}

void CameraOutputPin::ConvertFrame(IMediaSample *sample, BYTE *data, const ConversionSettings &settings) {
    CameraEngine &engine = cameraFilter->engine;
    const int width = engine.frameWidth;
    const int height = engine.frameHeight;
    if (engine.consumerBuffer == nullptr || width <= 0 || height <= 0)
        return;
    const LONG sampleBytes = sample->GetSize();
    const std::uint64_t frameBytes = std::uint64_t(width) * std::uint64_t(height) * 4u;
    if (sampleBytes >= 0 && frameBytes <= std::uint64_t(sampleBytes)) {
        FrameConverter::convert(engine, settings, engine.consumerBuffer, data, width, height, engine.RawStride());
        return;
    }
    CropFrame(settings, data, sampleBytes, width, height);
}

// The frame is larger than the sample (the sensor or a setting changed while
// the pin kept its type): convert it aside and copy the part that fits the
// connection type, row by row, never past the sample's end.
void CameraOutputPin::CropFrame(const ConversionSettings &settings, BYTE *data, LONG sampleBytes, int width,
                                int height) {
    ++croppedSamples;
    if (sampleBytes <= 0)
        return;
    const std::uint64_t frameBytes = std::uint64_t(width) * std::uint64_t(height) * 4u;
    if (cropBytes < frameBytes) {
        delete[] cropBuffer;
        cropBytes = 0;
        cropBuffer = new (std::nothrow) std::uint8_t[frameBytes];
        if (cropBuffer == nullptr) {
            std::memset(data, 0, std::size_t(sampleBytes)); // a blank picture rather than stale data
            return;
        }
        cropBytes = frameBytes;
    }
    CameraEngine &engine = cameraFilter->engine;
    FrameConverter::convert(engine, settings, engine.consumerBuffer, cropBuffer, width, height, engine.RawStride());

    const VIDEOINFOHEADER *header = VideoHeaderOf(ConnectionType());
    LONG targetWidth = header != nullptr ? header->bmiHeader.biWidth : 0;
    LONG targetHeight = header != nullptr ? std::abs(header->bmiHeader.biHeight) : 0;
    if (targetWidth <= 0 || targetHeight <= 0) {
        targetWidth = width; // no usable type: keep the frame's rows
        targetHeight = height;
    }
    const std::uint64_t targetRowBytes = std::uint64_t(targetWidth) * 4u;
    const std::uint64_t rows =
        std::min<std::uint64_t>({std::uint64_t(height), std::uint64_t(targetHeight), sampleBytes / targetRowBytes});
    const std::size_t copyBytes = std::size_t(std::min<LONG>(width, targetWidth)) * 4u;
    for (std::uint64_t row = 0; row < rows; ++row)
        std::memcpy(data + row * targetRowBytes, cropBuffer + row * std::uint64_t(width) * 4u, copyBytes);
}
