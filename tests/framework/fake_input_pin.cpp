// The scriptable downstream input pin of the connection tests.
#include "tests/framework/fake_input_pin.h"

#include <algorithm>
#include <new>

#include "tests/framework/test_source.h"

namespace {

// IEnumMediaTypes over a copy of the fake pin's offered types.
class TypeList final : public IEnumMediaTypes {
public:
    explicit TypeList(const std::vector<MediaType> &list, ULONG start = 0) : types(list), position(start) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override {
        if (result == nullptr)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumMediaTypes))
            return ReturnInterface(this, result);
        *result = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG count = InterlockedDecrement(&references);
        if (count == 0)
            delete this;
        return static_cast<ULONG>(count);
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE **result, ULONG *fetched) override {
        ULONG done = 0;
        while (done < count && position < types.size())
            result[done++] = CreateMediaTypeCopy(types[position++]);
        if (fetched != nullptr)
            *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        position += count;
        return position <= types.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        position = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes **result) override {
        *result = new TypeList(types, position);
        return S_OK;
    }

private:
    std::vector<MediaType> types;
    ULONG position;
    volatile LONG references = 1;
};

} // namespace

MediaType TaggedType(REFERENCE_TIME tag, const GUID &subtype) {
    MediaType type;
    MakeTestMediaType(type);
    type.subtype = subtype;
    type.formatAs<VIDEOINFOHEADER>()->AvgTimePerFrame = tag;
    return type;
}

FakeInputPin::FakeInputPin() = default;

FakeInputPin::~FakeInputPin() {
    if (allocator != nullptr)
        allocator->Release();
    if (connected != nullptr)
        connected->Release();
}

HRESULT STDMETHODCALLTYPE FakeInputPin::QueryInterface(REFIID iid, void **result) {
    if (result == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPin))
        return ReturnInterface(static_cast<IPin *>(this), result);
    if (memInput && IsEqualIID(iid, IID_IMemInputPin))
        return ReturnInterface(static_cast<IMemInputPin *>(this), result);
    *result = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE FakeInputPin::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references));
}

ULONG STDMETHODCALLTYPE FakeInputPin::Release() {
    const LONG count = InterlockedDecrement(&references);
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

bool FakeInputPin::Accepts(const AM_MEDIA_TYPE &type) const {
    if (acceptNothing)
        return false;
    if (acceptedFrames.empty())
        return true;
    const auto *info = reinterpret_cast<const VIDEOINFOHEADER *>(type.pbFormat);
    return info != nullptr &&
           std::find(acceptedFrames.begin(), acceptedFrames.end(), info->AvgTimePerFrame) != acceptedFrames.end();
}

HRESULT STDMETHODCALLTYPE FakeInputPin::ReceiveConnection(IPin *peer, const AM_MEDIA_TYPE *type) {
    if (peer == nullptr || type == nullptr)
        return E_POINTER;
    if (connected != nullptr)
        return VFW_E_ALREADY_CONNECTED;
    const auto *info = reinterpret_cast<const VIDEOINFOHEADER *>(type->pbFormat);
    proposed.push_back(info != nullptr ? info->AvgTimePerFrame : -1);
    if (!Accepts(*type))
        return VFW_E_TYPE_NOT_ACCEPTED;
    connected = peer;
    peer->AddRef();
    connectionType.assign(*type);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeInputPin::Disconnect() {
    ++disconnects;
    if (connected == nullptr)
        return S_FALSE;
    connected->Release();
    connected = nullptr;
    connectionType.clear();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeInputPin::ConnectedTo(IPin **peer) {
    *peer = connected;
    if (connected == nullptr)
        return VFW_E_NOT_CONNECTED;
    connected->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeInputPin::ConnectionMediaType(AM_MEDIA_TYPE *type) {
    *type = AM_MEDIA_TYPE{};
    return connected != nullptr ? CopyMediaTypeFields(*type, connectionType) : VFW_E_NOT_CONNECTED;
}

HRESULT STDMETHODCALLTYPE FakeInputPin::QueryPinInfo(PIN_INFO *info) {
    *info = PIN_INFO{};
    info->dir = PINDIR_INPUT;
    lstrcpyW(info->achName, L"In");
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeInputPin::QueryDirection(PIN_DIRECTION *direction) {
    *direction = PINDIR_INPUT;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeInputPin::QueryAccept(const AM_MEDIA_TYPE *type) {
    return Accepts(*type) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE FakeInputPin::EnumMediaTypes(IEnumMediaTypes **result) {
    *result = new TypeList(offered);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeInputPin::EndOfStream() {
    ++endOfStreams;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeInputPin::GetAllocator(IMemAllocator **result) {
    *result = allocator;
    if (allocator == nullptr)
        return VFW_E_NO_ALLOCATOR;
    allocator->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeInputPin::NotifyAllocator(IMemAllocator *chosen, BOOL readOnly) {
    notified = chosen;
    notifiedReadOnly = readOnly;
    return notifyResult;
}

HRESULT STDMETHODCALLTYPE FakeInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES *properties) {
    if (!haveRequirements)
        return E_NOTIMPL;
    *properties = requirements;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeInputPin::Receive(IMediaSample *) {
    const long count = received++;
    return (refuseAfter >= 0 && count >= refuseAfter) ? S_FALSE : S_OK;
}

HRESULT STDMETHODCALLTYPE FakeInputPin::ReceiveMultiple(IMediaSample **samples, long count, long *processed) {
    *processed = 0;
    for (long i = 0; i < count; ++i) {
        const HRESULT result = Receive(samples[i]);
        if (result != S_OK)
            return result;
        ++*processed;
    }
    return S_OK;
}
