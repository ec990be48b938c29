// FilterBase: IBaseFilter (with IMediaFilter and IPersist) and IAMovieSetup
// over an aggregatable object. It owns the filter state machine, the
// reference clock, the start time, the class ID, the graph and its event sink,
// and drives its pins through PinBase::Active/Inactive/Run.
//
// SourceFilterBase adds the growable pin array and the `stateLock` that
// FilterBase uses as its filter lock.
//
// Threading: every state change, pin activation and the graph/clock members
// are guarded by the filter lock. GetState, NotifyEvent and the pin lookups may
// be called from any thread; a streaming thread never needs the filter lock.
#pragma once

#include "filter/framework/com_support.h"
#include "filter/framework/unknown_base.h"
#include "platform/platform.h"

class PinBase;

class FilterBase : public UnknownBase, public IBaseFilter, public IAMovieSetup {
public:
    // lock: the filter lock; it must outlive the filter (the derived class may
    // pass one of its own members: FilterBase only stores the reference).
    FilterBase(const wchar_t *objectName, IUnknown *outer, REFCLSID classId, platform::CriticalSection &lock);
    ~FilterBase() override;

    DELEGATE_IUNKNOWN
    // IBaseFilter, IMediaFilter, IPersist, IAMovieSetup and IUnknown.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void **result) override;

    // --- Pin access, given by the derived class -------------------------------
    virtual int GetPinCount() = 0;
    // The pin at 0-based index n, nullptr when out of range. No reference added.
    virtual PinBase *GetPin(int n) = 0;
    // Changes whenever pins are added or removed; enumerators compare it.
    virtual LONG GetPinVersion() { return pinVersion; }
    // 0-based index of `pin`, or -1.
    int PinIndex(const PinBase *pin);

    // --- IPersist / IMediaFilter ----------------------------------------------
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID *classId) override;
    // Deactivates every pin, then stopped. The first pin failure is returned.
    HRESULT STDMETHODCALLTYPE Stop() override;
    // From stopped: activates every pin (undone on failure), then paused.
    HRESULT STDMETHODCALLTYPE Pause() override;
    // From stopped: Pause() first (virtual). Stores the start time, runs every pin, then running.
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    // VFW_S_CANT_CUE while paused when the filter is a live source, else S_OK.
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeoutMs, FILTER_STATE *state) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock *clock) override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock **clock) override;

    // --- IBaseFilter ----------------------------------------------------------
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins **result) override;
    // Finds a pin by its identifier (see PinBase::QueryId); VFW_E_NOT_FOUND otherwise.
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin **pin) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO *info) override;
    // Keeps the graph and its IMediaEventSink without references (the graph
    // owns the filter); nullptr leaves the graph.
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph *graph, LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR *info) override;

    // --- IAMovieSetup: no setup data here, so both do nothing ---------------
    HRESULT STDMETHODCALLTYPE Register() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Unregister() override { return S_FALSE; }

    // --- For derived classes and pins -----------------------------------------
    // Sends an event to the graph's event sink; E_NOTIMPL without a graph.
    HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);
    bool IsActive() const { return filterState != State_Stopped; }
    bool IsStopped() const { return filterState == State_Stopped; }
    FILTER_STATE State() const { return filterState; }
    platform::CriticalSection &FilterLock() { return filterLock; }
    IFilterGraph *Graph() const { return filterGraph; }
    REFERENCE_TIME StartTime() const { return startTime; }
    IReferenceClock *Clock() const { return referenceClock; }
    // A live source answers GetState with VFW_S_CANT_CUE while paused, so the
    // graph does not wait for a preroll sample that only running produces.
    void SetLiveSource(bool live) { liveSource = live; }
    bool IsLiveSource() const { return liveSource; }

protected:
    // A filter released while not stopped is stopped here, while it is whole.
    void OnFinalRelease() override;
    void PinsChanged() { InterlockedIncrement(&pinVersion); }

    platform::CriticalSection &filterLock;
    volatile FILTER_STATE filterState = State_Stopped;
    REFERENCE_TIME startTime = 0;
    IReferenceClock *referenceClock = nullptr; // one reference held
    IFilterGraph *filterGraph = nullptr;       // no reference (the graph owns us)
    IMediaEventSink *eventSink = nullptr;      // no reference, as the graph
    wchar_t *filterName = nullptr;             // the name given by JoinFilterGraph
    CLSID filterClassId;

private:
    volatile LONG pinVersion = 1;
    bool liveSource = false;
};
