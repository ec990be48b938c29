// MemAllocator and MediaSample: our own IMemAllocator and IMediaSample2.
#include "filter/framework/mem_allocator.h"

#include <cstring>
#include <new>

#include "filter/framework/media_type.h"

// --- MediaSample ---------------------------------------------------------------

MediaSample::MediaSample(MemAllocator *owner, BYTE *data, LONG length)
    : allocator(owner), buffer(data), size(length), actualLength(length) {}

MediaSample::~MediaSample() {
    DeleteMediaType(mediaType);
}

HRESULT STDMETHODCALLTYPE MediaSample::QueryInterface(REFIID iid, void **result) {
    if (result == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMediaSample) || IsEqualIID(iid, IID_IMediaSample2))
        return ReturnInterface(static_cast<IMediaSample2 *>(this), result);
    *result = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE MediaSample::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&referenceCount));
}

ULONG STDMETHODCALLTYPE MediaSample::Release() {
    const LONG count = InterlockedDecrement(&referenceCount);
    if (count == 0)
        allocator->ReleaseBuffer(this); // the allocator owns the sample
    return static_cast<ULONG>(count > 0 ? count : 0);
}

void MediaSample::ResetForUse() {
    flags = 0;
    actualLength = size;
    startTime = stopTime = 0;
    mediaStart = mediaStop = 0;
    mediaTimeValid = false;
    streamId = AM_STREAM_MEDIA;
    DeleteMediaType(mediaType);
    mediaType = nullptr;
}

HRESULT STDMETHODCALLTYPE MediaSample::GetPointer(BYTE **result) {
    if (result == nullptr)
        return E_POINTER;
    *result = buffer;
    return S_OK;
}

LONG STDMETHODCALLTYPE MediaSample::GetSize() {
    return size;
}

HRESULT STDMETHODCALLTYPE MediaSample::GetTime(REFERENCE_TIME *start, REFERENCE_TIME *stop) {
    if (start == nullptr || stop == nullptr)
        return E_POINTER;
    if (!(flags & AM_SAMPLE_TIMEVALID))
        return VFW_E_SAMPLE_TIME_NOT_SET;
    *start = startTime;
    if (flags & AM_SAMPLE_STOPVALID) {
        *stop = stopTime;
        return S_OK;
    }
    *stop = startTime + 1;
    return VFW_S_NO_STOP_TIME;
}

HRESULT STDMETHODCALLTYPE MediaSample::SetTime(REFERENCE_TIME *start, REFERENCE_TIME *stop) {
    flags &= ~(AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID);
    if (start == nullptr)
        return S_OK; // clears the times
    startTime = *start;
    flags |= AM_SAMPLE_TIMEVALID;
    if (stop != nullptr) {
        stopTime = *stop;
        flags |= AM_SAMPLE_STOPVALID;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaSample::IsSyncPoint() {
    return (flags & AM_SAMPLE_SPLICEPOINT) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE MediaSample::SetSyncPoint(BOOL value) {
    flags = value ? (flags | AM_SAMPLE_SPLICEPOINT) : (flags & ~AM_SAMPLE_SPLICEPOINT);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaSample::IsPreroll() {
    return (flags & AM_SAMPLE_PREROLL) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE MediaSample::SetPreroll(BOOL value) {
    flags = value ? (flags | AM_SAMPLE_PREROLL) : (flags & ~AM_SAMPLE_PREROLL);
    return S_OK;
}

LONG STDMETHODCALLTYPE MediaSample::GetActualDataLength() {
    return actualLength;
}

HRESULT STDMETHODCALLTYPE MediaSample::SetActualDataLength(LONG length) {
    if (length < 0 || length > size)
        return VFW_E_BUFFER_OVERFLOW;
    actualLength = length;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaSample::GetMediaType(AM_MEDIA_TYPE **result) {
    if (result == nullptr)
        return E_POINTER;
    *result = nullptr;
    if (!(flags & AM_SAMPLE_TYPECHANGED) || mediaType == nullptr)
        return S_FALSE;
    *result = CreateMediaTypeCopy(*mediaType);
    return *result != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE MediaSample::SetMediaType(AM_MEDIA_TYPE *type) {
    DeleteMediaType(mediaType);
    mediaType = nullptr;
    flags &= ~AM_SAMPLE_TYPECHANGED;
    if (type == nullptr)
        return S_OK;
    mediaType = CreateMediaTypeCopy(*type);
    if (mediaType == nullptr)
        return E_OUTOFMEMORY;
    flags |= AM_SAMPLE_TYPECHANGED;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaSample::IsDiscontinuity() {
    return (flags & AM_SAMPLE_DATADISCONTINUITY) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE MediaSample::SetDiscontinuity(BOOL value) {
    flags = value ? (flags | AM_SAMPLE_DATADISCONTINUITY) : (flags & ~AM_SAMPLE_DATADISCONTINUITY);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaSample::GetMediaTime(LONGLONG *start, LONGLONG *stop) {
    if (start == nullptr || stop == nullptr)
        return E_POINTER;
    if (!mediaTimeValid)
        return VFW_E_MEDIA_TIME_NOT_SET;
    *start = mediaStart;
    *stop = mediaStop;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaSample::SetMediaTime(LONGLONG *start, LONGLONG *stop) {
    if (start == nullptr && stop == nullptr) {
        mediaTimeValid = false;
        return S_OK;
    }
    if (start == nullptr || stop == nullptr)
        return E_POINTER;
    mediaStart = *start;
    mediaStop = *stop;
    mediaTimeValid = true;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaSample::GetProperties(DWORD length, BYTE *result) {
    if (result == nullptr)
        return E_POINTER;
    AM_SAMPLE2_PROPERTIES properties{};
    properties.cbData = sizeof properties;
    properties.dwTypeSpecificFlags = 0;
    properties.dwSampleFlags = flags;
    properties.lActual = actualLength;
    properties.tStart = startTime;
    properties.tStop = stopTime;
    properties.dwStreamId = streamId;
    properties.pMediaType = (flags & AM_SAMPLE_TYPECHANGED) ? mediaType : nullptr;
    properties.pbBuffer = buffer;
    properties.cbBuffer = size;
    std::memcpy(result, &properties, length < sizeof properties ? length : sizeof properties);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaSample::SetProperties(DWORD length, const BYTE *source) {
    if (source == nullptr)
        return E_POINTER;
    AM_SAMPLE2_PROPERTIES properties{};
    if (length > sizeof properties)
        return E_INVALIDARG;
    std::memcpy(&properties, source, length);
    // The buffer itself cannot be swapped, and the data must fit it.
    const DWORD upToBuffer = offsetof(AM_SAMPLE2_PROPERTIES, pbBuffer);
    if (length > upToBuffer && (properties.pbBuffer != buffer || properties.cbBuffer != size))
        return E_INVALIDARG;
    if (length > offsetof(AM_SAMPLE2_PROPERTIES, lActual) && (properties.lActual < 0 || properties.lActual > size))
        return VFW_E_BUFFER_OVERFLOW;
    if (length > offsetof(AM_SAMPLE2_PROPERTIES, pMediaType)) {
        const HRESULT result = SetMediaType(properties.pMediaType);
        if (FAILED(result))
            return result;
    }
    const DWORD typeFlag = flags & AM_SAMPLE_TYPECHANGED;
    if (length > offsetof(AM_SAMPLE2_PROPERTIES, dwSampleFlags))
        flags = (properties.dwSampleFlags & ~AM_SAMPLE_TYPECHANGED) | typeFlag;
    if (length > offsetof(AM_SAMPLE2_PROPERTIES, lActual))
        actualLength = properties.lActual;
    if (length > offsetof(AM_SAMPLE2_PROPERTIES, tStart))
        startTime = properties.tStart;
    if (length > offsetof(AM_SAMPLE2_PROPERTIES, tStop))
        stopTime = properties.tStop;
    if (length > offsetof(AM_SAMPLE2_PROPERTIES, dwStreamId))
        streamId = properties.dwStreamId;
    return S_OK;
}

// --- MemAllocator ----------------------------------------------------------------

MemAllocator::MemAllocator(const wchar_t *objectName, IUnknown *outer, HRESULT *) : UnknownBase(objectName, outer) {}

MemAllocator::~MemAllocator() {
    committed = false;
    // Samples still out would point into freed memory: they are the holder's
    // bug, but the allocator stays alive while any is out (each holds a reference).
    for (int i = 0; i < sampleCount; ++i)
        delete samples[i];
    delete[] samples;
    delete[] freeList;
    if (memory != nullptr)
        VirtualFree(memory, 0, MEM_RELEASE);
}

HRESULT MemAllocator::Create(IMemAllocator **result) {
    if (result == nullptr)
        return E_POINTER;
    *result = nullptr;
    HRESULT hr = S_OK;
    auto *allocator = new (std::nothrow) MemAllocator(L"MemAllocator", nullptr, &hr);
    if (allocator == nullptr)
        return E_OUTOFMEMORY;
    if (FAILED(hr)) {
        delete allocator;
        return hr;
    }
    return allocator->NonDelegatingQueryInterface(IID_IMemAllocator, reinterpret_cast<void **>(result));
}

HRESULT STDMETHODCALLTYPE MemAllocator::NonDelegatingQueryInterface(REFIID iid, void **result) {
    if (result == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IMemAllocator))
        return ReturnInterface(static_cast<IMemAllocator *>(this), result);
    return UnknownBase::NonDelegatingQueryInterface(iid, result);
}

HRESULT STDMETHODCALLTYPE MemAllocator::SetProperties(ALLOCATOR_PROPERTIES *request, ALLOCATOR_PROPERTIES *actual) {
    if (request == nullptr || actual == nullptr)
        return E_POINTER;
    platform::Lock guard(allocatorLock);
    if (committed)
        return VFW_E_ALREADY_COMMITTED;
    if (freeCount != sampleCount)
        return VFW_E_BUFFERS_OUTSTANDING;
    const long align = request->cbAlign;
    if (align <= 0 || (align & (align - 1)) != 0)
        return VFW_E_BADALIGN;
    if (request->cBuffers < 0 || request->cbBuffer < 0 || request->cbPrefix < 0)
        return E_INVALIDARG;
    // Each buffer, prefix included, starts on an aligned address.
    const long long total = (static_cast<long long>(request->cbBuffer) + request->cbPrefix + align - 1) / align * align;
    if (total > 0x7FFFFFFF)
        return E_OUTOFMEMORY;
    properties.cBuffers = request->cBuffers;
    properties.cbBuffer = static_cast<long>(total) - request->cbPrefix;
    properties.cbAlign = align;
    properties.cbPrefix = request->cbPrefix;
    propertiesSet = true;
    *actual = properties;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MemAllocator::GetProperties(ALLOCATOR_PROPERTIES *result) {
    if (result == nullptr)
        return E_POINTER;
    platform::Lock guard(allocatorLock);
    *result = properties;
    return S_OK;
}

HRESULT MemAllocator::AllocateSamples() {
    const long long stride = static_cast<long long>(properties.cbBuffer) + properties.cbPrefix;
    const long long total = stride * properties.cBuffers;
    if (total > 0x7FFFFFFF)
        return E_OUTOFMEMORY;
    // Page-aligned memory satisfies every power-of-two alignment up to 4096.
    memory = static_cast<BYTE *>(
        VirtualAlloc(nullptr, static_cast<SIZE_T>(total > 0 ? total : 1), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    samples = new (std::nothrow) MediaSample *[properties.cBuffers]();
    freeList = new (std::nothrow) MediaSample *[properties.cBuffers]();
    if (memory == nullptr || samples == nullptr || freeList == nullptr)
        return E_OUTOFMEMORY;
    for (long i = 0; i < properties.cBuffers; ++i) {
        BYTE *data = memory + stride * i + properties.cbPrefix;
        samples[i] = new (std::nothrow) MediaSample(this, data, properties.cbBuffer);
        if (samples[i] == nullptr)
            return E_OUTOFMEMORY;
        freeList[freeCount++] = samples[i];
        ++sampleCount;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MemAllocator::Commit() {
    platform::Lock guard(allocatorLock);
    if (committed)
        return S_OK;
    if (!propertiesSet || properties.cBuffers <= 0 || properties.cbBuffer <= 0)
        return VFW_E_SIZENOTSET;
    if (memory == nullptr) {
        const HRESULT result = AllocateSamples();
        if (FAILED(result)) {
            FreeSamplesIfIdle();
            return result;
        }
    }
    committed = true;
    sampleFreed.reset();
    if (freeCount > 0)
        sampleFreed.set();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MemAllocator::Decommit() {
    platform::Lock guard(allocatorLock);
    if (!committed)
        return S_OK;
    committed = false;
    sampleFreed.set(); // every waiting GetBuffer fails now
    FreeSamplesIfIdle();
    return S_OK;
}

void MemAllocator::FreeSamplesIfIdle() {
    if (committed || freeCount != sampleCount)
        return;
    for (int i = 0; i < sampleCount; ++i)
        delete samples[i];
    delete[] samples;
    delete[] freeList;
    samples = freeList = nullptr;
    sampleCount = freeCount = 0;
    if (memory != nullptr)
        VirtualFree(memory, 0, MEM_RELEASE);
    memory = nullptr;
}

HRESULT STDMETHODCALLTYPE MemAllocator::GetBuffer(IMediaSample **result, REFERENCE_TIME *, REFERENCE_TIME *,
                                                  DWORD flags) {
    if (result == nullptr)
        return E_POINTER;
    *result = nullptr;
    for (;;) {
        {
            platform::Lock guard(allocatorLock);
            if (!committed)
                return VFW_E_NOT_COMMITTED;
            if (freeCount > 0) {
                MediaSample *sample = freeList[--freeCount];
                if (freeCount == 0)
                    sampleFreed.reset();
                sample->ResetForUse();
                sample->AddRef();
                // An outstanding sample keeps its allocator alive.
                NonDelegatingAddRef();
                *result = sample;
                return S_OK;
            }
            if (flags & AM_GBF_NOWAIT)
                return VFW_E_TIMEOUT;
            sampleFreed.reset();
        }
        sampleFreed.wait(platform::Event::kInfinite);
    }
}

HRESULT STDMETHODCALLTYPE MemAllocator::ReleaseBuffer(IMediaSample *sample) {
    if (sample == nullptr)
        return E_POINTER;
    {
        platform::Lock guard(allocatorLock);
        bool ours = false;
        for (int i = 0; i < sampleCount && !ours; ++i)
            ours = static_cast<IMediaSample *>(samples[i]) == sample;
        if (!ours)
            return E_INVALIDARG;
        freeList[freeCount++] = static_cast<MediaSample *>(sample);
        sampleFreed.set();
        FreeSamplesIfIdle();
    }
    NonDelegatingRelease();
    return S_OK;
}
