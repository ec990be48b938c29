// Driving real windows as a user would, from a thread other than the one that
// owns them: finding windows and controls, clicks, text, message boxes, and
// a screenshot of a window. Every wait is bounded.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// A visible top-level window of this process that contains a control with
// identifier `controlId` (and, when given, whose title is `title`); null when
// none appears within timeoutMs.
HWND WaitForWindowWithControl(int controlId, std::uint32_t timeoutMs, const wchar_t *title = nullptr);
// The first descendant of `root` with identifier `id`, or null.
HWND FindDescendant(HWND root, int id);

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);

// A message box of this process with caption `caption`; null after timeoutMs.
HWND WaitForMessageBox(const wchar_t *caption, std::uint32_t timeoutMs);
// The text of a message box (its static texts joined).
std::wstring MessageBoxText(HWND box);
// Presses the box's OK button and waits (bounded) until the box is gone.
bool DismissMessageBox(HWND box, std::uint32_t timeoutMs = 5000);

// Clicks a button and returns once its command has been handled.
void Click(HWND button);
// Clicks a button whose command shows a message box with `caption`: reads the
// box's text into `text`, dismisses it, and waits for the command to finish.
// False (with `text` saying why) when no box came within timeoutMs.
bool ClickExpectingMessageBox(HWND button, const wchar_t *caption, std::wstring &text, std::uint32_t timeoutMs = 10000);
void SetText(HWND control, const wchar_t *text);
// Types characters into a control one WM_CHAR at a time.
void Type(HWND control, const wchar_t *characters);
bool IsChecked(HWND button);

// The window's pixels as the screen shows them, 24-bit rows top to bottom.
struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // blue, green, red; width * 3 bytes per row
    // Distinct colours, counted up to `limit`.
    int DistinctColours(int limit = 256) const;
    // Writes a 24-bit BMP; false when the file cannot be written.
    bool SaveBmp(const std::string &path) const;
};
bool CaptureWindow(HWND window, Screenshot &shot);
