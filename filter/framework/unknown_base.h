// The reference-counted, aggregatable object base of every COM object in the
// framework: a non-delegating IUnknown plus the outer unknown that an object's
// public IUnknown methods delegate to.
//
// A class built on UnknownBase derives from its COM interfaces too, puts
// DELEGATE_IUNKNOWN in its public section (QueryInterface/AddRef/Release go to
// the outer unknown, which is the object itself when not aggregated) and
// overrides NonDelegatingQueryInterface for its own interfaces, calling the
// base class for the rest. Threading: the count is interlocked.
#pragma once

#include "filter/framework/com_support.h"

// The object's own IUnknown, which never delegates. Its vtable is laid out as
// IUnknown's, so an aggregating outer object can hold it as an IUnknown *.
struct NonDelegatingUnknown {
    virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void **result) = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;
    // Deleting through this interface destroys the whole object.
    virtual ~NonDelegatingUnknown() = default;
};

class UnknownBase : public NonDelegatingUnknown {
public:
    // outer: the controlling unknown when aggregated, nullptr otherwise.
    // objectName: shown by the debug trace only; may be nullptr.
    UnknownBase(const wchar_t *objectName, IUnknown *outer);
    UnknownBase(const UnknownBase &) = delete;
    UnknownBase &operator=(const UnknownBase &) = delete;
    ~UnknownBase() override;

    // E_POINTER for a null result; IUnknown gives the non-delegating unknown;
    // anything else E_NOINTERFACE with *result cleared.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void **result) override;
    ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
    // Deletes the object at zero, after OnFinalRelease.
    ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

    // The unknown that public IUnknown calls go to.
    IUnknown *Owner() const { return outerUnknown; }
    // This object's non-delegating unknown as an IUnknown pointer.
    IUnknown *InnerUnknown() { return reinterpret_cast<IUnknown *>(static_cast<NonDelegatingUnknown *>(this)); }
    LONG ReferenceCount() const { return referenceCount; }
    const wchar_t *ObjectName() const { return debugName; }

protected:
    // Runs once when the count reaches zero, while the whole object still
    // exists (references taken and dropped in here do not delete it again).
    virtual void OnFinalRelease() {}

private:
    const wchar_t *debugName;
    IUnknown *outerUnknown;
    volatile LONG referenceCount = 0;
    LiveObject liveObject;
};

// The public IUnknown of a class built on UnknownBase: every call goes to the
// outer unknown (the object itself when not aggregated).
#define DELEGATE_IUNKNOWN                                                                                              \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override {                                     \
        return Owner()->QueryInterface(iid, result);                                                                   \
    }                                                                                                                  \
    ULONG STDMETHODCALLTYPE AddRef() override {                                                                        \
        return Owner()->AddRef();                                                                                      \
    }                                                                                                                  \
    ULONG STDMETHODCALLTYPE Release() override {                                                                       \
        return Owner()->Release();                                                                                     \
    }
