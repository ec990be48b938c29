// A scriptable downstream input pin (IPin + IMemInputPin) for the connection
// and delivery details no Wine filter lets a test choose: which types it
// offers and accepts, its allocator and requirements, and its Receive result.
// It belongs to no filter. Counters are safe to read while a stream runs.
#pragma once

#include <atomic>
#include <vector>

#include "filter/framework/framework.h"

class FakeInputPin final : public IPin, public IMemInputPin {
public:
    FakeInputPin();
    ~FakeInputPin();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin *, const AM_MEDIA_TYPE *) override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin *peer, const AM_MEDIA_TYPE *type) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin **peer) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE *type) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO *info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION *direction) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE *type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes **result) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin **, ULONG *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

    // IMemInputPin
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator **result) override;
    HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator *allocator, BOOL readOnly) override;
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES *properties) override;
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample *sample) override;
    HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample **samples, long count, long *processed) override;
    HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override { return S_FALSE; }

    // --- Script -----------------------------------------------------------------
    std::vector<MediaType> offered;             // what EnumMediaTypes lists
    std::vector<REFERENCE_TIME> acceptedFrames; // AvgTimePerFrame values accepted; empty: all
    bool acceptNothing = false;
    bool memInput = true; // answers IMemInputPin
    bool haveRequirements = false;
    ALLOCATOR_PROPERTIES requirements{};
    IMemAllocator *allocator = nullptr; // offered by GetAllocator (one reference held)
    HRESULT notifyResult = S_OK;        // for every NotifyAllocator
    long refuseAfter = -1;              // Receive answers S_FALSE from this sample on

    // --- Observations -------------------------------------------------------------
    std::vector<REFERENCE_TIME> proposed; // AvgTimePerFrame of each ReceiveConnection
    IMemAllocator *notified = nullptr;    // last NotifyAllocator (no reference)
    BOOL notifiedReadOnly = TRUE;
    int disconnects = 0;
    IPin *connected = nullptr;
    MediaType connectionType;
    std::atomic<long> received{0};
    std::atomic<long> endOfStreams{0};

private:
    bool Accepts(const AM_MEDIA_TYPE &type) const;
    volatile LONG references = 1;
};

// A test-format type whose AvgTimePerFrame tells it apart (subtype as given).
MediaType TaggedType(REFERENCE_TIME tag, const GUID &subtype = MEDIASUBTYPE_RGB32);
