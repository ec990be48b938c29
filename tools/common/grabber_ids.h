// Wine's Sample Grabber and Null Renderer, which the host programs put behind
// the filter's pins: their identifiers are not in the SDK headers the cross
// toolchain ships. And the steps every host program shares: a release that
// also clears the pointer, and a capture graph with the source filter in it.
#pragma once

#include <windows.h>
#include <dshow.h>

inline constexpr GUID kClsidSampleGrabber = {
    0xc1f400a0, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
inline constexpr GUID kClsidNullRenderer = {
    0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
inline constexpr GUID kIidSampleGrabber = {
    0x6b652fff, 0x11fe, 0x4fce, {0x92, 0xad, 0x02, 0x66, 0xb5, 0xd7, 0xc7, 0x8f}};
inline constexpr GUID kIidSampleGrabberCB = {
    0x0579154a, 0x2b53, 0x4994, {0xb0, 0xd0, 0xe7, 0x73, 0x14, 0x8e, 0xff, 0x85}};

template <typename T> void SafeRelease(T *&object) {
    if (object != nullptr)
        object->Release();
    object = nullptr;
}

// A filter graph and a capture graph builder working on it, with `source`
// added under `name`. On failure the caller releases what was made.
inline HRESULT CreateCaptureGraph(IBaseFilter *source, const wchar_t *name, IGraphBuilder *&graph,
                                  ICaptureGraphBuilder2 *&builder) {
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  reinterpret_cast<void **>(&graph));
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                              reinterpret_cast<void **>(&builder));
    if (SUCCEEDED(hr))
        hr = builder->SetFiltergraph(graph);
    if (SUCCEEDED(hr))
        hr = graph->AddFilter(source, name);
    return hr;
}
