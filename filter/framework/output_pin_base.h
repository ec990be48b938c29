// OutputPinBase: an output pin that delivers media samples to the downstream
// IMemInputPin. On connection it negotiates the allocator (the downstream
// pin's own when it offers one and DecideBufferSize accepts it, else our
// MemAllocator); Active commits it, Inactive decommits it, which makes a
// GetDeliveryBuffer waiting for a free sample fail at once.
//
// Hook: DecideBufferSize (required).
//
// Threading: connection and Active/Inactive run under the filter lock;
// GetDeliveryBuffer, Deliver and DeliverEndOfStream run on the streaming thread
// without it.
#pragma once

#include "filter/framework/pin_base.h"

class OutputPinBase : public PinBase {
public:
    OutputPinBase(const wchar_t *objectName, FilterBase *owner, platform::CriticalSection &lock, HRESULT *result,
                  const wchar_t *pinName);
    ~OutputPinBase() override;

    // Sets the buffer count, size, alignment and prefix on `allocator` from
    // `request` (the downstream pin's requirements, alignment at least 1) and
    // checks what it actually gave. May change `request`.
    virtual HRESULT DecideBufferSize(IMemAllocator *allocator, ALLOCATOR_PROPERTIES *request) = 0;

    // The downstream pin must offer IMemInputPin (else VFW_E_NO_TRANSPORT).
    HRESULT CheckConnect(IPin *peer) override;
    // Allocator negotiation; a failure fails the connection.
    HRESULT CompleteConnect(IPin *peer) override;
    HRESULT BreakConnect() override;
    // Commits the allocator (VFW_E_NO_ALLOCATOR without one).
    HRESULT Active() override;
    // Decommits the allocator (VFW_E_NO_ALLOCATOR without one).
    HRESULT Inactive() override;

    // Output pins take no stream control calls from downstream.
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return E_UNEXPECTED; }

    // An empty sample from the allocator (times and flags as given, may be null).
    HRESULT GetDeliveryBuffer(IMediaSample **sample, REFERENCE_TIME *start, REFERENCE_TIME *stop, DWORD flags);
    // The downstream pin's Receive result; VFW_E_NOT_CONNECTED when unconnected.
    HRESULT Deliver(IMediaSample *sample);
    // The downstream pin's EndOfStream result; VFW_E_NOT_CONNECTED when unconnected.
    HRESULT DeliverEndOfStream();

    IMemAllocator *Allocator() const { return sampleAllocator; }
    IMemInputPin *InputPin() const { return downstreamInput; }

protected:
    // The negotiation of CompleteConnect; leaves `sampleAllocator` set on success.
    virtual HRESULT DecideAllocator(IMemInputPin *pin, IMemAllocator **result);
    // Our own memory allocator (E_OUTOFMEMORY when it cannot be made).
    virtual HRESULT InitAllocator(IMemAllocator **result);

    IMemAllocator *sampleAllocator = nullptr; // one reference while connected
    IMemInputPin *downstreamInput = nullptr;  // one reference while connected
};
