// How a host ends a filter graph's reference clock without hanging under Wine.
//
// Wine 8.0's system clock tells its advise thread to stop, and the thread
// checks for that only after a wait, never before one. If the clock's last
// reference goes while the thread is between two rounds (just after Stop
// unadvised a renderer, on a busy machine), the stop signal is lost, the
// thread waits forever, and so does the Release that joins it. So a host
// keeps its own reference to the clock, lets the graph and its filters go,
// then hands the clock one advise that is due at once and waits for it
// (bounded): the clock's thread signals it and goes straight into its wait,
// where the stop reaches it.
#pragma once

#include <cstdio>

#ifndef NO_DSHOW_STRSAFE
#define NO_DSHOW_STRSAFE
#endif
#include <windows.h>
#include <dshow.h>

// The graph's reference clock, with a reference; nullptr when it has none.
inline IReferenceClock *TakeGraphClock(IUnknown *graph) {
    IMediaFilter *timing = nullptr;
    IReferenceClock *clock = nullptr;
    if (graph != nullptr && SUCCEEDED(graph->QueryInterface(IID_IMediaFilter, reinterpret_cast<void **>(&timing)))) {
        if (FAILED(timing->GetSyncSource(&clock)))
            clock = nullptr;
        timing->Release();
    }
    return clock;
}

// Releases the caller's reference to `clock` (from TakeGraphClock), once its
// advise thread is idle; call it after the graph and its filters are released.
inline void ReleaseClockWhenIdle(IReferenceClock *clock) {
    if (clock == nullptr)
        return;
    HANDLE due = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    REFERENCE_TIME now = 0;
    DWORD_PTR cookie = 0;
    // The clock refuses a time at or before zero; "now" is due at once.
    if (due == nullptr || FAILED(clock->GetTime(&now)) ||
        FAILED(clock->AdviseTime(now, 0, reinterpret_cast<HEVENT>(due), &cookie)) ||
        WaitForSingleObject(due, 5000) != WAIT_OBJECT_0)
        std::fprintf(stderr, "the graph's clock did not answer an advise that was due\n");
    clock->Release();
    if (due != nullptr)
        CloseHandle(due);
}
