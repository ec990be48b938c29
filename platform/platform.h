// The thin layer over the operating system services the camera code needs:
// threads, manual-reset events, critical sections, the millisecond tick count,
// sleep, beep, the system directory, message boxes and process exit.
// Win32 on Windows, POSIX elsewhere. Beep, message box, process exit, the
// system directory and the tick source have test seams (see the bottom).
//
// Threading: every type here may be used from any thread; Event and
// CriticalSection are the synchronisation primitives themselves.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace platform {

// A critical section: recursive on both platforms, as Win32's is.
class CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection &) = delete;
    CriticalSection &operator=(const CriticalSection &) = delete;

    void enter();
    void leave();

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// Scoped guard for a CriticalSection.
class Lock {
public:
    explicit Lock(CriticalSection &target) : section(target) { section.enter(); }
    ~Lock() { section.leave(); }
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;

private:
    CriticalSection &section;
};

// A manual-reset event, created non-signalled.
class Event {
public:
    Event();
    ~Event();
    Event(const Event &) = delete;
    Event &operator=(const Event &) = delete;

    void set();
    void reset();
    // True when the event is (or becomes) signalled within timeoutMs.
    bool wait(std::uint32_t timeoutMs);
    static constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// A thread running entry(argument). The thread is detached from the object
// when it is destroyed (Win32: the handle is closed, the thread goes on), so
// owners synchronise through events, as Win32 code without handles does.
// One object may start one thread after another: start detaches the previous
// thread, joined or not. Start and join of one object are not meant to race.
class Thread {
public:
    using Entry = void (*)(void *argument);

    // Starts a thread with the default stack size; false when it cannot be created.
    bool start(Entry entry, void *argument);
    // Waits for the thread to end; true when it ended within timeoutMs, and
    // when no thread was started. On the thread itself it returns false at
    // once, since a thread cannot outlive itself.
    bool join(std::uint32_t timeoutMs = Event::kInfinite);
    bool started() const { return impl != nullptr; }
    // The identifier currentThreadId() gives on that thread; 0 before start.
    std::uint32_t id() const { return threadId; }

    Thread();
    ~Thread();
    Thread(const Thread &) = delete;
    Thread &operator=(const Thread &) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
    std::uint32_t threadId = 0;
};

// The calling thread's identifier, never 0 (Win32: GetCurrentThreadId;
// elsewhere a process-wide number given to each thread on first use).
std::uint32_t currentThreadId();

// Milliseconds since an arbitrary start, wrapping at 2^32 (Win32:
// GetTickCount; elsewhere CLOCK_MONOTONIC in milliseconds, cut to 32 bits).
std::uint32_t tickCount();
// Sleeps at least ms milliseconds; 0 gives up the rest of the time slice.
void sleepMs(std::uint32_t ms);
// Sounds a tone and returns when it ends (Win32: Beep). Silent elsewhere.
void beep(std::uint32_t frequencyHz, std::uint32_t durationMs);

// The system directory, queried as wide characters with room for `capacity`
// characters including the terminator. Returns false when it cannot be found
// or does not fit. Elsewhere it is the fixed directory "/usr/lib".
bool systemDirectory(std::wstring &directory, unsigned capacity = 260);

// The wide string up to its first null character in the process's 8-bit
// code page (Win32: the ANSI code page; elsewhere UTF-8), cut to at most
// maxBytes - 1 bytes (room for a terminator) without splitting a character.
// Characters the code page lacks become '?'.
std::string narrowString(const std::wstring &text, unsigned maxBytes);

// Sets the length of a file open for writing to `size` bytes, after
// flushing what its stream holds (POSIX: ftruncate; Win32: _chsize_s).
bool setFileSize(std::FILE *file, std::uint64_t size);

// A message box without owner with an OK button; returns when dismissed.
// Elsewhere "caption: text" goes to stderr.
void messageBox(const std::string &text, const std::string &caption);

// Ends the process with the given exit code at once, from any thread
// (Win32: ExitProcess; elsewhere std::_Exit after flushing stdio, because
// std::exit would run static destructors while other threads still work).
// Returns only when a test exit hook is installed; callers then carry on
// down their failure path.
void exitProcess(unsigned code);

// ---------------------------------------------------------------------------
// Test seams. Each hook replaces the real service while installed; pass
// nullptr to restore it. Hooks are process-wide and not synchronised against
// concurrent installation: install them before starting the code under test.
namespace seams {
using BeepHook = void (*)(std::uint32_t frequencyHz, std::uint32_t durationMs);
using MessageBoxHook = void (*)(const std::string &text, const std::string &caption);
// With an exit hook installed, exitProcess calls it and returns.
using ExitHook = void (*)(unsigned code);
using TickSource = std::uint32_t (*)();
// Returns false to simulate a missing system directory.
using SystemDirectoryHook = bool (*)(std::wstring &directory, unsigned capacity);

void setBeepHook(BeepHook hook);
void setMessageBoxHook(MessageBoxHook hook);
void setExitHook(ExitHook hook);
void setTickSource(TickSource source);
void setSystemDirectoryHook(SystemDirectoryHook hook);
} // namespace seams

} // namespace platform
