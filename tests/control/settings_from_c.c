/* ICameraSettings from a C program: the public header's C declarations, the
 * vtable slots and a few calls through the lpVtbl macros. */
#include <stddef.h>
#include <stdio.h>

#include "camera_settings.h"

/* The slot numbers applications rely on (0 to 2 are IUnknown's). */
#define SLOT(method) (offsetof(ICameraSettingsVtbl, method) / sizeof(void *))
_Static_assert(SLOT(GetCameraNumber) == 3, "slot 3");
_Static_assert(SLOT(CaptureStillImage) == 11, "slot 11");
_Static_assert(SLOT(GetRegVal) == 16, "slot 16");
_Static_assert(SLOT(SetRegionEx) == 25, "slot 25");
_Static_assert(SLOT(SetSensorType) == 29, "slot 29");
_Static_assert(SLOT(CaptureStillToBuffer) == 34, "slot 34");
_Static_assert(SLOT(GetExposureTiming) == 38, "slot 38");
_Static_assert(SLOT(SetWeightedGray) == 45, "slot 45");
_Static_assert(SLOT(GetFrameRate) == 47, "slot 47");
_Static_assert(SLOT(SetBlankOutput) == 49, "slot 49");
_Static_assert(sizeof(ICameraSettingsVtbl) == 50 * sizeof(void *), "50 slots");
_Static_assert(sizeof(CameraFlag) == 1, "flags are one byte");

static int Fail(char *problem, int problemSize, const char *what) {
    snprintf(problem, (size_t)problemSize, "%s", what);
    return 1;
}

int CameraSettingsFromC(IUnknown *filter, char *problem, int problemSize) {
    ICameraSettings *settings = NULL;
    int gain = 0, x = 0, y = 0, width = 0, height = 0, step = 0, columns = 0, rows = 0;
    CameraFlag flip = 0, grid = 0;
    float rate = -1.0f;
    int result = 0;
    if (FAILED(filter->lpVtbl->QueryInterface(filter, &IID_ICameraSettings, (void **)&settings)))
        return Fail(problem, problemSize, "QueryInterface(IID_ICameraSettings) failed");
    if (ICameraSettings_SetGain(settings, 42) != S_OK || ICameraSettings_GetGain(settings, &gain) != S_OK || gain != 42)
        result = Fail(problem, problemSize, "gain did not come back");
    else if (ICameraSettings_SetFlipHorizontal(settings, 1) != S_OK ||
             ICameraSettings_GetFlipHorizontal(settings, &flip) != S_OK || flip != 1)
        result = Fail(problem, problemSize, "horizontal flip did not come back");
    else if (ICameraSettings_SetRegionEx(settings, 8, 4, 100, 50, 2, NULL) != S_OK ||
             ICameraSettings_GetRegionEx(settings, &x, &y, &width, &height, &step) != S_OK || x != 8 || y != 4 ||
             width != 100 || height != 50 || step != 2)
        result = Fail(problem, problemSize, "region did not come back");
    else if (ICameraSettings_SetGrid(settings, 1, 3, 4) != S_OK ||
             ICameraSettings_GetGrid(settings, &grid, &columns, &rows) != S_OK || grid != 1 || columns != 3 ||
             rows != 4)
        result = Fail(problem, problemSize, "grid did not come back");
    else if (ICameraSettings_GetFrameRate(settings, &rate) != S_OK || rate != 0.0f)
        result = Fail(problem, problemSize, "frame rate of a stopped filter is not 0");
    else if (ICameraSettings_SetBlankOutput(settings, 0) != S_OK ||
             ICameraSettings_GetGain(settings, NULL) != E_POINTER)
        result = Fail(problem, problemSize, "last slot or null check wrong");
    ICameraSettings_Release(settings);
    return result;
}
