// IEnumPins over a filter's pins and IEnumMediaTypes over a pin's types.
#include "filter/framework/enumerators.h"

#include <new>

#include "filter/framework/filter_base.h"
#include "filter/framework/media_type.h"
#include "filter/framework/pin_base.h"

// --- What each enumerator walks -------------------------------------------------

LONG FilterPins::Version(FilterBase *filter) {
    return filter->GetPinVersion();
}

ULONG FilterPins::Count(FilterBase *filter) {
    return static_cast<ULONG>(filter->GetPinCount());
}

bool FilterPins::Fetch(FilterBase *filter, ULONG position, IPin **result) {
    if (position >= Count(filter))
        return false;
    PinBase *pin = filter->GetPin(static_cast<int>(position));
    if (pin == nullptr)
        return false;
    *result = pin;
    pin->AddRef();
    return true;
}

LONG PinMediaTypes::Version(PinBase *pin) {
    return pin->GetMediaTypeVersion();
}

ULONG PinMediaTypes::Count(PinBase *pin) {
    ULONG count = 0;
    for (;;) {
        MediaType probe;
        if (pin->GetMediaType(static_cast<int>(count), &probe) != S_OK)
            return count;
        ++count;
    }
}

bool PinMediaTypes::Fetch(PinBase *pin, ULONG position, AM_MEDIA_TYPE **result) {
    AM_MEDIA_TYPE *type = CreateMediaType();
    if (type == nullptr)
        return false;
    if (pin->GetMediaType(static_cast<int>(position), type) != S_OK) {
        DeleteMediaType(type);
        return false;
    }
    *result = type;
    return true;
}

// --- ComEnumerator -----------------------------------------------------------------

template <class Items>
ComEnumerator<Items>::ComEnumerator(Container *owner, ULONG start)
    : UnknownBase(Items::objectName, nullptr), container(owner), position(start), version(Items::Version(owner)) {
    container->AddRef();
}

template <class Items> ComEnumerator<Items>::~ComEnumerator() {
    container->Release();
}

template <class Items> HRESULT ComEnumerator<Items>::Create(Container *container, Interface **result) {
    if (result == nullptr)
        return E_POINTER;
    *result = nullptr;
    auto *enumerator = new (std::nothrow) ComEnumerator(container);
    if (enumerator == nullptr)
        return E_OUTOFMEMORY;
    return enumerator->NonDelegatingQueryInterface(Items::Iid(), reinterpret_cast<void **>(result));
}

template <class Items>
HRESULT STDMETHODCALLTYPE ComEnumerator<Items>::NonDelegatingQueryInterface(REFIID iid, void **result) {
    if (result == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, Items::Iid()))
        return ReturnInterface(static_cast<Interface *>(this), result);
    return UnknownBase::NonDelegatingQueryInterface(iid, result);
}

template <class Items> HRESULT STDMETHODCALLTYPE ComEnumerator<Items>::Next(ULONG count, Item *items, ULONG *fetched) {
    if (items == nullptr)
        return E_POINTER;
    if (count != 1 && fetched == nullptr)
        return E_INVALIDARG;
    if (fetched != nullptr)
        *fetched = 0;
    if (version != Items::Version(container))
        return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG done = 0;
    while (done < count && Items::Fetch(container, position, &items[done])) {
        ++done;
        ++position;
    }
    if (fetched != nullptr)
        *fetched = done;
    return done == count ? S_OK : S_FALSE;
}

template <class Items> HRESULT STDMETHODCALLTYPE ComEnumerator<Items>::Skip(ULONG count) {
    if (version != Items::Version(container))
        return VFW_E_ENUM_OUT_OF_SYNC;
    const ULONG available = Items::Count(container);
    const ULONG remaining = position < available ? available - position : 0;
    if (count > remaining) {
        position = available;
        return S_FALSE;
    }
    position += count;
    return S_OK;
}

template <class Items> HRESULT STDMETHODCALLTYPE ComEnumerator<Items>::Reset() {
    version = Items::Version(container);
    position = 0;
    return S_OK;
}

template <class Items> HRESULT STDMETHODCALLTYPE ComEnumerator<Items>::Clone(Interface **result) {
    if (result == nullptr)
        return E_POINTER;
    *result = nullptr;
    if (version != Items::Version(container))
        return VFW_E_ENUM_OUT_OF_SYNC;
    auto *copy = new (std::nothrow) ComEnumerator(container, position);
    if (copy == nullptr)
        return E_OUTOFMEMORY;
    return copy->NonDelegatingQueryInterface(Items::Iid(), reinterpret_cast<void **>(result));
}

template class ComEnumerator<FilterPins>;
template class ComEnumerator<PinMediaTypes>;
