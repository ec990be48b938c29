// VEXALIB.dll's entry point: the C runtime has already built the global
// engine; nothing else is done for any reason.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD /*reason*/, LPVOID /*reserved*/) {
    return TRUE;
}
