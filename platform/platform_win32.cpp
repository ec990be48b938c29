// The platform layer on Win32: kernel objects, GetTickCount and the ANSI
// code page.
#include "platform/platform.h"

#include <cwchar>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <io.h>

#include "platform/os_services.h"

namespace platform {

// ---------------------------------------------------------------------------
struct CriticalSection::Impl {
    CRITICAL_SECTION section;
};

CriticalSection::CriticalSection() : impl(std::make_unique<Impl>()) {
    InitializeCriticalSection(&impl->section);
}

CriticalSection::~CriticalSection() {
    DeleteCriticalSection(&impl->section);
}

void CriticalSection::enter() {
    EnterCriticalSection(&impl->section);
}

void CriticalSection::leave() {
    LeaveCriticalSection(&impl->section);
}

// ---------------------------------------------------------------------------
// Without a handle (out of kernel objects) the event never signals and every
// wait times out, which callers already treat as failure.
struct Event::Impl {
    HANDLE handle = nullptr;
};

Event::Event() : impl(std::make_unique<Impl>()) {
    impl->handle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

Event::~Event() {
    if (impl->handle != nullptr)
        CloseHandle(impl->handle);
}

void Event::set() {
    if (impl->handle != nullptr)
        SetEvent(impl->handle);
}

void Event::reset() {
    if (impl->handle != nullptr)
        ResetEvent(impl->handle);
}

bool Event::wait(std::uint32_t timeoutMs) {
    static_assert(kInfinite == INFINITE);
    if (impl->handle == nullptr)
        return false;
    return WaitForSingleObject(impl->handle, timeoutMs) == WAIT_OBJECT_0;
}

// ---------------------------------------------------------------------------
namespace {
struct ThreadStart {
    Thread::Entry entry;
    void *argument;
};

DWORD WINAPI runThread(LPVOID parameter) {
    const ThreadStart start = *static_cast<ThreadStart *>(parameter);
    delete static_cast<ThreadStart *>(parameter);
    start.entry(start.argument);
    return 0;
}
} // namespace

struct Thread::Impl {
    HANDLE handle = nullptr;

    ~Impl() { CloseHandle(handle); }
};

Thread::Thread() = default;

Thread::~Thread() = default;

bool Thread::start(Entry entry, void *argument) {
    impl.reset();
    threadId = 0;
    if (entry == nullptr)
        return false;
    auto *start = new ThreadStart{entry, argument};
    DWORD id = 0;
    HANDLE handle = CreateThread(nullptr, 0, runThread, start, 0, &id);
    if (handle == nullptr) {
        delete start;
        return false;
    }
    impl = std::make_unique<Impl>();
    impl->handle = handle;
    threadId = id;
    return true;
}

bool Thread::join(std::uint32_t timeoutMs) {
    if (!impl)
        return true;
    if (threadId == GetCurrentThreadId())
        return false;
    return WaitForSingleObject(impl->handle, timeoutMs) == WAIT_OBJECT_0;
}

std::uint32_t currentThreadId() {
    return GetCurrentThreadId();
}

// ---------------------------------------------------------------------------
void sleepMs(std::uint32_t ms) {
    Sleep(ms);
}

bool setFileSize(std::FILE *file, std::uint64_t size) {
    return std::fflush(file) == 0 && _chsize_s(_fileno(file), static_cast<__int64>(size)) == 0;
}

// Converted one character (or surrogate pair) at a time, so the cut never
// splits a double-byte or multi-byte character whatever the code page.
std::string narrowString(const std::wstring &text, unsigned maxBytes) {
    std::string narrow;
    if (maxBytes == 0)
        return narrow;
    const std::size_t limit = maxBytes - 1;
    const wchar_t *wide = text.c_str();
    const std::size_t length = std::wcslen(wide);
    char character[8];
    for (std::size_t i = 0; i < length;) {
        int units = 1;
        if (IS_HIGH_SURROGATE(wide[i]) && i + 1 < length && IS_LOW_SURROGATE(wide[i + 1]))
            units = 2;
        const int bytes =
            WideCharToMultiByte(CP_ACP, 0, wide + i, units, character, sizeof character, nullptr, nullptr);
        i += static_cast<std::size_t>(units);
        if (bytes <= 0)
            continue;
        if (narrow.size() + static_cast<std::size_t>(bytes) > limit)
            break;
        narrow.append(character, static_cast<std::size_t>(bytes));
    }
    return narrow;
}

// ---------------------------------------------------------------------------
namespace os {

std::uint32_t tickCount() {
    return GetTickCount();
}

void beep(std::uint32_t frequencyHz, std::uint32_t durationMs) {
    Beep(frequencyHz, durationMs);
}

bool systemDirectory(std::wstring &directory, unsigned capacity) {
    if (capacity == 0)
        return false;
    std::wstring buffer(capacity, L'\0');
    // The result is the length on success and the size needed, terminator
    // included, when the buffer is too small.
    const UINT length = GetSystemDirectoryW(buffer.data(), capacity);
    if (length == 0 || length >= capacity)
        return false;
    buffer.resize(length);
    directory = std::move(buffer);
    return true;
}

void messageBox(const std::string &text, const std::string &caption) {
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
}

void exitProcess(unsigned code) {
    ExitProcess(code);
}

} // namespace os
} // namespace platform
