// Oriscope.dll's entry point: records the module and calls the class
// table's init routines when the module loads and unloads.
#include "filter/framework/framework.h"
#include "filter/oriscope_module.h"

namespace {
// The Windows version the module was loaded on (GetVersion's packed form).
DWORD systemVersion = 0;

void CallInitRoutines(BOOL loading) {
    const FactoryTemplate *table = ModuleClassTable();
    for (int i = 0; i < ModuleClassCount(); ++i)
        if (table[i].init != nullptr)
            table[i].init(loading, table[i].classId);
}
} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(module);
        ComModule::SetInstance(module);
        systemVersion = GetVersion();
        CallInitRoutines(TRUE);
    } else if (reason == DLL_PROCESS_DETACH) {
        CallInitRoutines(FALSE);
    }
    return TRUE;
}
