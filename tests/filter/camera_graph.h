// Real Wine filter graphs around the camera filter for the tests and the
// soak: Sample Grabber + Null Renderer branches that record every sample,
// built by the capture graph builder or connected directly, without a
// reference clock so samples are rendered as they come.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "filter/framework/framework.h"
#include "tests/support/dshow_ids.h"
#include "tests/support/grabber_callback.h"
#include "tests/support/graph_helpers.h"

// Records what reaches one Sample Grabber: the count, each sample's times
// (when set) and length, and on request a copy of the next sample's bytes.
class FrameCollector : public GrabberCallback {
public:
    HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample *sample) override;

    // True once `count` samples have arrived in all, within timeoutMs.
    bool WaitForSamples(long count, std::uint32_t timeoutMs) const;
    // Copies the next sample that arrives; false when none came within timeoutMs.
    bool CopyNextSample(std::vector<std::uint8_t> &bytes, std::uint32_t timeoutMs);
    // The times of the samples that carried them, in arrival order.
    std::vector<std::pair<REFERENCE_TIME, REFERENCE_TIME>> Times();
    void Clear();

    std::atomic<long> samples{0};
    std::atomic<long> untimed{0};
    std::atomic<long> lastLength{-1};

private:
    std::mutex lock;
    std::vector<std::pair<REFERENCE_TIME, REFERENCE_TIME>> times;
    bool copyWanted = false;
    bool copyDone = false;
    std::vector<std::uint8_t> copy;
};

// One Sample Grabber followed by a Null Renderer.
struct GrabberBranch {
    ComPtr<IBaseFilter> grabber;
    ComPtr<IBaseFilter> renderer;
    FrameCollector collector;
    // Drops the filters (with the graph gone, they release our allocators).
    void Release() {
        grabber.reset();
        renderer.reset();
    }
};

class CameraGraph {
public:
    CameraGraph() = default;
    CameraGraph(const CameraGraph &) = delete;
    CameraGraph &operator=(const CameraGraph &) = delete;
    ~CameraGraph() { Release(); }

    // The filter graph, its capture graph builder and controls, no clock.
    HRESULT Create();
    HRESULT AddSource(IBaseFilter *filter);
    // Creates and adds a grabber branch whose collector records the samples.
    HRESULT AddBranch(GrabberBranch &branch, const wchar_t *name);
    // ICaptureGraphBuilder2::RenderStream from the source's pin of `category`.
    HRESULT Render(const GUID &category, GrabberBranch &branch);
    // IGraphBuilder::ConnectDirect from `pin` into the branch.
    HRESULT Connect(IPin *pin, GrabberBranch &branch);
    // Waits for event `code` at most timeoutMs.
    bool WaitForEvent(long code, std::uint32_t timeoutMs);
    // The graph's state after at most timeoutMs.
    OAFilterState State(std::uint32_t timeoutMs = 2000);
    // Stops the graph and releases everything.
    void Release();

    ComPtr<IGraphBuilder> graph;
    ComPtr<ICaptureGraphBuilder2> builder;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    ComPtr<IBaseFilter> source;
};
