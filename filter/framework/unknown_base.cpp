// The non-delegating reference-counted object base.
#include "filter/framework/unknown_base.h"

UnknownBase::UnknownBase(const wchar_t *name, IUnknown *outer)
    : debugName(name), outerUnknown(outer != nullptr ? outer : InnerUnknown()) {}

UnknownBase::~UnknownBase() = default;

HRESULT STDMETHODCALLTYPE UnknownBase::NonDelegatingQueryInterface(REFIID iid, void **result) {
    if (result == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown))
        return ReturnInterface(InnerUnknown(), result);
    *result = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE UnknownBase::NonDelegatingAddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&referenceCount));
}

ULONG STDMETHODCALLTYPE UnknownBase::NonDelegatingRelease() {
    const LONG count = InterlockedDecrement(&referenceCount);
    if (count != 0)
        return static_cast<ULONG>(count > 0 ? count : 0);
    // Keep the count above zero while the final-release hook runs, so that
    // AddRef/Release pairs inside it cannot delete the object a second time.
    InterlockedExchange(&referenceCount, 1);
    OnFinalRelease();
    delete this;
    return 0;
}
