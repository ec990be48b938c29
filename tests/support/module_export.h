// A DLL export as a typed function pointer, as a host resolves it. The detour
// through a plain function pointer type keeps -Wcast-function-type quiet: on
// x64 FARPROC and the export's real type differ, and the cast is intended.
#pragma once

#include <windows.h>

template <typename F> F ModuleExport(HMODULE module, const char *name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
