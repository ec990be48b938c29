// ClassFactory: creates the module's objects from their class table entries.
#include "filter/framework/class_factory.h"

#include <new>

ClassFactory::ClassFactory(const FactoryTemplate *factoryEntry) : entry(factoryEntry) {}

HRESULT STDMETHODCALLTYPE ClassFactory::QueryInterface(REFIID iid, void **result) {
    if (result == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory))
        return ReturnInterface(static_cast<IClassFactory *>(this), result);
    *result = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE ClassFactory::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&referenceCount));
}

ULONG STDMETHODCALLTYPE ClassFactory::Release() {
    const LONG count = InterlockedDecrement(&referenceCount);
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count > 0 ? count : 0);
}

HRESULT STDMETHODCALLTYPE ClassFactory::CreateInstance(IUnknown *outer, REFIID iid, void **result) {
    if (result == nullptr)
        return E_POINTER;
    *result = nullptr;
    // An aggregated object hands its outer object nothing but its own IUnknown.
    if (outer != nullptr && !IsEqualIID(iid, IID_IUnknown))
        return E_NOINTERFACE;
    HRESULT hr = S_OK;
    NonDelegatingUnknown *object = entry->create(outer, &hr);
    if (object == nullptr)
        return FAILED(hr) ? hr : E_OUTOFMEMORY;
    if (FAILED(hr)) {
        delete object;
        return hr;
    }
    object->NonDelegatingAddRef();
    hr = object->NonDelegatingQueryInterface(iid, result);
    object->NonDelegatingRelease();
    return hr;
}

HRESULT STDMETHODCALLTYPE ClassFactory::LockServer(BOOL lock) {
    ComModule::LockServer(lock != FALSE);
    return S_OK;
}

HRESULT GetClassObject(const FactoryTemplate *table, int count, REFCLSID classId, REFIID iid, void **result) {
    if (result == nullptr)
        return E_POINTER;
    *result = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory))
        return E_NOINTERFACE;
    for (int i = 0; i < count; ++i) {
        if (!table[i].IsClassId(classId))
            continue;
        auto *factory = new (std::nothrow) ClassFactory(&table[i]);
        if (factory == nullptr)
            return E_OUTOFMEMORY;
        factory->AddRef();
        *result = static_cast<IClassFactory *>(factory);
        return S_OK;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}
