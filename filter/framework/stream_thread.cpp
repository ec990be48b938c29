// StreamThread: the worker thread and its one-slot command channel.
#include "filter/framework/stream_thread.h"

StreamThread::StreamThread() = default;

StreamThread::~StreamThread() {
    Close();
}

DWORD WINAPI StreamThread::ThreadEntry(LPVOID parameter) {
    return static_cast<StreamThread *>(parameter)->ThreadProc();
}

bool StreamThread::Create() {
    platform::Lock guard(accessLock);
    if (threadHandle != nullptr)
        return false;
    commandSent.reset();
    replySent.reset();
    threadHandle = CreateThread(nullptr, 0, &StreamThread::ThreadEntry, this, 0, &threadId);
    return threadHandle != nullptr;
}

DWORD StreamThread::Close() {
    HANDLE handle = threadHandle;
    if (handle == nullptr)
        return 0;
    WaitForSingleObject(handle, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeThread(handle, &exitCode);
    CloseHandle(handle);
    threadHandle = nullptr;
    threadId = 0;
    return exitCode;
}

HRESULT StreamThread::CallWorker(DWORD command) {
    platform::Lock guard(accessLock);
    if (threadHandle == nullptr)
        return E_FAIL;
    replySent.reset();
    commandSlot = command;
    commandSent.set();
    // Wait for the reply, watching for a thread that ends without one.
    for (;;) {
        if (replySent.wait(50))
            return replySlot;
        if (WaitForSingleObject(threadHandle, 0) == WAIT_OBJECT_0)
            return replySent.wait(0) ? replySlot : E_FAIL;
    }
}

DWORD StreamThread::GetRequest() {
    commandSent.wait(platform::Event::kInfinite);
    const DWORD command = commandSlot;
    commandSent.reset();
    return command;
}

bool StreamThread::CheckRequest(DWORD *command) {
    if (!commandSent.wait(0))
        return false;
    if (command != nullptr)
        *command = commandSlot;
    return true;
}

void StreamThread::Reply(HRESULT result) {
    replySlot = result;
    replySent.set();
}
