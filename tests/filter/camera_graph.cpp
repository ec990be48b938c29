// Wine filter graphs with grabber branches for the filter tests.
#include "tests/filter/camera_graph.h"

#include <cwchar>

HRESULT STDMETHODCALLTYPE FrameCollector::SampleCB(double, IMediaSample *sample) {
    if (sample == nullptr)
        return S_OK;
    const long length = sample->GetActualDataLength();
    REFERENCE_TIME start = 0, stop = 0;
    const bool timed = sample->GetTime(&start, &stop) == S_OK;
    std::lock_guard<std::mutex> guard(lock);
    if (timed)
        times.emplace_back(start, stop);
    else
        ++untimed;
    if (copyWanted) {
        BYTE *data = nullptr;
        if (SUCCEEDED(sample->GetPointer(&data)) && data != nullptr && length > 0) {
            copy.assign(data, data + length);
            copyWanted = false;
            copyDone = true;
        }
    }
    lastLength = length;
    ++samples;
    return S_OK;
}

bool FrameCollector::WaitForSamples(long count, std::uint32_t timeoutMs) const {
    return WaitUntil([&] { return samples >= count; }, timeoutMs);
}

bool FrameCollector::CopyNextSample(std::vector<std::uint8_t> &bytes, std::uint32_t timeoutMs) {
    {
        std::lock_guard<std::mutex> guard(lock);
        copyWanted = true;
        copyDone = false;
    }
    const DWORD begin = GetTickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(lock);
            if (copyDone) {
                bytes.swap(copy);
                copy.clear();
                return true;
            }
        }
        if (GetTickCount() - begin > timeoutMs)
            break;
        Sleep(5);
    }
    std::lock_guard<std::mutex> guard(lock);
    copyWanted = false;
    return false;
}

std::vector<std::pair<REFERENCE_TIME, REFERENCE_TIME>> FrameCollector::Times() {
    std::lock_guard<std::mutex> guard(lock);
    return times;
}

void FrameCollector::Clear() {
    std::lock_guard<std::mutex> guard(lock);
    times.clear();
    samples = 0;
    untimed = 0;
}

HRESULT CameraGraph::Create() {
    HRESULT hr = CreateClocklessGraph(graph);
    if (FAILED(hr))
        return hr;
    hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                          builder.putVoid());
    if (SUCCEEDED(hr))
        hr = builder->SetFiltergraph(graph.get());
    if (SUCCEEDED(hr))
        hr = graph.queryTo(IID_IMediaControl, control);
    if (SUCCEEDED(hr))
        hr = graph.queryTo(IID_IMediaEvent, events);
    return hr;
}

HRESULT CameraGraph::AddSource(IBaseFilter *filter) {
    source.reset(filter);
    return graph->AddFilter(filter, L"Oriscope");
}

HRESULT CameraGraph::AddBranch(GrabberBranch &branch, const wchar_t *name) {
    HRESULT hr = CreateGrabberAndRenderer(branch.grabber, branch.renderer);
    if (FAILED(hr))
        return hr;
    wchar_t rendererName[64];
    std::swprintf(rendererName, 64, L"%ls renderer", name);
    hr = graph->AddFilter(branch.grabber.get(), name);
    if (SUCCEEDED(hr))
        hr = graph->AddFilter(branch.renderer.get(), rendererName);
    ComPtr<ISampleGrabber> sampleGrabber;
    if (SUCCEEDED(hr))
        hr = branch.grabber.queryTo(kIidSampleGrabber, sampleGrabber);
    if (SUCCEEDED(hr))
        hr = sampleGrabber->SetBufferSamples(FALSE);
    if (SUCCEEDED(hr))
        hr = sampleGrabber->SetCallback(&branch.collector, 0);
    return hr;
}

HRESULT CameraGraph::Render(const GUID &category, GrabberBranch &branch) {
    return builder->RenderStream(&category, &MEDIATYPE_Video, source.get(), branch.grabber.get(),
                                 branch.renderer.get());
}

HRESULT CameraGraph::Connect(IPin *pin, GrabberBranch &branch) {
    ComPtr<IPin> grabberIn = PinFacing(branch.grabber.get(), PINDIR_INPUT);
    ComPtr<IPin> grabberOut = PinFacing(branch.grabber.get(), PINDIR_OUTPUT);
    ComPtr<IPin> rendererIn = PinFacing(branch.renderer.get(), PINDIR_INPUT);
    if (!grabberIn || !grabberOut || !rendererIn)
        return E_FAIL;
    HRESULT hr = graph->ConnectDirect(pin, grabberIn.get(), nullptr);
    if (SUCCEEDED(hr))
        hr = graph->ConnectDirect(grabberOut.get(), rendererIn.get(), nullptr);
    return hr;
}

bool CameraGraph::WaitForEvent(long code, std::uint32_t timeoutMs) {
    return ::WaitForEvent(events.get(), code, timeoutMs);
}

OAFilterState CameraGraph::State(std::uint32_t timeoutMs) {
    OAFilterState state = -1;
    control->GetState(static_cast<LONG>(timeoutMs), &state);
    return state;
}

void CameraGraph::Release() {
    if (control)
        control->Stop();
    source.reset();
    events.reset();
    control.reset();
    builder.reset();
    graph.reset();
}
