// FilterBase: the filter state machine, clock, graph and IBaseFilter methods.
#include "filter/framework/filter_base.h"

#include <cstring>
#include <cwchar>

#include "filter/framework/enumerators.h"
#include "filter/framework/pin_base.h"

FilterBase::FilterBase(const wchar_t *objectName, IUnknown *outer, REFCLSID id, platform::CriticalSection &lock)
    : UnknownBase(objectName, outer), filterLock(lock), filterClassId(id) {}

FilterBase::~FilterBase() {
    if (referenceClock != nullptr)
        referenceClock->Release();
    CoTaskMemFree(filterName);
}

void FilterBase::OnFinalRelease() {
    if (filterState != State_Stopped)
        Stop();
}

HRESULT STDMETHODCALLTYPE FilterBase::NonDelegatingQueryInterface(REFIID iid, void **result) {
    if (result == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IBaseFilter))
        return ReturnInterface(static_cast<IBaseFilter *>(this), result);
    if (IsEqualIID(iid, IID_IMediaFilter))
        return ReturnInterface(static_cast<IMediaFilter *>(this), result);
    if (IsEqualIID(iid, IID_IPersist))
        return ReturnInterface(static_cast<IPersist *>(this), result);
    if (IsEqualIID(iid, IID_IAMovieSetup))
        return ReturnInterface(static_cast<IAMovieSetup *>(this), result);
    return UnknownBase::NonDelegatingQueryInterface(iid, result);
}

int FilterBase::PinIndex(const PinBase *pin) {
    const int count = GetPinCount();
    for (int i = 0; i < count; ++i)
        if (GetPin(i) == pin)
            return i;
    return -1;
}

HRESULT STDMETHODCALLTYPE FilterBase::GetClassID(CLSID *id) {
    if (id == nullptr)
        return E_POINTER;
    *id = filterClassId;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::Stop() {
    DSHOW_TRACE("filter %p Stop (state %d)", static_cast<void *>(this), static_cast<int>(filterState));
    platform::Lock guard(filterLock);
    HRESULT result = S_OK;
    if (filterState != State_Stopped) {
        const int count = GetPinCount();
        for (int i = 0; i < count; ++i) {
            PinBase *pin = GetPin(i);
            const HRESULT pinResult = pin != nullptr ? pin->Inactive() : S_OK;
            if (FAILED(pinResult) && SUCCEEDED(result))
                result = pinResult;
        }
    }
    filterState = State_Stopped;
    return result;
}

HRESULT STDMETHODCALLTYPE FilterBase::Pause() {
    DSHOW_TRACE("filter %p Pause (state %d)", static_cast<void *>(this), static_cast<int>(filterState));
    platform::Lock guard(filterLock);
    if (filterState == State_Stopped) {
        const int count = GetPinCount();
        for (int i = 0; i < count; ++i) {
            PinBase *pin = GetPin(i);
            const HRESULT result = pin != nullptr ? pin->Active() : S_OK;
            if (FAILED(result)) {
                // Leave no pin half started: undo the ones already active.
                for (int j = i - 1; j >= 0; --j)
                    if (PinBase *done = GetPin(j))
                        done->Inactive();
                return result;
            }
        }
    }
    filterState = State_Paused;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::Run(REFERENCE_TIME start) {
    DSHOW_TRACE("filter %p Run (state %d)", static_cast<void *>(this), static_cast<int>(filterState));
    platform::Lock guard(filterLock);
    if (filterState == State_Stopped) {
        const HRESULT result = Pause();
        // A derived Pause may refuse to leave the stopped state (S_FALSE).
        if (FAILED(result) || filterState == State_Stopped)
            return result;
    }
    startTime = start;
    if (filterState == State_Paused) {
        const int count = GetPinCount();
        for (int i = 0; i < count; ++i) {
            PinBase *pin = GetPin(i);
            const HRESULT result = pin != nullptr ? pin->Run(start) : S_OK;
            if (FAILED(result))
                return result;
        }
    }
    filterState = State_Running;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::GetState(DWORD, FILTER_STATE *result) {
    if (result == nullptr)
        return E_POINTER;
    const FILTER_STATE current = filterState;
    *result = current;
    return (current == State_Paused && liveSource) ? VFW_S_CANT_CUE : S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::SetSyncSource(IReferenceClock *newClock) {
    platform::Lock guard(filterLock);
    if (newClock != nullptr)
        newClock->AddRef();
    if (referenceClock != nullptr)
        referenceClock->Release();
    referenceClock = newClock;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::GetSyncSource(IReferenceClock **result) {
    if (result == nullptr)
        return E_POINTER;
    platform::Lock guard(filterLock);
    *result = referenceClock;
    if (referenceClock != nullptr)
        referenceClock->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::EnumPins(IEnumPins **result) {
    if (result == nullptr)
        return E_POINTER;
    return PinEnumerator::Create(this, result);
}

HRESULT STDMETHODCALLTYPE FilterBase::FindPin(LPCWSTR id, IPin **result) {
    if (result == nullptr)
        return E_POINTER;
    *result = nullptr;
    if (id == nullptr)
        return E_POINTER;
    platform::Lock guard(filterLock);
    const int count = GetPinCount();
    for (int i = 0; i < count; ++i) {
        wchar_t text[16];
        std::swprintf(text, 16, L"%d", i + 1);
        if (std::wcscmp(text, id) == 0) {
            if (PinBase *pin = GetPin(i))
                return ReturnInterface(static_cast<IPin *>(pin), reinterpret_cast<void **>(result));
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT STDMETHODCALLTYPE FilterBase::QueryFilterInfo(FILTER_INFO *info) {
    if (info == nullptr)
        return E_POINTER;
    platform::Lock guard(filterLock);
    std::memset(info->achName, 0, sizeof info->achName);
    if (filterName != nullptr)
        lstrcpynW(info->achName, filterName, MAX_FILTER_NAME);
    info->pGraph = filterGraph;
    if (filterGraph != nullptr)
        filterGraph->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::JoinFilterGraph(IFilterGraph *newGraph, LPCWSTR name) {
    DSHOW_TRACE("filter %p JoinFilterGraph(%p)", static_cast<void *>(this), static_cast<void *>(newGraph));
    platform::Lock guard(filterLock);
    wchar_t *copy = nullptr;
    if (newGraph != nullptr && name != nullptr) {
        const size_t bytes = (std::wcslen(name) + 1) * sizeof(wchar_t);
        copy = static_cast<wchar_t *>(CoTaskMemAlloc(bytes));
        if (copy == nullptr)
            return E_OUTOFMEMORY;
        std::memcpy(copy, name, bytes);
    }
    CoTaskMemFree(filterName);
    filterName = copy;
    filterGraph = newGraph;
    eventSink = nullptr;
    if (newGraph != nullptr) {
        // The sink belongs to the graph, which holds us: keep no reference.
        IMediaEventSink *sink = nullptr;
        if (SUCCEEDED(newGraph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void **>(&sink)))) {
            eventSink = sink;
            sink->Release();
        }
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::QueryVendorInfo(LPWSTR *info) {
    if (info == nullptr)
        return E_POINTER;
    *info = nullptr;
    return E_NOTIMPL;
}

HRESULT FilterBase::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
    IMediaEventSink *sink = eventSink;
    if (sink == nullptr)
        return E_NOTIMPL;
    return sink->Notify(code, param1, param2);
}
