// Helpers for the tests' Wine filter graphs: pin lookup, a graph without a
// reference clock, Sample Grabber + Null Renderer pairs, and bounded waits.
#pragma once

#include <cstdint>

#include "filter/framework/framework.h"

// The first pin of `filter` named `name`, with a reference; null when none.
ComPtr<IPin> PinNamed(IBaseFilter *filter, const wchar_t *name);
// The first pin of `filter` with `direction`, with a reference; null when none.
ComPtr<IPin> PinFacing(IBaseFilter *filter, PIN_DIRECTION direction);

// A new filter graph with no reference clock, so samples are rendered as they
// come, whatever their time stamps.
HRESULT CreateClocklessGraph(ComPtr<IGraphBuilder> &graph);
// A new Sample Grabber and a new Null Renderer (not yet in a graph).
HRESULT CreateGrabberAndRenderer(ComPtr<IBaseFilter> &grabber, ComPtr<IBaseFilter> &renderer);

// Waits for event `code` on the graph, at most timeoutMs; gives its first parameter.
bool WaitForEvent(IMediaEvent *events, long code, std::uint32_t timeoutMs, LONG_PTR *param1 = nullptr);

// Polls `done` every few milliseconds for at most timeoutMs.
template <typename Predicate> bool WaitUntil(Predicate done, std::uint32_t timeoutMs) {
    const DWORD begin = GetTickCount();
    while (!done()) {
        if (GetTickCount() - begin > timeoutMs)
            return false;
        Sleep(5);
    }
    return true;
}
