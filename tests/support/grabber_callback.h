// The COM side of a test's Sample Grabber callback: it lives as long as the
// test's object holding it, so its reference count is fixed; derived
// callbacks implement SampleCB only.
#pragma once

#include "filter/framework/framework.h"
#include <qedit.h>

class GrabberCallback : public ISampleGrabberCB {
public:
    // IUnknown and ISampleGrabberCB; E_NOINTERFACE for anything else.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE *, long) override { return E_NOTIMPL; }
};
