// The services with test seams: each call goes to the installed hook, else to
// the operating system. Engine threads read the hooks while tests install
// them, so they are atomics.
#include "platform/platform.h"

#include <atomic>

#include "platform/os_services.h"

namespace platform {
namespace {
// Constant-initialised, so usable from other objects' static constructors.
std::atomic<seams::BeepHook> beepHook{nullptr};
std::atomic<seams::MessageBoxHook> messageBoxHook{nullptr};
std::atomic<seams::ExitHook> exitHook{nullptr};
std::atomic<seams::TickSource> tickSource{nullptr};
std::atomic<seams::SystemDirectoryHook> systemDirectoryHook{nullptr};
} // namespace

std::uint32_t tickCount() {
    if (seams::TickSource source = tickSource.load(std::memory_order_acquire))
        return source();
    return os::tickCount();
}

void beep(std::uint32_t frequencyHz, std::uint32_t durationMs) {
    if (seams::BeepHook hook = beepHook.load(std::memory_order_acquire)) {
        hook(frequencyHz, durationMs);
        return;
    }
    os::beep(frequencyHz, durationMs);
}

bool systemDirectory(std::wstring &directory, unsigned capacity) {
    if (seams::SystemDirectoryHook hook = systemDirectoryHook.load(std::memory_order_acquire))
        return hook(directory, capacity);
    return os::systemDirectory(directory, capacity);
}

void messageBox(const std::string &text, const std::string &caption) {
    if (seams::MessageBoxHook hook = messageBoxHook.load(std::memory_order_acquire)) {
        hook(text, caption);
        return;
    }
    os::messageBox(text, caption);
}

void exitProcess(unsigned code) {
    if (seams::ExitHook hook = exitHook.load(std::memory_order_acquire)) {
        hook(code);
        return;
    }
    os::exitProcess(code);
}

namespace seams {
void setBeepHook(BeepHook hook) {
    beepHook.store(hook, std::memory_order_release);
}
void setMessageBoxHook(MessageBoxHook hook) {
    messageBoxHook.store(hook, std::memory_order_release);
}
void setExitHook(ExitHook hook) {
    exitHook.store(hook, std::memory_order_release);
}
void setTickSource(TickSource source) {
    tickSource.store(source, std::memory_order_release);
}
void setSystemDirectoryHook(SystemDirectoryHook hook) {
    systemDirectoryHook.store(hook, std::memory_order_release);
}
} // namespace seams

} // namespace platform
