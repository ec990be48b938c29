// ClassFactory and FactoryTemplate: creation of the module's classes from its
// class table. The module's DllGetClassObject hands out one ClassFactory per
// request (GetClassObject below does the table lookup).
//
// Threading: factories are reference counted with interlocked counts; the
// create routines must be callable from any thread.
#pragma once

#include "filter/framework/com_support.h"
#include "filter/framework/unknown_base.h"

// Creates an object. `outer` is the controlling unknown or nullptr; `result`
// starts as S_OK and receives a construction failure. Returns the object's
// non-delegating unknown (no references counted yet), or nullptr.
using CreateRoutine = NonDelegatingUnknown *(*)(IUnknown *outer, HRESULT *result);
// Called with true when the module loads and false when it unloads.
using InitRoutine = void (*)(BOOL loading, const CLSID *classId);

// Setup data of a filter class (what the module's registration needs of it);
// the pins are described with the SDK's REGFILTERPINS records.
struct FilterSetupData {
    const CLSID *classId;
    const wchar_t *name;
    DWORD merit;
    UINT pinCount;
    const REGFILTERPINS *pins;
};

// One class table entry.
struct FactoryTemplate {
    const wchar_t *name;
    const CLSID *classId;
    CreateRoutine create;
    InitRoutine init;                 // may be nullptr
    const FilterSetupData *setupData; // may be nullptr

    bool IsClassId(REFCLSID id) const { return IsEqualCLSID(*classId, id); }
};

class ClassFactory : public IClassFactory {
public:
    explicit ClassFactory(const FactoryTemplate *entry);
    ClassFactory(const ClassFactory &) = delete;
    ClassFactory &operator=(const ClassFactory &) = delete;
    virtual ~ClassFactory() = default;

    // IUnknown and IClassFactory; E_POINTER, E_NOINTERFACE with a null result.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    // Deletes the factory at zero.
    ULONG STDMETHODCALLTYPE Release() override;

    // E_POINTER for a null result (which is cleared otherwise); an outer unknown
    // with any interface but IUnknown gives E_NOINTERFACE. A construction
    // failure deletes the new object and is returned; no object and no failure
    // gives E_OUTOFMEMORY. Else the object is queried for `iid`.
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID iid, void **result) override;
    // Counts module server locks; S_OK.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

    const FactoryTemplate *Template() const { return entry; }

private:
    const FactoryTemplate *entry;
    volatile LONG referenceCount = 0;
    LiveObject liveObject;
};

// DllGetClassObject over a class table: E_POINTER for a null result;
// E_NOINTERFACE for interfaces other than IUnknown and IClassFactory;
// CLASS_E_CLASSNOTAVAILABLE for a class not in the table; E_OUTOFMEMORY.
HRESULT GetClassObject(const FactoryTemplate *table, int count, REFCLSID classId, REFIID iid, void **result);
