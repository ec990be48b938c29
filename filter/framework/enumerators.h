// The IEnumPins and IEnumMediaTypes enumerators of filters and pins. Both
// follow the IEnumXxx rules: Next fetches up to the asked count (S_FALSE when
// fewer), Skip moves on (S_FALSE past the end), Reset starts again, Clone
// copies the position; after the pins or offered types changed they report
// VFW_E_ENUM_OUT_OF_SYNC until Reset.
//
// Threading: an enumerator is used by one thread at a time (its position is
// unguarded); it reads the filter's pins and the pin's types through their hooks.
#pragma once

#include "filter/framework/com_support.h"
#include "filter/framework/unknown_base.h"

class FilterBase;
class PinBase;

// The IEnumXxx mechanics shared by both enumerators. Items says what is
// enumerated: the Interface, its Item type, the Container holding the items
// (referenced for the enumerator's lifetime), the object name, and
//   Version(container): changes whenever the items change;
//   Count(container):   number of items now;
//   Fetch(container, position, &item): the item at position, with the
//                       reference or allocation the caller takes over; false
//                       when there is none.
template <class Items> class ComEnumerator : public UnknownBase, public Items::Interface {
public:
    using Interface = typename Items::Interface;
    using Item = typename Items::Item;
    using Container = typename Items::Container;

    ComEnumerator(Container *container, ULONG position = 0);
    ~ComEnumerator() override;

    DELEGATE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void **result) override;

    HRESULT STDMETHODCALLTYPE Next(ULONG count, Item *items, ULONG *fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(Interface **result) override;

    // A new enumerator with one reference, or E_OUTOFMEMORY.
    static HRESULT Create(Container *container, Interface **result);

private:
    Container *container;
    ULONG position;
    LONG version;
};

// A filter's pins; each pin handed out carries a reference.
struct FilterPins {
    using Interface = IEnumPins;
    using Item = IPin *;
    using Container = FilterBase;
    static const IID &Iid() { return IID_IEnumPins; }
    static constexpr const wchar_t *objectName = L"PinEnumerator";
    static LONG Version(FilterBase *filter);
    static ULONG Count(FilterBase *filter);
    static bool Fetch(FilterBase *filter, ULONG position, IPin **pin);
};

// A pin's GetMediaType positions 0, 1, ... until VFW_S_NO_MORE_ITEMS. Each
// type handed out is task-allocated; the caller frees it (DeleteMediaType).
struct PinMediaTypes {
    using Interface = IEnumMediaTypes;
    using Item = AM_MEDIA_TYPE *;
    using Container = PinBase;
    static const IID &Iid() { return IID_IEnumMediaTypes; }
    static constexpr const wchar_t *objectName = L"MediaTypeEnumerator";
    static LONG Version(PinBase *pin);
    static ULONG Count(PinBase *pin);
    static bool Fetch(PinBase *pin, ULONG position, AM_MEDIA_TYPE **type);
};

// Holds a reference on the filter.
using PinEnumerator = ComEnumerator<FilterPins>;
// Holds a reference on the pin (that is, on its filter).
using MediaTypeEnumerator = ComEnumerator<PinMediaTypes>;

extern template class ComEnumerator<FilterPins>;
extern template class ComEnumerator<PinMediaTypes>;
