// SourceStreamPin: an output pin of a SourceFilterBase with its own streaming
// thread that fills samples (FillBuffer) and delivers them downstream while
// the filter is paused or running.
//
// Hooks: FillBuffer (required); OnThreadCreate, OnThreadDestroy and
// OnThreadStartPlay (default S_OK); DecideBufferSize and the format hooks of
// OutputPinBase/PinBase.
//
// Threading: Active/Inactive run under the filter's stateLock. FillBuffer and
// the hooks above run on the streaming thread, never under stateLock. When
// Inactive returns, the thread has ended and no FillBuffer is running.
#pragma once

#include "filter/framework/output_pin_base.h"
#include "filter/framework/source_filter_base.h"
#include "filter/framework/stream_thread.h"

class SourceStreamPin : public OutputPinBase, public StreamThread {
public:
    // Adds itself to `filter`'s pins (failure: *result = E_OUTOFMEMORY).
    SourceStreamPin(const wchar_t *objectName, HRESULT *result, SourceFilterBase *filter, const wchar_t *pinName);
    // Removes itself from the filter's pins. The filter must be stopped by now.
    ~SourceStreamPin() override;

    // Fills an empty sample: S_OK delivers it, S_FALSE ends the stream (end of
    // stream downstream), anything else ends it with EC_ERRORABORT.
    virtual HRESULT FillBuffer(IMediaSample *sample) = 0;

    // Streaming thread hooks.
    virtual HRESULT OnThreadCreate() { return S_OK; }
    virtual HRESULT OnThreadDestroy() { return S_OK; }
    virtual HRESULT OnThreadStartPlay() { return S_OK; }
    // The buffer loop's outcomes, for pins that keep delivery statistics: a
    // filled sample was handed downstream with result `delivered`; or the
    // allocator gave no sample to fill, for reason `failed` (the loop retries
    // after 1 ms).
    virtual void OnSampleDelivered(IMediaSample *, HRESULT) {}
    virtual void OnNoDeliveryBuffer(HRESULT) {}

    // S_FALSE when the filter is active already; S_OK without a thread when
    // unconnected; else commits the allocator, creates the thread, sends INIT
    // (its reply is OnThreadCreate's result) and then PAUSE.
    HRESULT Active() override;
    // Decommits the allocator when connected; then STOP, EXIT and a wait for the thread.
    HRESULT Inactive() override;

    SourceFilterBase *Filter() const { return sourceFilter; }

protected:
    DWORD ThreadProc() override;
    // The buffer loop: S_OK when the stream ended or a delivery was refused,
    // S_FALSE on STOP (left unanswered for ThreadProc), a FillBuffer failure otherwise.
    virtual HRESULT DoBufferProcessingLoop();

    SourceFilterBase *sourceFilter;
};
