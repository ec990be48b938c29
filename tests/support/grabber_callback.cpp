// QueryInterface of the tests' Sample Grabber callbacks.
#include "tests/support/grabber_callback.h"

#include "tests/support/dshow_ids.h"

HRESULT STDMETHODCALLTYPE GrabberCallback::QueryInterface(REFIID iid, void **result) {
    if (result == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIidSampleGrabberCB)) {
        *result = static_cast<ISampleGrabberCB *>(this);
        return S_OK;
    }
    *result = nullptr;
    return E_NOINTERFACE;
}
