// Test helpers for real Wine filter graphs.
#include "tests/framework/wine_graph.h"

#include "tests/framework/test_source.h"
#include "tools/common/graph_clock.h"

HRESULT STDMETHODCALLTYPE CountingCallback::SampleCB(double, IMediaSample *sample) {
    BYTE *data = nullptr;
    if (sample == nullptr || FAILED(sample->GetPointer(&data))) {
        ++badPattern;
        return S_OK;
    }
    const long length = sample->GetActualDataLength();
    if (length != kTestFrameBytes)
        ++wrongLength;
    std::uint32_t index = 0;
    if (!CheckTestPattern(data, length, index))
        ++badPattern;
    else if (haveLast && index != lastIndex + 1)
        ++outOfOrder;
    lastIndex = index;
    haveLast = true;
    REFERENCE_TIME start = 0, stop = 0;
    if (sample->GetTime(&start, &stop) != S_OK)
        ++withoutTime;
    ++samples;
    return S_OK;
}

bool CountingCallback::WaitForSamples(long count, std::uint32_t timeoutMs) {
    return WaitUntil([&] { return samples >= count; }, timeoutMs);
}

IPin *FindPin(IBaseFilter *filter, PIN_DIRECTION direction) {
    return PinFacing(filter, direction).detach();
}

IBaseFilter *CreateFilter(REFCLSID classId) {
    IBaseFilter *filter = nullptr;
    if (FAILED(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void **>(&filter))))
        return nullptr;
    return filter;
}

bool GrabberGraph::Build(IBaseFilter *sourceFilter) {
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void **>(&graph))))
        return false;
    graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void **>(&control));
    graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void **>(&events));
    source = sourceFilter;
    source->AddRef();
    grabber = CreateFilter(kClsidSampleGrabber);
    renderer = CreateFilter(kClsidNullRenderer);
    if (control == nullptr || events == nullptr || grabber == nullptr || renderer == nullptr)
        return false;
    if (FAILED(graph->AddFilter(source, L"Source")) || FAILED(graph->AddFilter(grabber, L"Grabber")) ||
        FAILED(graph->AddFilter(renderer, L"Null")))
        return false;
    sourceOut = FindPin(source, PINDIR_OUTPUT);
    grabberIn = FindPin(grabber, PINDIR_INPUT);
    grabberOut = FindPin(grabber, PINDIR_OUTPUT);
    rendererIn = FindPin(renderer, PINDIR_INPUT);
    if (sourceOut == nullptr || grabberIn == nullptr || grabberOut == nullptr || rendererIn == nullptr)
        return false;
    ISampleGrabber *sampleGrabber = nullptr;
    if (FAILED(grabber->QueryInterface(kIidSampleGrabber, reinterpret_cast<void **>(&sampleGrabber))))
        return false;
    sampleGrabber->SetBufferSamples(FALSE);
    const HRESULT hr = sampleGrabber->SetCallback(&callback, 0);
    sampleGrabber->Release();
    return SUCCEEDED(hr);
}

HRESULT GrabberGraph::ConnectSource(const AM_MEDIA_TYPE *type) {
    return graph->ConnectDirect(sourceOut, grabberIn, type);
}

HRESULT GrabberGraph::ConnectRenderer() {
    return graph->ConnectDirect(grabberOut, rendererIn, nullptr);
}

void GrabberGraph::Release() {
    if (control != nullptr)
        control->Stop();
    // This graph keeps Wine's system clock (the renderer paces the test source
    // by it), so the clock goes last, once its thread is idle.
    IReferenceClock *clock = TakeGraphClock(graph);
    for (IUnknown **object : {reinterpret_cast<IUnknown **>(&sourceOut), reinterpret_cast<IUnknown **>(&grabberIn),
                              reinterpret_cast<IUnknown **>(&grabberOut), reinterpret_cast<IUnknown **>(&rendererIn),
                              reinterpret_cast<IUnknown **>(&control), reinterpret_cast<IUnknown **>(&events),
                              reinterpret_cast<IUnknown **>(&source), reinterpret_cast<IUnknown **>(&grabber),
                              reinterpret_cast<IUnknown **>(&renderer), reinterpret_cast<IUnknown **>(&graph)}) {
        if (*object != nullptr)
            (*object)->Release();
        *object = nullptr;
    }
    ReleaseClockWhenIdle(clock);
}
