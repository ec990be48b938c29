// HelperThread: a test's own thread, joined with a bound so that a stuck
// call fails the test instead of hanging it. Windows tests only.
#pragma once

#include <cstdint>
#include <functional>

#include <windows.h>

class HelperThread {
public:
    explicit HelperThread(std::function<void()> work);
    // Waits 30 s at most; a thread still running then ends the program,
    // since it still uses objects the test is about to release.
    ~HelperThread();
    HelperThread(const HelperThread &) = delete;
    HelperThread &operator=(const HelperThread &) = delete;
    // True once the thread has ended (within timeoutMs).
    bool Join(std::uint32_t timeoutMs);

private:
    static DWORD WINAPI Entry(void *argument);
    std::function<void()> work;
    HANDLE thread = nullptr;
};
