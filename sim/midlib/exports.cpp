// The library's exported functions: the contract's mi_OpenCameras and
// mi_CloseCameras, the record operations they hand out, and the midsim_*
// control API. Each forwards to the one SimLibrary.
#include "engine/midlib.h"
#include "sim/midlib/midlib_sim.h"
#include "sim/midlib/sim_library.h"

using midsim::SimLibrary;

namespace {

std::uint16_t MIDLIB_CALL startCamera(CameraRecord *camera) {
    return SimLibrary::instance().startCamera(camera);
}

std::uint16_t MIDLIB_CALL stopCamera(CameraRecord *camera) {
    return SimLibrary::instance().stopCamera(camera);
}

std::uint16_t MIDLIB_CALL getSensorRegister(CameraRecord *camera, std::uint8_t busAddress, std::uint8_t reg,
                                            std::uint16_t *value) {
    return SimLibrary::instance().getRegister(camera, busAddress, reg, value);
}

std::uint16_t MIDLIB_CALL setSensorRegister(CameraRecord *camera, std::uint8_t busAddress, std::uint8_t reg,
                                            std::uint16_t value) {
    return SimLibrary::instance().setRegister(camera, busAddress, reg, value);
}

std::uint16_t MIDLIB_CALL acquireFrame(CameraRecord *camera, std::uint8_t *buffer, std::uint32_t bufferSize) {
    return SimLibrary::instance().acquireFrame(camera, buffer, bufferSize);
}

std::uint16_t MIDLIB_CALL setFrameFormat(CameraRecord *camera, std::int32_t width, std::int32_t height,
                                         std::int32_t bitDepth, std::int32_t /*reserved*/) {
    return SimLibrary::instance().setFrameFormat(camera, width, height, bitDepth);
}

} // namespace

void midsim::installOperations(CameraRecord &record) {
    record.StartCamera = startCamera;
    record.StopCamera = stopCamera;
    record.GetSensorRegister = getSensorRegister;
    record.SetSensorRegister = setSensorRegister;
    record.AcquireFrame = acquireFrame;
    record.SetFrameFormat = setFrameFormat;
}

MIDLIB_API std::uint16_t MIDLIB_CALL mi_OpenCameras(CameraRecord **cameraArray, std::uint16_t *cameraCount,
                                                    const char *sensorDataPath) {
    return SimLibrary::instance().openCameras(cameraArray, cameraCount, sensorDataPath);
}

MIDLIB_API std::uint16_t MIDLIB_CALL mi_CloseCameras(void) {
    return SimLibrary::instance().closeCameras();
}

MIDSIM_API int MIDSIM_CALL midsim_Configure(const char *config) {
    return SimLibrary::instance().configure(config);
}

MIDSIM_API void MIDSIM_CALL midsim_SetOpenFailure(int fail) {
    SimLibrary::instance().setOpenFailure(fail != 0);
}

MIDSIM_API void MIDSIM_CALL midsim_SetNoCamera(int none) {
    SimLibrary::instance().setNoCamera(none != 0);
}

MIDSIM_API void MIDSIM_CALL midsim_SetUnplugAfter(int camera, int frames) {
    SimLibrary::instance().setUnplugAfter(camera, frames);
}

MIDSIM_API void MIDSIM_CALL midsim_FailNextAcquires(int camera, int count, uint16_t status) {
    SimLibrary::instance().failNextAcquires(camera, count, status);
}

MIDSIM_API void MIDSIM_CALL midsim_FailRegisterReads(int camera, int reg, int enable) {
    SimLibrary::instance().failRegisters(camera, reg, enable != 0, false);
}

MIDSIM_API void MIDSIM_CALL midsim_FailRegisterWrites(int camera, int reg, int enable) {
    SimLibrary::instance().failRegisters(camera, reg, enable != 0, true);
}

MIDSIM_API void MIDSIM_CALL midsim_SetPace(int camera, int framesPerSecond) {
    SimLibrary::instance().setPace(camera, framesPerSecond);
}

MIDSIM_API int MIDSIM_CALL midsim_PeekRegister(int camera, int reg) {
    return SimLibrary::instance().peekRegister(camera, reg);
}

MIDSIM_API void MIDSIM_CALL midsim_PokeRegister(int camera, int reg, uint16_t value) {
    SimLibrary::instance().pokeRegister(camera, reg, value);
}

MIDSIM_API int MIDSIM_CALL midsim_EventCount(void) {
    return SimLibrary::instance().eventCount();
}

MIDSIM_API int MIDSIM_CALL midsim_GetEvent(int index, MidsimEvent *event) {
    return event != nullptr && SimLibrary::instance().event(index, *event) ? 1 : 0;
}

MIDSIM_API void MIDSIM_CALL midsim_ClearLog(void) {
    SimLibrary::instance().clearLog();
}

MIDSIM_API void MIDSIM_CALL midsim_LogAcquires(int enable) {
    SimLibrary::instance().logAcquires(enable != 0);
}

MIDSIM_API int MIDSIM_CALL midsim_LastSensorDataPath(char *path, int size) {
    return SimLibrary::instance().lastSensorDataPath(path, size);
}

MIDSIM_API int MIDSIM_CALL midsim_OpenRecords(void) {
    return SimLibrary::instance().openRecords();
}

MIDSIM_API int MIDSIM_CALL midsim_FramesDelivered(int camera) {
    return SimLibrary::instance().framesDelivered(camera);
}

MIDSIM_API int MIDSIM_CALL midsim_CameraStarted(int camera) {
    return SimLibrary::instance().cameraStarted(camera) ? 1 : 0;
}

MIDSIM_API int MIDSIM_CALL midsim_RenderFrame(int camera, uint8_t *buffer, uint32_t size) {
    return static_cast<int>(SimLibrary::instance().renderFrame(camera, buffer, size));
}
