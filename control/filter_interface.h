// FilterInterface<I>: an interface the capture filter embeds and hands out
// from its QueryInterface. IUnknown goes to the filter's controlling unknown,
// so the interface shares the filter's identity and reference count.
#pragma once

#include "filter/camera_filter.h"
#include "filter/framework/framework.h"

template <typename Interface> class FilterInterface : public Interface {
public:
    explicit FilterInterface(CameraFilter &owner) : filter(owner) {}
    FilterInterface(const FilterInterface &) = delete;
    FilterInterface &operator=(const FilterInterface &) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override {
        return filter.Identity()->QueryInterface(iid, result);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return filter.Identity()->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return filter.Identity()->Release(); }

protected:
    ~FilterInterface() = default;
    CameraFilter &filter;
};
