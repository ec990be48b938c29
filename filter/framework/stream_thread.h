// StreamThread: a worker thread with a one-slot command channel. The sending
// side calls CallWorker, which holds the channel's access lock from sending
// until the worker replies, so commands from several threads are serialised;
// the worker side takes commands with GetRequest, peeks with CheckRequest and
// answers each taken command with Reply.
//
// Threading: Create, Close and CallWorker belong to controlling threads (the
// filter's state changes); GetRequest, CheckRequest and Reply to the worker.
#pragma once

#include "filter/framework/directshow.h"
#include "platform/platform.h"

class StreamThread {
public:
    // Streaming thread commands.
    enum Command : DWORD { kCmdInit = 0, kCmdPause = 1, kCmdRun = 2, kCmdStop = 3, kCmdExit = 4 };

    StreamThread();
    StreamThread(const StreamThread &) = delete;
    StreamThread &operator=(const StreamThread &) = delete;
    // Waits for a thread that is still running and closes its handle.
    virtual ~StreamThread();

    // Starts a thread running ThreadProc; false when it exists already or cannot be created.
    bool Create();
    bool ThreadExists() const { return threadHandle != nullptr; }
    // Waits for the thread to end without a time limit and closes its handle;
    // returns its exit code (0 when there was no thread).
    DWORD Close();

    // Sends `command` and waits for the reply. E_FAIL when no thread exists,
    // or when the thread ends without replying.
    HRESULT CallWorker(DWORD command);

    // Worker side. Waits for the next command and takes it from the slot.
    DWORD GetRequest();
    // True with the waiting command, which stays in the slot; false when none waits.
    bool CheckRequest(DWORD *command);
    // Answers the command taken last.
    void Reply(HRESULT result);

protected:
    // The thread body; its return value becomes the thread's exit code.
    virtual DWORD ThreadProc() = 0;

private:
    static DWORD WINAPI ThreadEntry(LPVOID parameter);

    HANDLE threadHandle = nullptr;
    DWORD threadId = 0;
    platform::CriticalSection accessLock; // held by a sender until the reply
    platform::Event commandSent;          // set while a command waits in the slot
    platform::Event replySent;
    volatile DWORD commandSlot = 0;
    volatile HRESULT replySlot = S_OK;
};
