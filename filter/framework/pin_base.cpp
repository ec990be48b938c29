// PinBase: IPin connection logic with type agreement, pin information and
// IQualityControl.
#include "filter/framework/pin_base.h"

#include <cstring>
#include <cwchar>

#include "filter/framework/enumerators.h"
#include "filter/framework/filter_base.h"

namespace {
wchar_t *CopyString(const wchar_t *text) {
    if (text == nullptr)
        return nullptr;
    const size_t length = std::wcslen(text) + 1;
    auto *copy = new (std::nothrow) wchar_t[length];
    if (copy != nullptr)
        std::memcpy(copy, text, length * sizeof(wchar_t));
    return copy;
}
} // namespace

PinBase::PinBase(const wchar_t *name, FilterBase *filter, platform::CriticalSection &lock, HRESULT *,
                 const wchar_t *pin, PIN_DIRECTION direction)
    : filterLock(lock), ownerFilter(filter), pinNameCopy(CopyString(pin)), pinDirection(direction), debugName(name) {}

PinBase::~PinBase() {
    if (connectedPin != nullptr)
        connectedPin->Release();
    delete[] pinNameCopy;
}

HRESULT STDMETHODCALLTYPE PinBase::QueryInterface(REFIID iid, void **result) {
    return NonDelegatingQueryInterface(iid, result);
}

ULONG STDMETHODCALLTYPE PinBase::AddRef() {
    return ownerFilter->AddRef();
}

ULONG STDMETHODCALLTYPE PinBase::Release() {
    return ownerFilter->Release();
}

HRESULT STDMETHODCALLTYPE PinBase::NonDelegatingQueryInterface(REFIID iid, void **result) {
    if (result == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IPin) || IsEqualIID(iid, IID_IUnknown))
        return ReturnInterface(static_cast<IPin *>(this), result);
    if (IsEqualIID(iid, IID_IQualityControl))
        return ReturnInterface(static_cast<IQualityControl *>(this), result);
    *result = nullptr;
    return E_NOINTERFACE;
}

HRESULT PinBase::SetMediaType(const AM_MEDIA_TYPE *type) {
    if (type == nullptr)
        return E_POINTER;
    return connectionType.assign(*type);
}

HRESULT PinBase::GetMediaType(int position, AM_MEDIA_TYPE *type) {
    if (type == nullptr)
        return E_POINTER;
    return position < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
}

HRESULT PinBase::CheckConnect(IPin *peer) {
    PIN_DIRECTION peerDirection;
    const HRESULT result = peer->QueryDirection(&peerDirection);
    if (FAILED(result))
        return result;
    return peerDirection == pinDirection ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT PinBase::CompleteConnect(IPin *) {
    return S_OK;
}

HRESULT PinBase::BreakConnect() {
    return S_OK;
}

HRESULT PinBase::Run(REFERENCE_TIME) {
    return S_OK;
}

HRESULT PinBase::AttemptConnection(IPin *peer, const AM_MEDIA_TYPE *type) {
    if (CheckMediaType(type) != S_OK)
        return VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT result = SetMediaType(type);
    if (FAILED(result)) {
        connectionType.clear();
        return result;
    }
    // The peer may ask for our connection details while it accepts.
    connectedPin = peer;
    peer->AddRef();
    result = peer->ReceiveConnection(this, type);
    if (SUCCEEDED(result)) {
        result = CompleteConnect(peer);
        if (SUCCEEDED(result))
            return S_OK;
        peer->Disconnect();
    }
    // CheckConnect's work stays for the next type; Connect undoes it at the end.
    connectedPin->Release();
    connectedPin = nullptr;
    connectionType.clear();
    return result;
}

HRESULT PinBase::TryMediaTypes(IPin *peer, const AM_MEDIA_TYPE *pattern, IEnumMediaTypes *types) {
    types->Reset();
    for (;;) {
        AM_MEDIA_TYPE *type = nullptr;
        ULONG fetched = 0;
        if (types->Next(1, &type, &fetched) != S_OK || fetched != 1 || type == nullptr) {
            DeleteMediaType(type);
            return VFW_E_NO_ACCEPTABLE_TYPES;
        }
        HRESULT result = VFW_E_NO_ACCEPTABLE_TYPES;
        if (pattern == nullptr || MediaTypeMatches(*type, *pattern))
            result = AttemptConnection(peer, type);
        DeleteMediaType(type);
        if (SUCCEEDED(result))
            return result;
    }
}

HRESULT PinBase::AgreeMediaType(IPin *peer, const AM_MEDIA_TYPE *type) {
    if (type != nullptr && !MediaTypeIsPartial(*type))
        return AttemptConnection(peer, type);
    // The downstream pin's preferences first, then ours.
    ComPtr<IEnumMediaTypes> peerTypes;
    if (SUCCEEDED(peer->EnumMediaTypes(peerTypes.put())) && peerTypes) {
        if (SUCCEEDED(TryMediaTypes(peer, type, peerTypes.get())))
            return S_OK;
    }
    ComPtr<IEnumMediaTypes> ownTypes;
    HRESULT result = MediaTypeEnumerator::Create(this, ownTypes.put());
    if (FAILED(result))
        return result;
    return TryMediaTypes(peer, type, ownTypes.get());
}

HRESULT STDMETHODCALLTYPE PinBase::Connect(IPin *peer, const AM_MEDIA_TYPE *type) {
    if (peer == nullptr)
        return E_POINTER;
    DSHOW_TRACE("pin %ls Connect(%p, %p)", pinNameCopy, static_cast<void *>(peer), static_cast<const void *>(type));
    platform::Lock guard(filterLock);
    if (connectedPin != nullptr)
        return VFW_E_ALREADY_CONNECTED;
    if (!ownerFilter->IsStopped())
        return VFW_E_NOT_STOPPED;
    HRESULT result = CheckConnect(peer);
    if (SUCCEEDED(result))
        result = AgreeMediaType(peer, type);
    if (FAILED(result))
        BreakConnect();
    DSHOW_TRACE("pin %ls Connect -> 0x%08lx", pinNameCopy, static_cast<unsigned long>(result));
    return result;
}

HRESULT STDMETHODCALLTYPE PinBase::ReceiveConnection(IPin *peer, const AM_MEDIA_TYPE *type) {
    if (peer == nullptr || type == nullptr)
        return E_POINTER;
    if (pinDirection == PINDIR_OUTPUT)
        return E_UNEXPECTED;
    platform::Lock guard(filterLock);
    if (connectedPin != nullptr)
        return VFW_E_ALREADY_CONNECTED;
    if (!ownerFilter->IsStopped())
        return VFW_E_NOT_STOPPED;
    HRESULT result = CheckConnect(peer);
    if (SUCCEEDED(result)) {
        result = CheckMediaType(type) == S_OK ? SetMediaType(type) : VFW_E_TYPE_NOT_ACCEPTED;
    }
    if (SUCCEEDED(result)) {
        connectedPin = peer;
        peer->AddRef();
        result = CompleteConnect(peer);
        if (SUCCEEDED(result))
            return S_OK;
        connectedPin->Release();
        connectedPin = nullptr;
    }
    BreakConnect();
    connectionType.clear();
    return result;
}

HRESULT STDMETHODCALLTYPE PinBase::Disconnect() {
    platform::Lock guard(filterLock);
    if (!ownerFilter->IsStopped())
        return VFW_E_NOT_STOPPED;
    if (connectedPin == nullptr)
        return S_FALSE;
    const HRESULT result = BreakConnect();
    if (FAILED(result))
        return result;
    connectedPin->Release();
    connectedPin = nullptr;
    connectionType.clear();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinBase::ConnectedTo(IPin **peer) {
    if (peer == nullptr)
        return E_POINTER;
    platform::Lock guard(filterLock);
    *peer = connectedPin;
    if (connectedPin == nullptr)
        return VFW_E_NOT_CONNECTED;
    connectedPin->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinBase::ConnectionMediaType(AM_MEDIA_TYPE *type) {
    if (type == nullptr)
        return E_POINTER;
    platform::Lock guard(filterLock);
    if (connectedPin == nullptr) {
        std::memset(type, 0, sizeof *type);
        return VFW_E_NOT_CONNECTED;
    }
    std::memset(type, 0, sizeof *type);
    return CopyMediaTypeFields(*type, connectionType);
}

HRESULT STDMETHODCALLTYPE PinBase::QueryPinInfo(PIN_INFO *info) {
    if (info == nullptr)
        return E_POINTER;
    info->pFilter = ownerFilter;
    ownerFilter->AddRef();
    std::memset(info->achName, 0, sizeof info->achName);
    if (pinNameCopy != nullptr)
        lstrcpynW(info->achName, pinNameCopy, MAX_PIN_NAME);
    info->dir = pinDirection;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinBase::QueryDirection(PIN_DIRECTION *result) {
    if (result == nullptr)
        return E_POINTER;
    *result = pinDirection;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinBase::QueryId(LPWSTR *id) {
    if (id == nullptr)
        return E_POINTER;
    *id = nullptr;
    const int index = ownerFilter->PinIndex(this);
    if (index < 0)
        return E_FAIL;
    auto *text = static_cast<wchar_t *>(CoTaskMemAlloc(16 * sizeof(wchar_t)));
    if (text == nullptr)
        return E_OUTOFMEMORY;
    std::swprintf(text, 16, L"%d", index + 1);
    *id = text;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinBase::QueryAccept(const AM_MEDIA_TYPE *type) {
    if (type == nullptr)
        return E_POINTER;
    const HRESULT result = CheckMediaType(type);
    return result == S_OK ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE PinBase::EnumMediaTypes(IEnumMediaTypes **result) {
    if (result == nullptr)
        return E_POINTER;
    return MediaTypeEnumerator::Create(this, result);
}

HRESULT STDMETHODCALLTYPE PinBase::QueryInternalConnections(IPin **, ULONG *) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE PinBase::EndOfStream() {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinBase::BeginFlush() {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinBase::EndFlush() {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinBase::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    segmentStart = start;
    segmentStop = stop;
    segmentRate = rate;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinBase::Notify(IBaseFilter *, Quality) {
    return E_FAIL;
}

HRESULT STDMETHODCALLTYPE PinBase::SetSink(IQualityControl *sink) {
    qualitySink = sink;
    return S_OK;
}
