// Loading VEXALIB and looking up its exports as a host does.
#include "vexa_module.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

VexaModule &VexaModule::instance() {
    static VexaModule module;
    return module;
}

#if defined(_WIN32)

VexaModule::VexaModule() {
    handle = LoadLibraryA("VEXALIB.dll"); // beside the test program
    if (handle == nullptr) {
        error = "LoadLibrary(VEXALIB.dll) failed, error " + std::to_string(GetLastError());
    }
}

void *VexaModule::symbol(const char *name) const {
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

void *VexaModule::ordinal(int number) const {
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(handle), MAKEINTRESOURCEA(number)));
}

std::string VexaModule::path() const {
    char file[MAX_PATH] = {};
    GetModuleFileNameA(static_cast<HMODULE>(handle), file, MAX_PATH);
    return file;
}

#else

VexaModule::VexaModule() {
    handle = dlopen(VEXALIB_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char *why = dlerror();
        error = std::string("dlopen(" VEXALIB_MODULE_PATH ") failed: ") + (why ? why : "?");
    }
}

void *VexaModule::symbol(const char *name) const {
    return dlsym(handle, name);
}

void *VexaModule::ordinal(int) const {
    return nullptr;
}

std::string VexaModule::path() const {
    return VEXALIB_MODULE_PATH;
}

#endif

bool VexaModule::resolve(Lookup lookup, VexaApi &api) const {
    bool complete = true;
#define VEXA_RESOLVE(number, name, type)                                                                               \
    api.name = reinterpret_cast<type>(lookup == Lookup::kByName ? symbol(#name) : ordinal(number));                    \
    complete = complete && api.name != nullptr;
    VEXA_EXPORT_LIST(VEXA_RESOLVE)
#undef VEXA_RESOLVE
    return loaded() && complete;
}

const VexaApi &Vexa() {
    static const VexaApi api = [] {
        VexaApi byName;
        VexaModule::instance().resolve(Lookup::kByName, byName);
        return byName;
    }();
    return api;
}
