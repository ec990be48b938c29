// OutputPinBase: allocator negotiation and delivery to the downstream pin.
#include "filter/framework/output_pin_base.h"

#include "filter/framework/mem_allocator.h"

OutputPinBase::OutputPinBase(const wchar_t *objectName, FilterBase *owner, platform::CriticalSection &lock,
                             HRESULT *result, const wchar_t *pinName)
    : PinBase(objectName, owner, lock, result, pinName, PINDIR_OUTPUT) {}

OutputPinBase::~OutputPinBase() {
    if (sampleAllocator != nullptr)
        sampleAllocator->Release();
    if (downstreamInput != nullptr)
        downstreamInput->Release();
}

HRESULT OutputPinBase::CheckConnect(IPin *peer) {
    HRESULT result = PinBase::CheckConnect(peer);
    if (FAILED(result))
        return result;
    IMemInputPin *memInput = nullptr;
    result = peer->QueryInterface(IID_IMemInputPin, reinterpret_cast<void **>(&memInput));
    if (FAILED(result) || memInput == nullptr)
        return VFW_E_NO_TRANSPORT;
    if (downstreamInput != nullptr)
        downstreamInput->Release();
    downstreamInput = memInput;
    return S_OK;
}

HRESULT OutputPinBase::CompleteConnect(IPin *) {
    if (downstreamInput == nullptr)
        return VFW_E_NO_TRANSPORT;
    IMemAllocator *chosen = nullptr;
    const HRESULT result = DecideAllocator(downstreamInput, &chosen);
    if (FAILED(result))
        return result;
    if (sampleAllocator != nullptr)
        sampleAllocator->Release();
    sampleAllocator = chosen;
    return S_OK;
}

HRESULT OutputPinBase::BreakConnect() {
    if (sampleAllocator != nullptr) {
        sampleAllocator->Decommit();
        sampleAllocator->Release();
        sampleAllocator = nullptr;
    }
    if (downstreamInput != nullptr) {
        downstreamInput->Release();
        downstreamInput = nullptr;
    }
    return S_OK;
}

HRESULT OutputPinBase::DecideAllocator(IMemInputPin *pin, IMemAllocator **result) {
    *result = nullptr;
    ALLOCATOR_PROPERTIES request{};
    pin->GetAllocatorRequirements(&request); // an E_NOTIMPL leaves the record cleared
    if (request.cbAlign == 0)
        request.cbAlign = 1;

    IMemAllocator *candidate = nullptr;
    HRESULT hr = pin->GetAllocator(&candidate);
    if (SUCCEEDED(hr) && candidate != nullptr) {
        hr = DecideBufferSize(candidate, &request);
        if (SUCCEEDED(hr))
            hr = pin->NotifyAllocator(candidate, FALSE);
        if (SUCCEEDED(hr)) {
            *result = candidate;
            return S_OK;
        }
    }
    if (candidate != nullptr)
        candidate->Release();
    candidate = nullptr;

    // The downstream pin has no allocator, or none that suits us: use our own.
    hr = InitAllocator(&candidate);
    if (FAILED(hr))
        return hr;
    hr = DecideBufferSize(candidate, &request);
    if (SUCCEEDED(hr))
        hr = pin->NotifyAllocator(candidate, FALSE);
    if (FAILED(hr)) {
        candidate->Release();
        return hr;
    }
    *result = candidate;
    return S_OK;
}

HRESULT OutputPinBase::InitAllocator(IMemAllocator **result) {
    return MemAllocator::Create(result);
}

HRESULT OutputPinBase::Active() {
    if (sampleAllocator == nullptr)
        return VFW_E_NO_ALLOCATOR;
    return sampleAllocator->Commit();
}

HRESULT OutputPinBase::Inactive() {
    if (sampleAllocator == nullptr)
        return VFW_E_NO_ALLOCATOR;
    return sampleAllocator->Decommit();
}

HRESULT OutputPinBase::GetDeliveryBuffer(IMediaSample **sample, REFERENCE_TIME *start, REFERENCE_TIME *stop,
                                         DWORD flags) {
    if (sample == nullptr)
        return E_POINTER;
    *sample = nullptr;
    IMemAllocator *current = sampleAllocator;
    if (current == nullptr)
        return VFW_E_NO_ALLOCATOR;
    return current->GetBuffer(sample, start, stop, flags);
}

HRESULT OutputPinBase::Deliver(IMediaSample *sample) {
    IMemInputPin *pin = downstreamInput;
    if (pin == nullptr)
        return VFW_E_NOT_CONNECTED;
    return pin->Receive(sample);
}

HRESULT OutputPinBase::DeliverEndOfStream() {
    IPin *pin = connectedPin;
    if (pin == nullptr)
        return VFW_E_NOT_CONNECTED;
    return pin->EndOfStream();
}
