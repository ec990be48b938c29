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

// Enumerates a filter's pins; holds a reference on the filter.
class PinEnumerator : public UnknownBase, public IEnumPins {
public:
    PinEnumerator(FilterBase *filter, ULONG position = 0);
    ~PinEnumerator() override;

    DELEGATE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void **result) override;

    HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin **pins, ULONG *fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumPins **result) override;

    // A new enumerator with one reference, or E_OUTOFMEMORY.
    static HRESULT Create(FilterBase *filter, IEnumPins **result);

private:
    FilterBase *filter;
    ULONG position;
    LONG version;
};

// Enumerates a pin's GetMediaType positions 0, 1, ... until VFW_S_NO_MORE_ITEMS;
// holds a reference on the pin (that is, on its filter). Each type handed out
// is task-allocated; the caller frees it (DeleteMediaType).
class MediaTypeEnumerator : public UnknownBase, public IEnumMediaTypes {
public:
    MediaTypeEnumerator(PinBase *pin, ULONG position = 0);
    ~MediaTypeEnumerator() override;

    DELEGATE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void **result) override;

    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE **types, ULONG *fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes **result) override;

    static HRESULT Create(PinBase *pin, IEnumMediaTypes **result);

private:
    // Number of types the pin offers now.
    ULONG CountTypes();

    PinBase *pin;
    ULONG position;
    LONG version;
};
