// Oriscope.dll as a host sees it: loaded from beside the test program, its
// exports resolved by name; plus the registry and device-list checks of
// registration, and regsvr32 run as a separate process.
#pragma once

#include <string>

#include "filter/framework/framework.h"
#include "tests/support/module_export.h"

struct OriscopeDll {
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE *)(REFCLSID, REFIID, void **);
    using NoArgumentFn = HRESULT(STDAPICALLTYPE *)();

    // Loads the module; false (with a test failure) when it or an export is missing.
    bool Load();
    void Unload();
    ~OriscopeDll() { Unload(); }

    HMODULE module = nullptr;
    GetClassObjectFn DllGetClassObject = nullptr;
    NoArgumentFn DllCanUnloadNow = nullptr;
    NoArgumentFn DllRegisterServer = nullptr;
    NoArgumentFn DllUnregisterServer = nullptr;
};

// Full path of Oriscope.dll beside the test program.
std::wstring OriscopeDllPath();

// Runs `regsvr32 <arguments> "<Oriscope.dll>"` and waits (bounded) for its exit code; -1 on failure.
int RunRegsvr32(const wchar_t *arguments);

// Registry view of the module's registration.
// `view`: 0 for this process's own registry view, or KEY_WOW64_32KEY / KEY_WOW64_64KEY.
bool KeyExists(HKEY root, const std::wstring &path, REGSAM view = 0);
// The string value `name` (empty: the default value) of a key; empty when absent.
std::wstring StringValue(HKEY root, const std::wstring &path, const wchar_t *name);
std::wstring ClassKey(REFCLSID classId);
// HKCR path of the filter's video-input-device entry.
std::wstring DeviceEntryKey();

// The video input device named `friendlyName`, with a reference; null when not listed.
ComPtr<IMoniker> FindVideoInputDevice(const wchar_t *friendlyName);
