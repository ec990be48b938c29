// Pictures of windows as the screen shows them, for the viewer's snapshot
// mode (documentation and demos).
#pragma once

#include <windows.h>

#include <string>

// Writes what the screen shows of `window` as a 24-bit BMP; false on failure.
bool SaveWindowPicture(HWND window, const std::wstring &path);

// Waits at most timeoutMs for a visible top-level window of this process,
// other than `except`, whose class is the dialog class; null when none came.
HWND WaitForDialogWindow(HWND except, DWORD timeoutMs);
