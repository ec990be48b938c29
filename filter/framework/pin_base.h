// PinBase: IPin and IQualityControl for a pin owned by a FilterBase. The pin's
// AddRef/Release go to the owner filter (pins live exactly as long as their
// filter); QueryInterface answers the pin's own interfaces.
//
// Hooks: CheckMediaType, SetMediaType, GetMediaType(position) for the formats;
// CheckConnect, CompleteConnect, BreakConnect around a connection; Active,
// Inactive, Run for the filter's state changes; Notify for quality messages.
//
// Threading: connection, disconnection and the format hooks run under the
// owner's filter lock (`lock`). The hooks are called with it held; they may
// take it again (it is recursive).
#pragma once

#include "filter/framework/com_support.h"
#include "filter/framework/media_type.h"
#include "platform/platform.h"

class FilterBase;

class PinBase : public IPin, public IQualityControl {
public:
    // owner: the filter (not referenced; it owns the pin). lock: the owner's
    // filter lock. pinName is copied. result is left untouched here: derived
    // constructors report their failures through it.
    PinBase(const wchar_t *objectName, FilterBase *owner, platform::CriticalSection &lock, HRESULT *result,
            const wchar_t *pinName, PIN_DIRECTION direction);
    PinBase(const PinBase &) = delete;
    PinBase &operator=(const PinBase &) = delete;
    virtual ~PinBase();

    // --- IUnknown: references go to the owner ---------------------------------
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IPin, IQualityControl and IUnknown (as IPin). E_POINTER for a null
    // result; E_NOINTERFACE clears *result.
    virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void **result);

    // --- Format hooks ---------------------------------------------------------
    // S_OK when the pin accepts `type` (never null when called by the framework).
    virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE *type) = 0;
    // Stores `type` as the connection type; E_OUTOFMEMORY when it cannot be copied.
    // Derived pins call this first, then check what was stored.
    virtual HRESULT SetMediaType(const AM_MEDIA_TYPE *type);
    // Fills the empty (zeroed) `type` with the type at `position` (0, 1, ...);
    // VFW_S_NO_MORE_ITEMS past the last one. The default offers none.
    virtual HRESULT GetMediaType(int position, AM_MEDIA_TYPE *type);

    // --- Connection hooks (filter lock held) -----------------------------------
    // Checks the peer before any type is tried: its direction must be the opposite.
    virtual HRESULT CheckConnect(IPin *peer);
    // After the peer accepted the type (output pins negotiate the allocator here).
    virtual HRESULT CompleteConnect(IPin *peer);
    // Undoes CheckConnect/CompleteConnect; called on disconnection and on failed attempts.
    virtual HRESULT BreakConnect();

    // --- State hooks, called by the filter under its lock -------------------------
    virtual HRESULT Active() { return S_OK; }
    virtual HRESULT Inactive() { return S_OK; }
    virtual HRESULT Run(REFERENCE_TIME start);

    // --- IPin -------------------------------------------------------------------
    // With a null or partial type the pin agrees a type itself: first the peer's
    // EnumMediaTypes, then its own GetMediaType positions, each through
    // CheckMediaType and the peer's ReceiveConnection.
    HRESULT STDMETHODCALLTYPE Connect(IPin *peer, const AM_MEDIA_TYPE *type) override;
    // Output pins answer E_UNEXPECTED: they connect, they are not connected to.
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin *peer, const AM_MEDIA_TYPE *type) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin **peer) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE *type) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO *info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION *direction) override;
    // The pin's 1-based position in its filter as a decimal string ("1", "2", ...).
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR *id) override;
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE *type) override;
    // A new enumerator over GetMediaType positions.
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes **result) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin **pins, ULONG *count) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // --- IQualityControl: E_FAIL (a quality message changes nothing) and a stored sink
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter *sender, Quality quality) override;
    HRESULT STDMETHODCALLTYPE SetSink(IQualityControl *sink) override;

    // --- For derived pins and the framework ------------------------------------
    bool IsConnected() const { return connectedPin != nullptr; }
    IPin *GetConnected() const { return connectedPin; }
    FilterBase *Owner() const { return ownerFilter; }
    const wchar_t *Name() const { return pinNameCopy; }
    PIN_DIRECTION Direction() const { return pinDirection; }
    // The connection type (empty while unconnected); its format block is
    // connectionType.pbFormat / cbFormat, or connectionType.formatAs<T>().
    const MediaType &ConnectionType() const { return connectionType; }
    // Enumerators made before a change of the offered types report VFW_E_ENUM_OUT_OF_SYNC.
    LONG GetMediaTypeVersion() const { return typeVersion; }
    void IncrementTypeVersion() { InterlockedIncrement(&typeVersion); }

protected:
    // One connection attempt with a complete type: CheckMediaType, SetMediaType,
    // the peer's ReceiveConnection, then CompleteConnect. Undone on failure.
    virtual HRESULT AttemptConnection(IPin *peer, const AM_MEDIA_TYPE *type);
    // Tries every type of `types` that matches `pattern` (nullptr: any type).
    HRESULT TryMediaTypes(IPin *peer, const AM_MEDIA_TYPE *pattern, IEnumMediaTypes *types);
    // The whole type agreement of Connect.
    HRESULT AgreeMediaType(IPin *peer, const AM_MEDIA_TYPE *type);

    platform::CriticalSection &filterLock;
    FilterBase *ownerFilter;
    wchar_t *pinNameCopy = nullptr;
    PIN_DIRECTION pinDirection;
    IPin *connectedPin = nullptr; // one reference held while connected
    MediaType connectionType;
    IQualityControl *qualitySink = nullptr; // no reference, as documented
    REFERENCE_TIME segmentStart = 0;
    REFERENCE_TIME segmentStop = 0;
    double segmentRate = 1.0;
    const wchar_t *debugName;

private:
    volatile LONG typeVersion = 1;
    LiveObject liveObject;
};
