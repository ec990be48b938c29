// The platform layer on POSIX: pthreads, CLOCK_MONOTONIC and UTF-8.
#include "platform/platform.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>

#include <pthread.h>
#include <sched.h>
#include <sys/types.h>
#include <unistd.h>

#include "platform/os_services.h"

namespace platform {
namespace {

// Thread identifiers: handed out in order, 0 is never used.
std::atomic<std::uint32_t> lastThreadId{0};
thread_local std::uint32_t ownThreadId = 0;

std::uint32_t nextThreadId() {
    std::uint32_t id;
    do {
        id = lastThreadId.fetch_add(1, std::memory_order_relaxed) + 1;
    } while (id == 0);
    return id;
}

timespec monotonicNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

timespec deadlineAfter(std::uint32_t ms) {
    timespec deadline = monotonicNow();
    deadline.tv_sec += static_cast<time_t>(ms / 1000);
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    return deadline;
}

} // namespace

// ---------------------------------------------------------------------------
struct CriticalSection::Impl {
    pthread_mutex_t mutex;
};

CriticalSection::CriticalSection() : impl(std::make_unique<Impl>()) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&impl->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

CriticalSection::~CriticalSection() {
    pthread_mutex_destroy(&impl->mutex);
}

void CriticalSection::enter() {
    pthread_mutex_lock(&impl->mutex);
}

void CriticalSection::leave() {
    pthread_mutex_unlock(&impl->mutex);
}

// ---------------------------------------------------------------------------
struct Event::Impl {
    pthread_mutex_t mutex;
    pthread_cond_t condition;
    bool signalled = false;
};

Event::Event() : impl(std::make_unique<Impl>()) {
    pthread_mutex_init(&impl->mutex, nullptr);
    // Timed waits measure against the monotonic clock, so a change of the
    // wall clock neither stretches nor cuts them.
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&impl->condition, &attributes);
    pthread_condattr_destroy(&attributes);
}

Event::~Event() {
    pthread_cond_destroy(&impl->condition);
    pthread_mutex_destroy(&impl->mutex);
}

void Event::set() {
    pthread_mutex_lock(&impl->mutex);
    impl->signalled = true;
    pthread_cond_broadcast(&impl->condition);
    pthread_mutex_unlock(&impl->mutex);
}

void Event::reset() {
    pthread_mutex_lock(&impl->mutex);
    impl->signalled = false;
    pthread_mutex_unlock(&impl->mutex);
}

bool Event::wait(std::uint32_t timeoutMs) {
    pthread_mutex_lock(&impl->mutex);
    if (timeoutMs == kInfinite) {
        while (!impl->signalled)
            pthread_cond_wait(&impl->condition, &impl->mutex);
    } else if (!impl->signalled && timeoutMs > 0) {
        const timespec deadline = deadlineAfter(timeoutMs);
        while (!impl->signalled) {
            if (pthread_cond_timedwait(&impl->condition, &impl->mutex, &deadline) == ETIMEDOUT)
                break;
        }
    }
    const bool signalled = impl->signalled;
    pthread_mutex_unlock(&impl->mutex);
    return signalled;
}

// ---------------------------------------------------------------------------
namespace {
// What a thread shares with its Thread object; either may end first.
struct ThreadStart {
    Thread::Entry entry = nullptr;
    void *argument = nullptr;
    std::uint32_t id = 0;
    Event finished;
};

void *runThread(void *handOver) {
    auto *owned = static_cast<std::shared_ptr<ThreadStart> *>(handOver);
    const std::shared_ptr<ThreadStart> start = std::move(*owned);
    delete owned;
    ownThreadId = start->id;
    start->entry(start->argument);
    start->finished.set();
    return nullptr;
}
} // namespace

struct Thread::Impl {
    pthread_t handle{};
    std::shared_ptr<ThreadStart> start;
    bool joined = false;

    ~Impl() {
        if (!joined)
            pthread_detach(handle);
    }
};

Thread::Thread() = default;

Thread::~Thread() = default;

bool Thread::start(Entry entry, void *argument) {
    impl.reset();
    threadId = 0;
    if (entry == nullptr)
        return false;
    auto start = std::make_shared<ThreadStart>();
    start->entry = entry;
    start->argument = argument;
    start->id = nextThreadId();
    auto *handOver = new std::shared_ptr<ThreadStart>(start);
    pthread_t handle;
    if (pthread_create(&handle, nullptr, runThread, handOver) != 0) {
        delete handOver;
        return false;
    }
    impl = std::make_unique<Impl>();
    impl->handle = handle;
    impl->start = std::move(start);
    threadId = impl->start->id;
    return true;
}

bool Thread::join(std::uint32_t timeoutMs) {
    if (!impl || impl->joined)
        return true;
    if (threadId == currentThreadId())
        return false;
    // pthread_join has no time limit: wait for the entry to return first,
    // after which the join only collects a thread that is already leaving.
    if (!impl->start->finished.wait(timeoutMs))
        return false;
    pthread_join(impl->handle, nullptr);
    impl->joined = true;
    return true;
}

std::uint32_t currentThreadId() {
    if (ownThreadId == 0)
        ownThreadId = nextThreadId();
    return ownThreadId;
}

// ---------------------------------------------------------------------------
void sleepMs(std::uint32_t ms) {
    if (ms == 0) {
        sched_yield();
        return;
    }
    timespec remaining{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

bool setFileSize(std::FILE *file, std::uint64_t size) {
    return std::fflush(file) == 0 && ftruncate(fileno(file), static_cast<off_t>(size)) == 0;
}

namespace {
// Appends the UTF-8 form of one code point; '?' for what is not one.
void appendUtf8(std::string &out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
        out += '?';
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The code point at text[i]; advances i past it (over a surrogate pair
// where wchar_t is 16 bits wide).
std::uint32_t nextCodePoint(const wchar_t *text, std::size_t &i) {
    std::uint32_t c = static_cast<std::uint32_t>(text[i++]);
    if constexpr (sizeof(wchar_t) == 2) {
        const auto low = static_cast<std::uint32_t>(text[i]);
        if (c >= 0xD800 && c <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
            ++i;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    return c;
}
} // namespace

std::string narrowString(const std::wstring &text, unsigned maxBytes) {
    std::string narrow;
    if (maxBytes == 0)
        return narrow;
    const std::size_t limit = maxBytes - 1;
    std::string character;
    for (std::size_t i = 0; text.c_str()[i] != L'\0';) {
        character.clear();
        appendUtf8(character, nextCodePoint(text.c_str(), i));
        if (narrow.size() + character.size() > limit)
            break;
        narrow += character;
    }
    return narrow;
}

// ---------------------------------------------------------------------------
namespace os {

std::uint32_t tickCount() {
    const timespec now = monotonicNow();
    const std::uint64_t ms =
        static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

// There is no speaker to drive here; the call stays so the seam sees it.
void beep(std::uint32_t, std::uint32_t) {}

// The sensor data files have no home on this system; the simulated imaging
// library only needs a path that looks like a library directory.
bool systemDirectory(std::wstring &directory, unsigned capacity) {
    constexpr std::wstring_view kDirectory = L"/usr/lib";
    if (kDirectory.size() + 1 > capacity)
        return false;
    directory.assign(kDirectory);
    return true;
}

void messageBox(const std::string &text, const std::string &caption) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
}

void exitProcess(unsigned code) {
    std::fflush(nullptr);
    std::_Exit(static_cast<int>(code));
}

} // namespace os
} // namespace platform
