// The tests' minimal live source filter on the framework layer.
#include "tests/framework/test_source.h"

#include <cstring>
#include <new>

std::uint8_t TestPatternByte(std::uint32_t index, std::size_t offset) {
    if (offset < 4)
        return static_cast<std::uint8_t>(index >> (8 * offset));
    return static_cast<std::uint8_t>(index * 7u + offset);
}

bool CheckTestPattern(const BYTE *data, long length, std::uint32_t &index) {
    if (data == nullptr || length < 4)
        return false;
    std::memcpy(&index, data, 4);
    for (long i = 4; i < length; ++i)
        if (data[i] != TestPatternByte(index, static_cast<std::size_t>(i)))
            return false;
    return true;
}

HRESULT MakeTestMediaType(AM_MEDIA_TYPE &type, LONG width, LONG height) {
    auto *info = reinterpret_cast<VIDEOINFOHEADER *>(AllocateFormatBlock(type, sizeof(VIDEOINFOHEADER)));
    if (info == nullptr)
        return E_OUTOFMEMORY;
    info->AvgTimePerFrame = kTestFrameTime;
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = 32;
    info->bmiHeader.biCompression = BI_RGB;
    info->bmiHeader.biSizeImage = static_cast<DWORD>(width * height * 4);
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB32;
    type.formattype = FORMAT_VideoInfo;
    type.bFixedSizeSamples = TRUE;
    type.bTemporalCompression = FALSE;
    type.lSampleSize = info->bmiHeader.biSizeImage;
    return S_OK;
}

// --- TestSourcePin ------------------------------------------------------------------

TestSourcePin::TestSourcePin(HRESULT *result, TestSourceFilter *filter)
    : SourceStreamPin(L"TestSourcePin", result, filter, L"Out") {}

HRESULT TestSourcePin::CheckMediaType(const AM_MEDIA_TYPE *type) {
    if (type == nullptr)
        return E_POINTER;
    if (!IsEqualGUID(type->majortype, MEDIATYPE_Video) || !IsEqualGUID(type->subtype, MEDIASUBTYPE_RGB32) ||
        !IsEqualGUID(type->formattype, FORMAT_VideoInfo) || type->cbFormat < sizeof(VIDEOINFOHEADER) ||
        type->pbFormat == nullptr)
        return E_INVALIDARG;
    const auto *info = reinterpret_cast<const VIDEOINFOHEADER *>(type->pbFormat);
    if (info->bmiHeader.biWidth != kTestWidth || info->bmiHeader.biHeight != kTestHeight ||
        info->bmiHeader.biBitCount != 32)
        return E_INVALIDARG;
    return S_OK;
}

HRESULT TestSourcePin::GetMediaType(int position, AM_MEDIA_TYPE *type) {
    if (type == nullptr)
        return E_POINTER;
    if (position < 0)
        return E_INVALIDARG;
    if (position >= typeCount)
        return VFW_S_NO_MORE_ITEMS;
    return MakeTestMediaType(*type);
}

HRESULT TestSourcePin::DecideBufferSize(IMemAllocator *allocator, ALLOCATOR_PROPERTIES *request) {
    if (allocator == nullptr || request == nullptr)
        return E_POINTER;
    ++decideCalls;
    lastRequest = *request;
    if (request->cBuffers == 0)
        request->cBuffers = 2;
    request->cbBuffer = kTestFrameBytes;
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT result = allocator->SetProperties(request, &actual);
    if (FAILED(result))
        return result;
    return actual.cbBuffer < request->cbBuffer ? E_FAIL : S_OK;
}

HRESULT TestSourcePin::InitAllocator(IMemAllocator **result) {
    const HRESULT hr = SourceStreamPin::InitAllocator(result);
    ownAllocator = SUCCEEDED(hr) ? *result : nullptr;
    return hr;
}

HRESULT TestSourcePin::FillBuffer(IMediaSample *sample) {
    const long before = filled;
    if (failure != S_OK && before >= samplesBeforeFailure)
        return failure;
    if (samplesBeforeEnd >= 0 && before >= samplesBeforeEnd)
        return S_FALSE;
    BYTE *data = nullptr;
    if (FAILED(sample->GetPointer(&data)))
        return E_POINTER;
    const long size = sample->GetSize();
    const long length = size < kTestFrameBytes ? size : kTestFrameBytes;
    const std::uint32_t index = counter++;
    for (long i = 0; i < length; ++i)
        data[i] = TestPatternByte(index, static_cast<std::size_t>(i));
    sample->SetActualDataLength(length);
    // Times count from this run's start, 10 ms apart, so a renderer shows them at once.
    REFERENCE_TIME start = static_cast<REFERENCE_TIME>(before) * kTestFrameTime, stop = start + kTestFrameTime;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    ++filled;
    return S_OK;
}

HRESULT TestSourcePin::OnThreadCreate() {
    ++threadCreates;
    filled = 0;
    return threadCreateResult;
}

HRESULT TestSourcePin::OnThreadDestroy() {
    ++threadDestroys;
    return S_OK;
}

HRESULT TestSourcePin::OnThreadStartPlay() {
    ++startPlays;
    return S_OK;
}

// --- TestSourceFilter -------------------------------------------------------------------

TestSourceFilter::TestSourceFilter(IUnknown *outer, HRESULT *result)
    : SourceFilterBase(L"TestSourceFilter", outer, kTestSourceClassId) {
    SetLiveSource(true);
    pin = new (std::nothrow) TestSourcePin(result, this);
    if (pin == nullptr)
        *result = E_OUTOFMEMORY;
}

TestSourceFilter::~TestSourceFilter() {
    delete pin;
}

HRESULT STDMETHODCALLTYPE TestSourceFilter::Pause() {
    if (refusePause)
        return S_FALSE;
    return SourceFilterBase::Pause();
}

NonDelegatingUnknown *TestSourceFilter::Create(IUnknown *outer, HRESULT *result) {
    auto *filter = new (std::nothrow) TestSourceFilter(outer, result);
    if (filter == nullptr)
        *result = E_OUTOFMEMORY;
    return filter;
}

IBaseFilter *TestSourceFilter::CreateReferenced() {
    HRESULT hr = S_OK;
    auto *filter = new TestSourceFilter(nullptr, &hr);
    IBaseFilter *result = nullptr;
    filter->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void **>(&result));
    return result;
}
