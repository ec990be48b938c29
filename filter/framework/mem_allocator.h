// MemAllocator and MediaSample: the framework's own IMemAllocator over task
// memory and its IMediaSample2 samples, used when the downstream pin offers no
// allocator. Buffers are allocated on Commit and freed when the allocator is
// decommitted and every sample has come back (or when it is destroyed).
//
// Threading: all allocator state is guarded by its own lock; GetBuffer may
// wait on another thread while Commit/Decommit run. A sample is used by one
// thread at a time, as DirectShow requires.
#pragma once

#include "filter/framework/com_support.h"
#include "filter/framework/unknown_base.h"
#include "platform/platform.h"

class MemAllocator;

// One buffer of a MemAllocator. Its count reaching zero returns it to the allocator.
class MediaSample : public IMediaSample2 {
public:
    MediaSample(MemAllocator *allocator, BYTE *buffer, LONG size);
    MediaSample(const MediaSample &) = delete;
    MediaSample &operator=(const MediaSample &) = delete;
    virtual ~MediaSample();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetPointer(BYTE **buffer) override;
    LONG STDMETHODCALLTYPE GetSize() override;
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME *start, REFERENCE_TIME *stop) override;
    HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME *start, REFERENCE_TIME *stop) override;
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override;
    HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL value) override;
    HRESULT STDMETHODCALLTYPE IsPreroll() override;
    HRESULT STDMETHODCALLTYPE SetPreroll(BOOL value) override;
    LONG STDMETHODCALLTYPE GetActualDataLength() override;
    HRESULT STDMETHODCALLTYPE SetActualDataLength(LONG length) override;
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE **type) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE *type) override;
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override;
    HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL value) override;
    HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG *start, LONGLONG *stop) override;
    HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG *start, LONGLONG *stop) override;
    HRESULT STDMETHODCALLTYPE GetProperties(DWORD size, BYTE *properties) override;
    HRESULT STDMETHODCALLTYPE SetProperties(DWORD size, const BYTE *properties) override;

    // Clears times, flags and the media type and makes the whole buffer the
    // actual data; the allocator calls it before handing the sample out.
    void ResetForUse();

private:
    MemAllocator *allocator;
    BYTE *buffer;
    LONG size;
    volatile LONG referenceCount = 0;
    DWORD flags = 0; // AM_SAMPLE_* flags
    LONG actualLength;
    REFERENCE_TIME startTime = 0;
    REFERENCE_TIME stopTime = 0;
    LONGLONG mediaStart = 0;
    LONGLONG mediaStop = 0;
    bool mediaTimeValid = false;
    DWORD streamId = AM_STREAM_MEDIA;
    AM_MEDIA_TYPE *mediaType = nullptr; // task-allocated when set
    LiveObject liveObject;
};

class MemAllocator : public UnknownBase, public IMemAllocator {
public:
    MemAllocator(const wchar_t *objectName, IUnknown *outer, HRESULT *result);
    ~MemAllocator() override;

    DELEGATE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void **result) override;

    // Alignment must be a power of two (VFW_E_BADALIGN); refused while committed
    // (VFW_E_ALREADY_COMMITTED) or while samples are out (VFW_E_BUFFERS_OUTSTANDING).
    // Each buffer's size plus prefix is rounded up to the alignment.
    HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES *request, ALLOCATOR_PROPERTIES *actual) override;
    HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES *properties) override;
    // VFW_E_SIZENOTSET before SetProperties; E_OUTOFMEMORY when buffers cannot be made.
    HRESULT STDMETHODCALLTYPE Commit() override;
    // Wakes every waiting GetBuffer (VFW_E_NOT_COMMITTED).
    HRESULT STDMETHODCALLTYPE Decommit() override;
    // Waits for a free sample unless AM_GBF_NOWAIT (VFW_E_TIMEOUT then);
    // VFW_E_NOT_COMMITTED when not committed or decommitted while waiting.
    HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample **sample, REFERENCE_TIME *start, REFERENCE_TIME *stop,
                                        DWORD flags) override;
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample *sample) override;

    // Creates an allocator with one reference, as CoCreateInstance would.
    static HRESULT Create(IMemAllocator **result);

private:
    HRESULT AllocateSamples();
    void FreeSamplesIfIdle();

    platform::CriticalSection allocatorLock;
    platform::Event sampleFreed; // set while a sample is free or the allocator is decommitted
    ALLOCATOR_PROPERTIES properties{};
    bool propertiesSet = false;
    bool committed = false;
    BYTE *memory = nullptr;
    MediaSample **samples = nullptr; // all samples of the committed buffers
    MediaSample **freeList = nullptr;
    int freeCount = 0;
    int sampleCount = 0;
};
