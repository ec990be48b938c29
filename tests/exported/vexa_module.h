// VEXALIB loaded the way a host loads it: LoadLibrary + GetProcAddress on
// Windows, dlopen + dlsym natively, every export looked up by name (and on
// Windows also by ordinal).
#pragma once

#include <string>

#include "exported/include/vexalib.h"

// Every export: ordinal, name, function type.
#define VEXA_EXPORT_LIST(X)                                                                                            \
    X(1, VexaInitialize, VexaInitializeProc)                                                                           \
    X(2, VexaStart, VexaStartProc)                                                                                     \
    X(3, VexaStop, VexaStopProc)                                                                                       \
    X(4, VexaUnload, VexaUnloadProc)                                                                                   \
    X(5, VexaGetBitmap, VexaGetBitmapProc)                                                                             \
    X(6, VexaGetSingleBitmap, VexaGetSingleBitmapProc)                                                                 \
    X(7, VexaSetGain, VexaSetIntProc)                                                                                  \
    X(8, VexaGetGain, VexaGetIntProc)                                                                                  \
    X(9, VexaSetCaptureResolution, VexaSetIntProc)                                                                     \
    X(10, VexaGetCaptureResolution, VexaGetIntProc)                                                                    \
    X(11, VexaSetShutterDelay, VexaSetIntProc)                                                                         \
    X(12, VexaGetShutterDelay, VexaGetIntProc)                                                                         \
    X(13, VexaSetShutterWidth, VexaSetIntProc)                                                                         \
    X(14, VexaGetShutterWidth, VexaGetIntProc)                                                                         \
    X(15, VexaGetFlipHorizontal, VexaGetFlagProc)                                                                      \
    X(16, VexaSetFlipHorizontal, VexaSetFlagProc)                                                                      \
    X(17, VexaGetFlipVertical, VexaGetFlagProc)                                                                        \
    X(18, VexaSetFlipVertical, VexaSetFlagProc)                                                                        \
    X(19, VexaSetRegVal, VexaSetRegValProc)                                                                            \
    X(20, VexaGetRegVal, VexaGetRegValProc)                                                                            \
    X(21, VexaGetCamSN, VexaGetIntProc)                                                                                \
    X(22, VexaSetCameraNumber, VexaSetIntProc)                                                                         \
    X(23, VexaGetCameraNumber, VexaGetIntProc)                                                                         \
    X(24, VexaSetSensorType, VexaSetSensorTypeProc)                                                                    \
    X(25, VexaCaptureStillImage, VexaCaptureStillImageProc)                                                            \
    X(26, VexaSetRegion, VexaSetRegionProc)

inline constexpr int kVexaExportCount = 26;

// The 26 functions of one lookup.
struct VexaApi {
#define VEXA_API_MEMBER(ordinal, name, type) type name = nullptr;
    VEXA_EXPORT_LIST(VEXA_API_MEMBER)
#undef VEXA_API_MEMBER
};

// How the functions were looked up.
enum class Lookup { kByName, kByOrdinal };

class VexaModule {
public:
    // The module, loaded once for the test program and never unloaded (the
    // library releases nothing at unload; the tests stop it instead).
    static VexaModule &instance();

    bool loaded() const { return handle != nullptr; }
    const std::string &loadError() const { return error; }
    // Address of an export by name; nullptr when there is none.
    void *symbol(const char *name) const;
    // Address of an export by ordinal (Windows); nullptr natively.
    void *ordinal(int number) const;
    // All 26 functions looked up one way; false when one is missing.
    bool resolve(Lookup lookup, VexaApi &api) const;
    // The module's file on disk.
    std::string path() const;

private:
    VexaModule();
    void *handle = nullptr;
    std::string error;
};

// The functions by name; the tests' usual way in.
const VexaApi &Vexa();
