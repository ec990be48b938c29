// IEnumPins over a filter's pins and IEnumMediaTypes over a pin's types.
#include "filter/framework/enumerators.h"

#include <new>

#include "filter/framework/filter_base.h"
#include "filter/framework/media_type.h"
#include "filter/framework/pin_base.h"

// --- PinEnumerator ---------------------------------------------------------------

PinEnumerator::PinEnumerator(FilterBase *owner, ULONG start)
    : UnknownBase(L"PinEnumerator", nullptr), filter(owner), position(start), version(owner->GetPinVersion()) {
    filter->AddRef();
}

PinEnumerator::~PinEnumerator() {
    filter->Release();
}

HRESULT PinEnumerator::Create(FilterBase *filter, IEnumPins **result) {
    if (result == nullptr)
        return E_POINTER;
    *result = nullptr;
    auto *enumerator = new (std::nothrow) PinEnumerator(filter);
    if (enumerator == nullptr)
        return E_OUTOFMEMORY;
    return enumerator->NonDelegatingQueryInterface(IID_IEnumPins, reinterpret_cast<void **>(result));
}

HRESULT STDMETHODCALLTYPE PinEnumerator::NonDelegatingQueryInterface(REFIID iid, void **result) {
    if (result == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IEnumPins))
        return ReturnInterface(static_cast<IEnumPins *>(this), result);
    return UnknownBase::NonDelegatingQueryInterface(iid, result);
}

HRESULT STDMETHODCALLTYPE PinEnumerator::Next(ULONG count, IPin **pins, ULONG *fetched) {
    if (pins == nullptr)
        return E_POINTER;
    if (count != 1 && fetched == nullptr)
        return E_INVALIDARG;
    if (fetched != nullptr)
        *fetched = 0;
    if (version != filter->GetPinVersion())
        return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG done = 0;
    const ULONG available = static_cast<ULONG>(filter->GetPinCount());
    while (done < count && position < available) {
        PinBase *pin = filter->GetPin(static_cast<int>(position));
        if (pin == nullptr)
            break;
        pins[done] = pin;
        pin->AddRef();
        ++done;
        ++position;
    }
    if (fetched != nullptr)
        *fetched = done;
    return done == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE PinEnumerator::Skip(ULONG count) {
    if (version != filter->GetPinVersion())
        return VFW_E_ENUM_OUT_OF_SYNC;
    const ULONG available = static_cast<ULONG>(filter->GetPinCount());
    const ULONG remaining = position < available ? available - position : 0;
    if (count > remaining) {
        position = available;
        return S_FALSE;
    }
    position += count;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinEnumerator::Reset() {
    version = filter->GetPinVersion();
    position = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinEnumerator::Clone(IEnumPins **result) {
    if (result == nullptr)
        return E_POINTER;
    *result = nullptr;
    if (version != filter->GetPinVersion())
        return VFW_E_ENUM_OUT_OF_SYNC;
    auto *copy = new (std::nothrow) PinEnumerator(filter, position);
    if (copy == nullptr)
        return E_OUTOFMEMORY;
    return copy->NonDelegatingQueryInterface(IID_IEnumPins, reinterpret_cast<void **>(result));
}

// --- MediaTypeEnumerator -----------------------------------------------------------

MediaTypeEnumerator::MediaTypeEnumerator(PinBase *owner, ULONG start)
    : UnknownBase(L"MediaTypeEnumerator", nullptr), pin(owner), position(start), version(owner->GetMediaTypeVersion()) {
    pin->AddRef();
}

MediaTypeEnumerator::~MediaTypeEnumerator() {
    pin->Release();
}

HRESULT MediaTypeEnumerator::Create(PinBase *pin, IEnumMediaTypes **result) {
    if (result == nullptr)
        return E_POINTER;
    *result = nullptr;
    auto *enumerator = new (std::nothrow) MediaTypeEnumerator(pin);
    if (enumerator == nullptr)
        return E_OUTOFMEMORY;
    return enumerator->NonDelegatingQueryInterface(IID_IEnumMediaTypes, reinterpret_cast<void **>(result));
}

HRESULT STDMETHODCALLTYPE MediaTypeEnumerator::NonDelegatingQueryInterface(REFIID iid, void **result) {
    if (result == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IEnumMediaTypes))
        return ReturnInterface(static_cast<IEnumMediaTypes *>(this), result);
    return UnknownBase::NonDelegatingQueryInterface(iid, result);
}

HRESULT STDMETHODCALLTYPE MediaTypeEnumerator::Next(ULONG count, AM_MEDIA_TYPE **types, ULONG *fetched) {
    if (types == nullptr)
        return E_POINTER;
    if (count != 1 && fetched == nullptr)
        return E_INVALIDARG;
    if (fetched != nullptr)
        *fetched = 0;
    if (version != pin->GetMediaTypeVersion())
        return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG done = 0;
    while (done < count) {
        AM_MEDIA_TYPE *type = CreateMediaType();
        if (type == nullptr)
            break;
        const HRESULT result = pin->GetMediaType(static_cast<int>(position), type);
        if (result != S_OK) {
            DeleteMediaType(type);
            break;
        }
        types[done++] = type;
        ++position;
    }
    if (fetched != nullptr)
        *fetched = done;
    return done == count ? S_OK : S_FALSE;
}

ULONG MediaTypeEnumerator::CountTypes() {
    ULONG count = 0;
    for (;;) {
        MediaType probe;
        if (pin->GetMediaType(static_cast<int>(count), &probe) != S_OK)
            return count;
        ++count;
    }
}

HRESULT STDMETHODCALLTYPE MediaTypeEnumerator::Skip(ULONG count) {
    if (version != pin->GetMediaTypeVersion())
        return VFW_E_ENUM_OUT_OF_SYNC;
    const ULONG available = CountTypes();
    const ULONG remaining = position < available ? available - position : 0;
    if (count > remaining) {
        position = available;
        return S_FALSE;
    }
    position += count;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaTypeEnumerator::Reset() {
    version = pin->GetMediaTypeVersion();
    position = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaTypeEnumerator::Clone(IEnumMediaTypes **result) {
    if (result == nullptr)
        return E_POINTER;
    *result = nullptr;
    if (version != pin->GetMediaTypeVersion())
        return VFW_E_ENUM_OUT_OF_SYNC;
    auto *copy = new (std::nothrow) MediaTypeEnumerator(pin, position);
    if (copy == nullptr)
        return E_OUTOFMEMORY;
    return copy->NonDelegatingQueryInterface(IID_IEnumMediaTypes, reinterpret_cast<void **>(result));
}
