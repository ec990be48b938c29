// Binding the VEXALIB functions: by name from VEXALIB.dll at run time on
// Windows, from the linked libvexalib.so elsewhere.
#include "vexa_binding.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

#if defined(_WIN32)

template <typename Function> bool Bind(HMODULE module, const char *name, Function &target, std::string &missing) {
    target = reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(module, name)));
    if (target == nullptr) {
        missing += missing.empty() ? name : std::string(", ") + name;
    }
    return target != nullptr;
}

#define VEXA_BIND(member, name) Bind(module, #name, f.member, missing)

#else

template <typename Function> bool Bind(Function function, Function &target) {
    target = function;
    return true;
}

#define VEXA_BIND(member, name) Bind<decltype(f.member)>(&name, f.member)

#endif

} // namespace

bool BindVexa(VexaFunctions &f, std::string &message) {
    std::string missing;
#if defined(_WIN32)
    HMODULE module = LoadLibraryA("VEXALIB.dll");
    if (module == nullptr) {
        message = "cannot load VEXALIB.dll (error " + std::to_string(GetLastError()) +
                  "); it and midlib.dll must be beside the program or on the PATH";
        return false;
    }
    message = "VEXALIB.dll, functions looked up by name";
#else
    message = "libvexalib.so";
#endif
    bool all = true;
    all &= VEXA_BIND(setCameraNumber, VexaSetCameraNumber);
    all &= VEXA_BIND(setSensorType, VexaSetSensorType);
    all &= VEXA_BIND(setCaptureResolution, VexaSetCaptureResolution);
    all &= VEXA_BIND(setRegion, VexaSetRegion);
    all &= VEXA_BIND(setGain, VexaSetGain);
    all &= VEXA_BIND(getGain, VexaGetGain);
    all &= VEXA_BIND(setFlipHorizontal, VexaSetFlipHorizontal);
    all &= VEXA_BIND(setFlipVertical, VexaSetFlipVertical);
    all &= VEXA_BIND(initialize, VexaInitialize);
    all &= VEXA_BIND(setShutterDelay, VexaSetShutterDelay);
    all &= VEXA_BIND(getShutterDelay, VexaGetShutterDelay);
    all &= VEXA_BIND(setShutterWidth, VexaSetShutterWidth);
    all &= VEXA_BIND(getShutterWidth, VexaGetShutterWidth);
    all &= VEXA_BIND(getRegVal, VexaGetRegVal);
    all &= VEXA_BIND(getCamSN, VexaGetCamSN);
    all &= VEXA_BIND(start, VexaStart);
    all &= VEXA_BIND(getBitmap, VexaGetBitmap);
    all &= VEXA_BIND(getSingleBitmap, VexaGetSingleBitmap);
    all &= VEXA_BIND(captureStillImage, VexaCaptureStillImage);
    all &= VEXA_BIND(stop, VexaStop);
    all &= VEXA_BIND(unload, VexaUnload);
    if (!all) {
        message = "VEXALIB lacks " + missing;
    }
    return all;
}
