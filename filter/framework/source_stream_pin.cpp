// SourceStreamPin: activation, the streaming thread procedure and the buffer loop.
#include "filter/framework/source_stream_pin.h"

SourceStreamPin::SourceStreamPin(const wchar_t *objectName, HRESULT *result, SourceFilterBase *owner,
                                 const wchar_t *pinName)
    : OutputPinBase(objectName, owner, owner->FilterLock(), result, pinName), sourceFilter(owner) {
    const HRESULT added = owner->AddPin(this);
    if (FAILED(added) && result != nullptr)
        *result = added;
}

SourceStreamPin::~SourceStreamPin() {
    sourceFilter->RemovePin(this);
}

HRESULT SourceStreamPin::Active() {
    platform::Lock guard(filterLock);
    if (sourceFilter->IsActive())
        return S_FALSE;
    if (!IsConnected())
        return S_OK;
    HRESULT result = OutputPinBase::Active();
    if (FAILED(result))
        return result;
    if (!Create()) {
        OutputPinBase::Inactive();
        return E_FAIL;
    }
    result = CallWorker(kCmdInit);
    if (FAILED(result)) {
        // The thread has run OnThreadDestroy and is ending; leave nothing committed.
        Close();
        OutputPinBase::Inactive();
        return result;
    }
    return CallWorker(kCmdPause);
}

HRESULT SourceStreamPin::Inactive() {
    platform::Lock guard(filterLock);
    HRESULT result = S_OK;
    if (IsConnected())
        result = OutputPinBase::Inactive(); // releases a GetBuffer waiting on the thread
    if (ThreadExists()) {
        CallWorker(kCmdStop);
        CallWorker(kCmdExit);
        Close();
    }
    return result;
}

DWORD SourceStreamPin::ThreadProc() {
    DWORD command;
    for (;;) {
        command = GetRequest();
        if (command == kCmdInit)
            break;
        Reply(E_UNEXPECTED);
    }
    HRESULT result = OnThreadCreate();
    if (FAILED(result)) {
        OnThreadDestroy();
        Reply(result);
        return 1;
    }
    Reply(S_OK);

    do {
        command = GetRequest();
        switch (command) {
        case kCmdPause:
        case kCmdRun:
            Reply(S_OK);
            DoBufferProcessingLoop();
            break;
        case kCmdStop:
        case kCmdExit:
            Reply(S_OK);
            break;
        default:
            Reply(E_NOTIMPL);
            break;
        }
    } while (command != kCmdExit);

    return FAILED(OnThreadDestroy()) ? 1 : 0;
}

HRESULT SourceStreamPin::DoBufferProcessingLoop() {
    OnThreadStartPlay();
    for (;;) {
        DWORD command;
        while (!CheckRequest(&command)) {
            IMediaSample *sample = nullptr;
            const HRESULT got = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
            if (FAILED(got) || sample == nullptr) {
                OnNoDeliveryBuffer(FAILED(got) ? got : E_UNEXPECTED);
                Sleep(1);
                continue;
            }
            const HRESULT filled = FillBuffer(sample);
            if (filled == S_OK) {
                const HRESULT delivered = Deliver(sample);
                OnSampleDelivered(sample, delivered);
                sample->Release();
                if (delivered != S_OK)
                    return S_OK; // downstream refused: wait for the next command
            } else if (filled == S_FALSE) {
                sample->Release();
                DeliverEndOfStream();
                return S_OK;
            } else {
                sample->Release();
                DeliverEndOfStream();
                sourceFilter->NotifyEvent(EC_ERRORABORT, filled, 0);
                return filled;
            }
        }
        // A command waits: PAUSE and RUN keep streaming, STOP is answered by ThreadProc.
        if (command == kCmdRun || command == kCmdPause) {
            GetRequest();
            Reply(S_OK);
        } else if (command == kCmdStop) {
            return S_FALSE;
        } else {
            GetRequest();
            Reply(E_UNEXPECTED);
        }
    }
}
