// Loading Oriscope.dll, running regsvr32 and reading what registration left.
#include "tests/filter/oriscope_dll.h"

#include <gtest/gtest.h>

#include "tests/filter/filter_test_support.h"

bool OriscopeDll::Load() {
    module = LoadLibraryW(OriscopeDllPath().c_str());
    if (module == nullptr) {
        ADD_FAILURE() << "cannot load Oriscope.dll, error " << GetLastError();
        return false;
    }
    DllGetClassObject = ModuleExport<GetClassObjectFn>(module, "DllGetClassObject");
    DllCanUnloadNow = ModuleExport<NoArgumentFn>(module, "DllCanUnloadNow");
    DllRegisterServer = ModuleExport<NoArgumentFn>(module, "DllRegisterServer");
    DllUnregisterServer = ModuleExport<NoArgumentFn>(module, "DllUnregisterServer");
    const bool all = DllGetClassObject && DllCanUnloadNow && DllRegisterServer && DllUnregisterServer;
    EXPECT_TRUE(all) << "an export is missing";
    return all;
}

void OriscopeDll::Unload() {
    if (module != nullptr)
        FreeLibrary(module);
    module = nullptr;
}

std::wstring OriscopeDllPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path);
    directory.resize(directory.find_last_of(L"\\/") + 1);
    return directory + L"Oriscope.dll";
}

int RunRegsvr32(const wchar_t *arguments) {
    std::wstring command = L"regsvr32.exe " + std::wstring(arguments) + L" \"" + OriscopeDllPath() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    CloseHandle(process.hThread);
    DWORD exitCode = DWORD(-1);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &exitCode);
    else
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

bool KeyExists(HKEY root, const std::wstring &path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::wstring StringValue(HKEY root, const std::wstring &path, const wchar_t *name) {
    wchar_t value[MAX_PATH + 1] = {};
    DWORD bytes = sizeof value - sizeof(wchar_t);
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    DWORD type = 0;
    const LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(value), &bytes);
    RegCloseKey(key);
    return (status == ERROR_SUCCESS && type == REG_SZ) ? std::wstring(value) : std::wstring();
}

std::wstring ClassKey(REFCLSID classId) {
    wchar_t text[40] = {};
    StringFromGUID2(classId, text, 40);
    return L"CLSID\\" + std::wstring(text);
}

std::wstring DeviceEntryKey() {
    return ClassKey(kVideoInputCategory) + L"\\Instance\\Orvex Oriscope capture";
}

ComPtr<IMoniker> FindVideoInputDevice(const wchar_t *friendlyName) {
    ComPtr<ICreateDevEnum> devices;
    ComPtr<IEnumMoniker> monikers;
    ComPtr<IMoniker> found;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                devices.putVoid())))
        return found;
    // S_FALSE and no enumerator when the category is empty.
    if (devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.put(), 0) != S_OK || !monikers)
        return found;
    IMoniker *moniker = nullptr;
    while (!found && monikers->Next(1, &moniker, nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.putVoid()))) {
            VARIANT name;
            VariantInit(&name);
            if (SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR &&
                std::wstring(name.bstrVal) == friendlyName)
                found.reset(moniker);
            VariantClear(&name);
        }
        moniker->Release();
    }
    return found;
}
