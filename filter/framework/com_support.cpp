// Module-wide object and lock counts, the module handle and the debug trace.
#include "filter/framework/com_support.h"

#include <cstdarg>
#include <cstdio>

namespace {
volatile LONG liveObjects = 0;
volatile LONG serverLocks = 0;
HINSTANCE moduleInstance = nullptr;

// 0: not read yet, 1: off, 2: stderr, 3: debugger.
volatile LONG traceMode = 0;

LONG ReadTraceMode() {
    char value[32] = {};
    const DWORD length = GetEnvironmentVariableA("ORISCOPE_DSHOW_TRACE", value, sizeof value);
    if (length == 0 || length >= sizeof value)
        return 1;
    return lstrcmpiA(value, "stderr") == 0 ? 2 : 3;
}
} // namespace

long ComModule::LiveObjectCount() {
    return InterlockedCompareExchange(&liveObjects, 0, 0);
}

long ComModule::ServerLockCount() {
    return InterlockedCompareExchange(&serverLocks, 0, 0);
}

void ComModule::AddLiveObject() {
    InterlockedIncrement(&liveObjects);
}

void ComModule::RemoveLiveObject() {
    InterlockedDecrement(&liveObjects);
}

void ComModule::LockServer(bool lock) {
    if (lock)
        InterlockedIncrement(&serverLocks);
    else
        InterlockedDecrement(&serverLocks);
}

HRESULT ComModule::CanUnloadNow() {
    return (ServerLockCount() > 0 || LiveObjectCount() > 0) ? S_FALSE : S_OK;
}

HINSTANCE ComModule::Instance() {
    if (moduleInstance != nullptr)
        return moduleInstance;
    // The module this code was linked into, whether a DLL or a program.
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ReadTraceMode), &self);
    return self;
}

void ComModule::SetInstance(HINSTANCE instance) {
    moduleInstance = instance;
}

bool trace::Enabled() {
    LONG mode = traceMode;
    if (mode == 0) {
        mode = ReadTraceMode();
        InterlockedExchange(&traceMode, mode);
    }
    return mode > 1;
}

void trace::Write(const char *format, ...) {
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(line, sizeof line - 2, format, arguments);
    va_end(arguments);
    if (length < 0)
        return;
    lstrcatA(line, "\n");
    if (traceMode == 2) {
        std::fputs(line, stderr);
        std::fflush(stderr);
    } else {
        OutputDebugStringA(line);
    }
}
