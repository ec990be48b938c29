// Helpers for building real filter graphs with Wine's DirectShow in the tests:
// the Sample Grabber and Null Renderer identifiers, a counting grabber
// callback, pin lookup and bounded event waits.
#pragma once

#include <atomic>
#include <cstdint>

#include "filter/framework/framework.h"
#include "tests/support/dshow_ids.h"
#include "tests/support/grabber_callback.h"
#include "tests/support/graph_helpers.h"

// The grabber's callback: checks every sample's counter pattern and that the
// counters follow each other, and counts samples. Not a framework object.
class CountingCallback : public GrabberCallback {
public:
    HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample *sample) override;

    // Waits (bounded) until at least `count` samples arrived.
    bool WaitForSamples(long count, std::uint32_t timeoutMs);

    std::atomic<long> samples{0};
    std::atomic<long> badPattern{0};
    std::atomic<long> outOfOrder{0};
    std::atomic<long> wrongLength{0};
    std::atomic<long> withoutTime{0};
    std::atomic<bool> haveLast{false};
    std::atomic<std::uint32_t> lastIndex{0};
};

// The first pin of `filter` with the given direction, with a reference; nullptr if none.
IPin *FindPin(IBaseFilter *filter, PIN_DIRECTION direction);
IBaseFilter *CreateFilter(REFCLSID classId);

// Source → Sample Grabber → Null Renderer in a Wine filter graph.
struct GrabberGraph {
    IGraphBuilder *graph = nullptr;
    IMediaControl *control = nullptr;
    IMediaEvent *events = nullptr;
    IBaseFilter *source = nullptr;
    IBaseFilter *grabber = nullptr;
    IBaseFilter *renderer = nullptr;
    IPin *sourceOut = nullptr, *grabberIn = nullptr, *grabberOut = nullptr, *rendererIn = nullptr;
    CountingCallback callback;

    // Builds the graph around `sourceFilter` (a reference is taken); false on any failure.
    bool Build(IBaseFilter *sourceFilter);
    HRESULT ConnectSource(const AM_MEDIA_TYPE *type = nullptr);
    HRESULT ConnectRenderer();
    void Release();
    ~GrabberGraph() { Release(); }
};
