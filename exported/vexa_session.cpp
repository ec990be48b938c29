// VEXALIB's set-up exports: the global engine, detection, camera number,
// initialise, start, stop and unload.
#include "exported/vexa_engine.h"

#include "exported/include/vexalib.h"

namespace {

// Static storage duration, so the settings live as long as the module.
CameraEngine theEngine;

} // namespace

CameraEngine &vexa::globalEngine() {
    return theEngine;
}

bool vexa::cameraInUse(const CameraEngine &engine) {
    // Initialize allocates consumerBuffer last, and only CloseCamera frees it.
    return engine.IsRunning() || (engine.CameraOpen() && engine.consumerBuffer != nullptr);
}

extern "C" {

int32_t VEXA_CALL VexaInitialize(void) {
    vexa::releaseFrameBuffers();
    return vexa::globalEngine().Initialize() ? 1 : 0;
}

int32_t VEXA_CALL VexaStart(void) {
    CameraEngine &engine = vexa::globalEngine();
    // Without a successful Initialize the engine refuses and running stays false.
    engine.StartAcquisition();
    return engine.IsRunning() ? 1 : 0;
}

int32_t VEXA_CALL VexaStop(void) {
    vexa::globalEngine().StopAcquisition();
    vexa::releaseFrameBuffers();
    return 1;
}

int32_t VEXA_CALL VexaUnload(void) {
    // CloseCamera ends a running acquisition thread before it frees the
    // buffers that thread fills.
    vexa::globalEngine().CloseCamera();
    vexa::releaseFrameBuffers();
    return 1;
}

int32_t VEXA_CALL VexaSetSensorType(void) {
    CameraEngine &engine = vexa::globalEngine();
    // Detection starts and stops the camera's transport and takes a camera
    // record again (perhaps of another camera number): under an initialised
    // camera it would stop the camera the buffers were sized for.
    if (vexa::cameraInUse(engine)) {
        return 1;
    }
    engine.sensorType = engine.DetectSensorType();
    return 1;
}

int32_t VEXA_CALL VexaSetCameraNumber(int32_t number) {
    vexa::globalEngine().cameraNumber = number;
    return 1;
}

int32_t VEXA_CALL VexaGetCameraNumber(int32_t *number) {
    if (number != nullptr) {
        *number = vexa::globalEngine().cameraNumber;
    }
    return 1;
}

} // extern "C"
