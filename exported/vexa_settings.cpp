// VEXALIB's camera setting exports: gain, resolution mode, region, shutter,
// flips, raw registers and the camera identification number. Getters ignore
// a null pointer rather than crash the host.
#include "exported/vexa_engine.h"

#include "exported/include/vexalib.h"

extern "C" {

int32_t VEXA_CALL VexaSetGain(int32_t gain) {
    vexa::globalEngine().SetGain(gain);
    return 1;
}

int32_t VEXA_CALL VexaGetGain(int32_t *gain) {
    if (gain != nullptr) {
        *gain = vexa::globalEngine().GetGain();
    }
    return 1;
}

int32_t VEXA_CALL VexaSetCaptureResolution(int32_t mode) {
    vexa::globalEngine().SetResolutionMode(mode); // other values are ignored
    return 1;
}

int32_t VEXA_CALL VexaGetCaptureResolution(int32_t *mode) {
    if (mode != nullptr) {
        *mode = vexa::globalEngine().GetResolutionMode();
    }
    return 1;
}

int32_t VEXA_CALL VexaSetRegion(int32_t x, int32_t y, int32_t width, int32_t height) {
    // A rejected region keeps the previous one; the host is not told.
    vexa::globalEngine().SetRegion(x, y, width, height, nullptr);
    return 1;
}

int32_t VEXA_CALL VexaSetShutterDelay(int32_t value) {
    vexa::globalEngine().SetShutterDelay(value);
    return 1;
}

int32_t VEXA_CALL VexaGetShutterDelay(int32_t *value) {
    if (value != nullptr) {
        *value = vexa::globalEngine().GetShutterDelay(); // -1: no camera, or the read failed
    }
    return 1;
}

int32_t VEXA_CALL VexaSetShutterWidth(int32_t value) {
    vexa::globalEngine().SetShutterWidth(value);
    return 1;
}

int32_t VEXA_CALL VexaGetShutterWidth(int32_t *value) {
    if (value != nullptr) {
        *value = vexa::globalEngine().GetShutterWidth();
    }
    return 1;
}

int32_t VEXA_CALL VexaGetFlipHorizontal(uint8_t *flag) {
    if (flag != nullptr) {
        *flag = vexa::globalEngine().GetHorizontalFlip() ? 1 : 0;
    }
    return 1;
}

int32_t VEXA_CALL VexaSetFlipHorizontal(int32_t flag) {
    vexa::globalEngine().SetHorizontalFlip((flag & 0xFF) != 0); // hosts may pass a byte with garbage above it
    return 1;
}

int32_t VEXA_CALL VexaGetFlipVertical(uint8_t *flag) {
    if (flag != nullptr) {
        *flag = vexa::globalEngine().GetVerticalFlip() ? 1 : 0;
    }
    return 1;
}

int32_t VEXA_CALL VexaSetFlipVertical(int32_t flag) {
    vexa::globalEngine().SetVerticalFlip((flag & 0xFF) != 0);
    return 1;
}

int32_t VEXA_CALL VexaSetRegVal(int32_t reg, int32_t value) {
    vexa::globalEngine().WriteRegister(reg, value); // beeps on failure
    return 1;
}

int32_t VEXA_CALL VexaGetRegVal(int32_t reg, int32_t *value) {
    if (value != nullptr) {
        *value = vexa::globalEngine().ReadRegister(reg); // -1 and a beep on failure
    }
    return 1;
}

int32_t VEXA_CALL VexaGetCamSN(int32_t *number) {
    if (number != nullptr) {
        *number = vexa::globalEngine().GetCameraId();
    }
    return 1;
}

} // extern "C"
