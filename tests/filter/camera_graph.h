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
#include <qedit.h>

// Not in the SDK headers the cross toolchain ships.
inline constexpr GUID kClsidSampleGrabber = {
    0xc1f400a0, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
inline constexpr GUID kClsidNullRenderer = {
    0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
inline constexpr GUID kIidSampleGrabber = {
    0x6b652fff, 0x11fe, 0x4fce, {0x92, 0xad, 0x02, 0x66, 0xb5, 0xd7, 0xc7, 0x8f}};
inline constexpr GUID kIidSampleGrabberCB = {
    0x0579154a, 0x2b53, 0x4994, {0xb0, 0xd0, 0xe7, 0x73, 0x14, 0x8e, 0xff, 0x85}};

// Records what reaches one Sample Grabber: the count, each sample's times
// (when set) and length, and on request a copy of the next sample's bytes.
class FrameCollector : public ISampleGrabberCB {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample *sample) override;
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE *, long) override { return E_NOTIMPL; }

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

// The first pin of `filter` named `name`, with a reference; null when none.
ComPtr<IPin> PinNamed(IBaseFilter *filter, const wchar_t *name);
// The first pin of `filter` with `direction`, with a reference; null when none.
ComPtr<IPin> PinFacing(IBaseFilter *filter, PIN_DIRECTION direction);
