// FilterInterface<I>: an interface the capture filter embeds and hands out
// from its QueryInterface. IUnknown goes to the filter's controlling unknown,
// so the interface shares the filter's identity and reference count.
#pragma once

#include "filter/framework/directshow.h"

class CaptureSourceFilter;

// The filter's controlling unknown (outer object when aggregated).
IUnknown *FilterIdentity(CaptureSourceFilter &filter);

template <typename Interface> class FilterInterface : public Interface {
public:
    explicit FilterInterface(CaptureSourceFilter &owner) : filter(owner) {}
    FilterInterface(const FilterInterface &) = delete;
    FilterInterface &operator=(const FilterInterface &) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override {
        return FilterIdentity(filter)->QueryInterface(iid, result);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return FilterIdentity(filter)->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return FilterIdentity(filter)->Release(); }

protected:
    ~FilterInterface() = default;
    CaptureSourceFilter &filter;
};
