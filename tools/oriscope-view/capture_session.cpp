// Device enumeration and the preview graph of oriscope-view.
#include "capture_session.h"

#include <olectl.h>

#include "tools/common/graph_clock.h"

std::vector<VideoDevice> ListVideoDevices() {
    std::vector<VideoDevice> devices;
    Ref<ICreateDevEnum> enumerator;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                enumerator.putVoid())))
        return devices;
    Ref<IEnumMoniker> monikers;
    // S_FALSE: the category is empty.
    if (enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.put(), 0) != S_OK)
        return devices;
    for (;;) {
        VideoDevice device;
        if (monikers->Next(1, device.moniker.put(), nullptr) != S_OK)
            break;
        Ref<IPropertyBag> bag;
        VARIANT name;
        VariantInit(&name);
        if (SUCCEEDED(device.moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.putVoid())) &&
            SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR)
            device.name = name.bstrVal;
        VariantClear(&name);
        devices.push_back(std::move(device));
    }
    return devices;
}

HRESULT CaptureSession::Open(IMoniker *device, HWND videoArea, int resolution) {
    Close();
    HRESULT result = device->BindToObject(nullptr, nullptr, IID_IBaseFilter, source.putVoid());
    if (SUCCEEDED(result)) {
        // Readout settings apply when the graph starts, so they go first.
        if (SUCCEEDED(source->QueryInterface(IID_ICameraSettings, settings.putVoid())) && resolution >= 0)
            settings->SetCaptureResolution(resolution);
        result = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.putVoid());
    }
    if (SUCCEEDED(result))
        result = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                                  builder.putVoid());
    if (SUCCEEDED(result))
        result = builder->SetFiltergraph(graph.get());
    if (SUCCEEDED(result))
        result = graph->AddFilter(source.get(), L"Camera");
    if (SUCCEEDED(result))
        result = builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, source.get(), nullptr, nullptr);
    if (SUCCEEDED(result))
        result = graph->QueryInterface(IID_IMediaControl, control.putVoid());
    if (SUCCEEDED(result) && SUCCEEDED(graph->QueryInterface(IID_IVideoWindow, videoWindow.putVoid()))) {
        videoWindow->put_Owner(reinterpret_cast<OAHWND>(videoArea));
        videoWindow->put_WindowStyle(WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
        FitVideo(videoArea);
        videoWindow->put_Visible(OATRUE);
    }
    if (SUCCEEDED(result))
        result = control->Run();
    if (FAILED(result))
        Close();
    return result;
}

void CaptureSession::FitVideo(HWND videoArea) {
    if (!videoWindow)
        return;
    RECT area{};
    GetClientRect(videoArea, &area);
    videoWindow->SetWindowPosition(0, 0, area.right, area.bottom);
}

void CaptureSession::Close() {
    if (control)
        control->Stop();
    // The graph's clock goes last, when its thread is idle (see graph_clock.h).
    IReferenceClock *clock = TakeGraphClock(graph.get());
    if (videoWindow) {
        // The renderer's window must leave ours before ours goes away.
        videoWindow->put_Visible(OAFALSE);
        videoWindow->put_Owner(0);
    }
    videoWindow.reset();
    control.reset();
    settings.reset();
    builder.reset();
    graph.reset();
    source.reset();
    ReleaseClockWhenIdle(clock);
}

HRESULT CaptureSession::ShowProperties(HWND owner, const wchar_t *caption) {
    if (!source)
        return E_UNEXPECTED;
    Ref<ISpecifyPropertyPages> specify;
    HRESULT result = source->QueryInterface(IID_ISpecifyPropertyPages, specify.putVoid());
    if (FAILED(result))
        return result;
    CAUUID pages{};
    result = specify->GetPages(&pages);
    if (FAILED(result))
        return result;
    IUnknown *objects[] = {source.get()};
    result = OleCreatePropertyFrame(owner, 0, 0, caption, 1, objects, pages.cElems, pages.pElems, 0, 0, nullptr);
    CoTaskMemFree(pages.pElems);
    return result;
}
