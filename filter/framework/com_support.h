// Small COM helpers: an owning interface pointer, the module-wide live-object
// and server-lock counts behind DllCanUnloadNow, the module handle, and the
// framework's debug trace.
//
// Threading: the counters are atomic; ComPtr is as thread-safe as a raw pointer.
#pragma once

#include <utility>

#include "filter/framework/directshow.h"

// Owns one reference to a COM interface and releases it exactly once.
template <typename T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Adds a reference: the caller keeps its own.
    explicit ComPtr(T *pointer) : object(pointer) {
        if (object != nullptr)
            object->AddRef();
    }
    ComPtr(const ComPtr &other) : ComPtr(other.object) {}
    ComPtr(ComPtr &&other) noexcept : object(std::exchange(other.object, nullptr)) {}
    ComPtr &operator=(const ComPtr &other) {
        reset(other.object);
        return *this;
    }
    ComPtr &operator=(ComPtr &&other) noexcept {
        if (this != &other)
            attach(std::exchange(other.object, nullptr));
        return *this;
    }
    ~ComPtr() { release(); }

    T *get() const { return object; }
    T *operator->() const { return object; }
    explicit operator bool() const { return object != nullptr; }

    // Releases the current reference and returns the slot for an out-parameter.
    T **put() {
        release();
        return &object;
    }
    void **putVoid() { return reinterpret_cast<void **>(put()); }

    // Replaces the pointer, adding a reference to the new one.
    void reset(T *pointer = nullptr) {
        if (pointer != nullptr)
            pointer->AddRef();
        release();
        object = pointer;
    }
    // Takes over a reference the caller already owns.
    void attach(T *pointer) {
        release();
        object = pointer;
    }
    // Gives up ownership without releasing.
    T *detach() { return std::exchange(object, nullptr); }

    // Queries the held object for another interface.
    template <typename U> HRESULT queryTo(REFIID iid, ComPtr<U> &target) const {
        if (object == nullptr)
            return E_POINTER;
        return object->QueryInterface(iid, target.putVoid());
    }

private:
    void release() {
        if (object != nullptr)
            std::exchange(object, nullptr)->Release();
    }
    T *object = nullptr;
};

// Module-wide counts for DllCanUnloadNow: every live COM object of the module
// and every IClassFactory::LockServer(TRUE) not yet undone.
class ComModule {
public:
    static long LiveObjectCount();
    static long ServerLockCount();
    static void AddLiveObject();
    static void RemoveLiveObject();
    static void LockServer(bool lock);
    // S_OK when no object is alive and no lock is held, else S_FALSE.
    static HRESULT CanUnloadNow();

    // The module (DLL or program) holding the framework: the handle DllMain
    // recorded, else the module that contains this code.
    static HINSTANCE Instance();
    static void SetInstance(HINSTANCE instance);
};

// Counts its owner as a live object of the module for as long as it exists.
class LiveObject {
public:
    LiveObject() { ComModule::AddLiveObject(); }
    ~LiveObject() { ComModule::RemoveLiveObject(); }
    LiveObject(const LiveObject &) : LiveObject() {}
    LiveObject &operator=(const LiveObject &) { return *this; }
};

// Hands out `object` through an interface out-pointer with one reference added.
inline HRESULT ReturnInterface(IUnknown *object, void **result) {
    *result = object;
    object->AddRef();
    return S_OK;
}

// Debug trace, off by default. ORISCOPE_DSHOW_TRACE=stderr writes to stderr,
// any other non-empty value to OutputDebugString.
namespace trace {
bool Enabled();
void Write(const char *format, ...) __attribute__((format(printf, 1, 2)));
} // namespace trace

#define DSHOW_TRACE(...)                                                                                               \
    do {                                                                                                               \
        if (trace::Enabled())                                                                                          \
            trace::Write(__VA_ARGS__);                                                                                 \
    } while (0)
