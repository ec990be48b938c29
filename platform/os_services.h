// The operating system services behind the seams, one implementation per
// platform; seams.cpp routes the public functions here unless a hook is set.
#pragma once

#include <cstdint>
#include <string>

namespace platform::os {

std::uint32_t tickCount();
void beep(std::uint32_t frequencyHz, std::uint32_t durationMs);
bool systemDirectory(std::wstring &directory, unsigned capacity);
void messageBox(const std::string &text, const std::string &caption);
[[noreturn]] void exitProcess(unsigned code);

} // namespace platform::os
