// Pin lookup, graph and filter creation and event waits for the test graphs.
#include "tests/support/graph_helpers.h"

#include <cwchar>

#include "tests/support/dshow_ids.h"

ComPtr<IPin> PinNamed(IBaseFilter *filter, const wchar_t *name) {
    ComPtr<IEnumPins> pins;
    if (filter == nullptr || FAILED(filter->EnumPins(pins.put())))
        return {};
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.put(), nullptr) == S_OK) {
        PIN_INFO info{};
        if (SUCCEEDED(pin->QueryPinInfo(&info))) {
            if (info.pFilter != nullptr)
                info.pFilter->Release();
            if (std::wcscmp(info.achName, name) == 0)
                return pin;
        }
    }
    return {};
}

ComPtr<IPin> PinFacing(IBaseFilter *filter, PIN_DIRECTION direction) {
    ComPtr<IEnumPins> pins;
    if (filter == nullptr || FAILED(filter->EnumPins(pins.put())))
        return {};
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.put(), nullptr) == S_OK) {
        PIN_DIRECTION facing;
        if (SUCCEEDED(pin->QueryDirection(&facing)) && facing == direction)
            return pin;
    }
    return {};
}

HRESULT CreateClocklessGraph(ComPtr<IGraphBuilder> &graph) {
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.putVoid());
    ComPtr<IMediaFilter> timing;
    if (SUCCEEDED(hr))
        hr = graph.queryTo(IID_IMediaFilter, timing);
    if (SUCCEEDED(hr))
        hr = timing->SetSyncSource(nullptr);
    return hr;
}

HRESULT CreateGrabberAndRenderer(ComPtr<IBaseFilter> &grabber, ComPtr<IBaseFilter> &renderer) {
    HRESULT hr =
        CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, grabber.putVoid());
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(kClsidNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, renderer.putVoid());
    return hr;
}

bool WaitForEvent(IMediaEvent *events, long code, std::uint32_t timeoutMs, LONG_PTR *param1) {
    const DWORD begin = GetTickCount();
    for (;;) {
        long got = 0;
        LONG_PTR first = 0, second = 0;
        if (events->GetEvent(&got, &first, &second, 20) == S_OK) {
            events->FreeEventParams(got, first, second);
            if (got == code) {
                if (param1 != nullptr)
                    *param1 = first;
                return true;
            }
        }
        if (GetTickCount() - begin > timeoutMs)
            return false;
    }
}
