// Registration and unregistration of the module's classes and filter.
#include "filter/registration.h"

#include <cwchar>

#include <shlwapi.h>

#include "filter/oriscope_module.h"

namespace {

// The "file not found" system error an already removed entry reports.
constexpr HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

// COM for the duration of a (un)registration; the caller may have it already.
class ComScope {
public:
    ComScope() : initialised(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(initialised))
            CoUninitialize();
    }
    ComScope(const ComScope &) = delete;
    ComScope &operator=(const ComScope &) = delete;

private:
    HRESULT initialised;
};

HRESULT ModulePath(wchar_t (&path)[MAX_PATH]) {
    const DWORD length = GetModuleFileNameW(ComModule::Instance(), path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return HRESULT_FROM_WIN32(length == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER);
    return S_OK;
}

HRESULT SetString(HKEY key, const wchar_t *name, const wchar_t *value) {
    const auto bytes = static_cast<DWORD>((std::wcslen(value) + 1) * sizeof(wchar_t));
    const LSTATUS status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value), bytes);
    return HRESULT_FROM_WIN32(status);
}

HRESULT WriteClassKey(const FactoryTemplate &entry, const wchar_t *modulePath) {
    wchar_t keyName[64];
    ClassKeyName(*entry.classId, keyName);
    HKEY classKey = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, keyName, 0, nullptr, 0, KEY_WRITE, nullptr, &classKey, nullptr);
    if (status != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(status);
    HRESULT result = SetString(classKey, nullptr, entry.name);
    HKEY serverKey = nullptr;
    if (SUCCEEDED(result)) {
        status = RegCreateKeyExW(classKey, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &serverKey, nullptr);
        result = HRESULT_FROM_WIN32(status);
    }
    if (SUCCEEDED(result))
        result = SetString(serverKey, nullptr, modulePath);
    if (SUCCEEDED(result))
        result = SetString(serverKey, L"ThreadingModel", L"Both");
    if (serverKey != nullptr)
        RegCloseKey(serverKey);
    RegCloseKey(classKey);
    return result;
}

HRESULT DeleteClassKey(const FactoryTemplate &entry) {
    wchar_t keyName[64];
    ClassKeyName(*entry.classId, keyName);
    const LSTATUS status = SHDeleteKeyW(HKEY_CLASSES_ROOT, keyName);
    return (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) ? S_OK : HRESULT_FROM_WIN32(status);
}

HRESULT DeleteClassKeys(const FactoryTemplate *table, int count) {
    HRESULT first = S_OK;
    for (int i = 0; i < count; ++i) {
        const HRESULT result = DeleteClassKey(table[i]);
        if (FAILED(result) && SUCCEEDED(first))
            first = result;
    }
    return first;
}

HRESULT RegisterFilters(IFilterMapper2 *mapper, const FactoryTemplate *table, int count) {
    for (int i = 0; i < count; ++i) {
        if (table[i].setupData == nullptr)
            continue;
        const HRESULT result =
            mapper->RegisterFilter(*table[i].classId, table[i].name, nullptr, &CLSID_VideoInputDeviceCategory,
                                   table[i].name, &DeviceRegistration());
        if (FAILED(result))
            return result;
    }
    return S_OK;
}

// Removes one filter class from the legacy filter category and, where the
// mapper can, from the video input devices. Absent entries are fine.
HRESULT UnregisterFilter(IFilterMapper2 *mapper, IFilterMapper *legacyMapper, const FactoryTemplate &entry) {
    HRESULT result = mapper != nullptr ? mapper->UnregisterFilter(nullptr, nullptr, *entry.classId)
                                       : legacyMapper->UnregisterFilter(*entry.classId);
    if (result == kNotFound)
        result = S_OK;
    if (SUCCEEDED(result) && mapper != nullptr) {
        result = mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, entry.name, *entry.classId);
        if (result == kNotFound)
            result = S_OK;
    }
    return result;
}

HRESULT UnregisterFilters(const FactoryTemplate *table, int count) {
    ComPtr<IFilterMapper2> mapper;
    ComPtr<IFilterMapper> legacyMapper;
    HRESULT result =
        CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2, mapper.putVoid());
    if (FAILED(result))
        result = CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                                  legacyMapper.putVoid());
    if (FAILED(result))
        return result;
    for (int i = 0; i < count; ++i) {
        if (table[i].setupData == nullptr)
            continue;
        result = UnregisterFilter(mapper.get(), legacyMapper.get(), table[i]);
        if (FAILED(result))
            return result;
    }
    return S_OK;
}

} // namespace

void ClassKeyName(REFCLSID classId, wchar_t (&key)[64]) {
    wchar_t text[40] = {};
    StringFromGUID2(classId, text, 40);
    std::swprintf(key, 64, L"CLSID\\%ls", text);
}

HRESULT RegisterModule(const FactoryTemplate *table, int count) {
    wchar_t path[MAX_PATH];
    HRESULT result = ModulePath(path);
    if (FAILED(result))
        return result;
    ComScope com;
    ComPtr<IFilterMapper2> mapper;
    result = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2, mapper.putVoid());
    if (FAILED(result))
        return result;
    for (int i = 0; i < count && SUCCEEDED(result); ++i)
        result = WriteClassKey(table[i], path);
    if (SUCCEEDED(result))
        result = RegisterFilters(mapper.get(), table, count);
    if (FAILED(result))
        DeleteClassKeys(table, count);
    return result;
}

HRESULT UnregisterModule(const FactoryTemplate *table, int count) {
    wchar_t path[MAX_PATH];
    HRESULT result = ModulePath(path);
    if (FAILED(result))
        return result;
    {
        ComScope com;
        result = UnregisterFilters(table, count);
        CoFreeUnusedLibraries();
    }
    if (FAILED(result))
        return result;
    return DeleteClassKeys(table, count);
}
