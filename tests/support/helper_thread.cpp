// HelperThread: creation, the bounded join and the stuck-thread exit.
#include "tests/support/helper_thread.h"

#include <cstdio>

HelperThread::HelperThread(std::function<void()> task) : work(std::move(task)) {
    thread = CreateThread(nullptr, 0, &HelperThread::Entry, this, 0, nullptr);
}

HelperThread::~HelperThread() {
    if (thread != nullptr && !Join(30000)) {
        std::fprintf(stderr, "a helper thread of the test is stuck; ending the program\n");
        ExitProcess(3);
    }
}

bool HelperThread::Join(std::uint32_t timeoutMs) {
    if (thread == nullptr)
        return true;
    if (WaitForSingleObject(thread, timeoutMs) != WAIT_OBJECT_0)
        return false;
    CloseHandle(thread);
    thread = nullptr;
    return true;
}

DWORD WINAPI HelperThread::Entry(void *argument) {
    static_cast<HelperThread *>(argument)->work();
    return 0;
}
