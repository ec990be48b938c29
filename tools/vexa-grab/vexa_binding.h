// The VEXALIB functions vexa-grab calls, bound the way a customer's program
// binds them: LoadLibrary + GetProcAddress by name on Windows, the linked
// shared library elsewhere.
#pragma once

#include <string>

#include "vexalib.h"

struct VexaFunctions {
    VexaSetIntProc setCameraNumber = nullptr;
    VexaSetSensorTypeProc setSensorType = nullptr;
    VexaSetIntProc setCaptureResolution = nullptr;
    VexaSetRegionProc setRegion = nullptr;
    VexaSetIntProc setGain = nullptr;
    VexaGetIntProc getGain = nullptr;
    VexaSetFlagProc setFlipHorizontal = nullptr;
    VexaSetFlagProc setFlipVertical = nullptr;
    VexaInitializeProc initialize = nullptr;
    VexaSetIntProc setShutterDelay = nullptr;
    VexaGetIntProc getShutterDelay = nullptr;
    VexaSetIntProc setShutterWidth = nullptr;
    VexaGetIntProc getShutterWidth = nullptr;
    VexaGetRegValProc getRegVal = nullptr;
    VexaGetIntProc getCamSN = nullptr;
    VexaStartProc start = nullptr;
    VexaGetBitmapProc getBitmap = nullptr;
    VexaGetSingleBitmapProc getSingleBitmap = nullptr;
    VexaCaptureStillImageProc captureStillImage = nullptr;
    VexaStopProc stop = nullptr;
    VexaUnloadProc unload = nullptr;
};

// Binds every function; false with a message naming what is missing.
bool BindVexa(VexaFunctions &functions, std::string &message);
