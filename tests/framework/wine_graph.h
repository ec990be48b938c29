// Helpers for building real filter graphs with Wine's DirectShow in the tests:
// the Sample Grabber and Null Renderer identifiers, a counting grabber
// callback, pin lookup and bounded event waits.
#pragma once

#include <atomic>
#include <cstdint>

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

// The grabber's callback: checks every sample's counter pattern and that the
// counters follow each other, and counts samples. Not a framework object.
class CountingCallback : public ISampleGrabberCB {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample *sample) override;
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE *, long) override { return E_NOTIMPL; }

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
// Waits for event `code` on the graph, at most timeoutMs; gives its first parameter.
bool WaitForEvent(IMediaEvent *events, long code, std::uint32_t timeoutMs, LONG_PTR *param1 = nullptr);

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
