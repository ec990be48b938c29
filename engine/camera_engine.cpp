// Camera engine set-up: sensor detection, opening and closing the camera
// through the imaging library, and programming the sensor in Initialize.
#include "engine/camera_engine.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

const wchar_t *SensorDataFileName(int sensorType) {
    switch (sensorType) {
    case 1:
        return L"\\MI-1300-ES0.sdat";
    case 2:
        return L"\\MI-2000-ES0.sdat";
    case 3:
        return L"\\MI-3000-ES0.sdat";
    default:
        return L"";
    }
}

// Sensor type from the high byte of the chip version register; 0 if unknown.
int SensorTypeFromChipVersion(std::uint16_t version) {
    switch (version >> 8) {
    case 0x84:
        return 1;
    case 0x85:
        return 2;
    case 0x16:
        return 3;
    default:
        return 0;
    }
}

} // namespace

bool SensorFullSize(int sensorType, int &width, int &height) {
    static const int sizes[3][2] = {{1280, 1024}, {1600, 1200}, {2048, 1536}};
    if (sensorType < 1 || sensorType > 3) {
        width = height = 0;
        return false;
    }
    width = sizes[sensorType - 1][0];
    height = sizes[sensorType - 1][1];
    return true;
}

CameraTable &SharedCameraTable() {
    static CameraTable table;
    return table;
}

CameraEngine::CameraEngine() = default;

CameraEngine::~CameraEngine() {
    if constexpr (kLibraryBuild) {
        // The library's engine lives until the module unloads, when joining a
        // thread or calling into another module is no longer safe: the host
        // ends with VexaStop or VexaUnload instead.
        return;
    }
    if (threadActive || holdsLibrary) {
        StopAcquisition();
    }
    CameraTable &table = SharedCameraTable();
    platform::Lock lock(table.lock);
    if (table.cameraCount > 0 && table.openCount == 0) {
        mi_CloseCameras();
        table.cameraCount = 0;
        ++table.generation;
    }
}

bool CameraEngine::SensorDataPath(std::string &path) {
    std::wstring directory;
    if (!platform::systemDirectory(directory, kMiMaxPath)) {
        if constexpr (!kLibraryBuild) {
            platform::messageBox("Could Not Find Windows System Directory", "Error");
            platform::exitProcess(0);
        }
        return false;
    }
    path = platform::narrowString(directory + SensorDataFileName(sensorType), kMiMaxPath);
    return true;
}

bool CameraEngine::CameraOpen() const {
    return camera != nullptr && cameraGeneration == SharedCameraTable().generation;
}

// Takes the record of cameraNumber from the table; the caller holds the table lock.
bool CameraEngine::TakeCameraFromTable() {
    CameraTable &table = SharedCameraTable();
    camera = nullptr;
    if (cameraNumber < 1 || cameraNumber > kMiMaxCameras || cameraNumber > table.cameraCount) {
        return false;
    }
    camera = table.cameraArray[cameraNumber - 1];
    cameraGeneration = table.generation;
    return camera != nullptr && camera->sensor != nullptr;
}

int CameraEngine::DetectSensorType() {
    // Detection restarts the camera's transport; under a running acquisition
    // it would pull the camera away from the thread, so it reports the type
    // already known instead.
    if (threadActive) {
        return sensorType;
    }
    std::string path;
    if (!SensorDataPath(path)) {
        return kLibraryBuild ? -1 : 0;
    }
    CameraTable &table = SharedCameraTable();
    platform::Lock lock(table.lock);
    // Other engines may hold records of the open library: keep their table.
    if (table.openCount == 0 || table.cameraCount == 0) {
        if (!kLibraryBuild && table.cameraCount > 0) {
            mi_CloseCameras();
            table.cameraCount = 0;
            ++table.generation;
        }
        if (mi_OpenCameras(table.cameraArray, &table.cameraCount, path.c_str()) != kMiSuccess ||
            table.cameraCount == 0) {
            return 0;
        }
    }
    if (!TakeCameraFromTable()) {
        return 0;
    }
    camera->StartCamera(camera);
    ReadSensorIdentity();
    camera->StopCamera(camera);
    return sensorType;
}

// Sensor type, variant and address mode from the identity registers of `camera`.
void CameraEngine::ReadSensorIdentity() {
    std::uint16_t value = 0;
    if (ReadSensor(0x00, value)) {
        if (int detected = SensorTypeFromChipVersion(value); detected != 0) {
            sensorType = detected;
        }
    }
    if constexpr (!kLibraryBuild) {
        if (ReadSensor(0xD7, value) && value == 0x30) {
            sensorVariant = 48;
        }
        if (ReadSensor(0xD9, value) && value == 3) {
            addressModeSensor = true;
        }
        if (sensorType == 3) {
            sensorVariant = 48;
            addressModeSensor = true;
        }
    }
}

int CameraEngine::ProbeSensorType() {
    if (threadActive || holdsLibrary) {
        return sensorType; // this engine uses the camera: its type is known
    }
    std::string path;
    if (!SensorDataPath(path)) {
        return 0;
    }
    CameraTable &table = SharedCameraTable();
    platform::Lock lock(table.lock);
    // Another engine holds the library and has its camera started: read the
    // chip's identity as it is. Starting or stopping a shared record would
    // stop that engine's frames.
    const bool othersHold = table.openCount > 0 && table.cameraCount > 0;
    bool opened = false;
    if (!othersHold) {
        if (table.cameraCount > 0) {
            mi_CloseCameras();
            table.cameraCount = 0;
            ++table.generation;
        }
        opened = mi_OpenCameras(table.cameraArray, &table.cameraCount, path.c_str()) == kMiSuccess;
    }
    int detected = 0;
    if ((othersHold || opened) && table.cameraCount > 0 && TakeCameraFromTable()) {
        if (!othersHold) {
            camera->StartCamera(camera);
        }
        ReadSensorIdentity();
        if (!othersHold) {
            camera->StopCamera(camera);
        }
        detected = sensorType;
    }
    camera = nullptr;
    if (opened) {
        mi_CloseCameras(); // nothing stays open for a filter that only looked
        table.cameraCount = 0;
        ++table.generation;
    }
    return detected;
}

bool CameraEngine::OpenCamera() {
    CameraTable &table = SharedCameraTable();
    {
        // Counted first, also when the open then fails; one count per engine.
        platform::Lock lock(table.lock);
        if (!holdsLibrary) {
            ++table.openCount;
            holdsLibrary = true;
        }
    }
    std::string path;
    if (!SensorDataPath(path)) {
        return false;
    }
    platform::Lock lock(table.lock);
    if (table.openCount == 1) {
        if (table.cameraCount > 0) {
            mi_CloseCameras();
            table.cameraCount = 0;
            ++table.generation;
        }
        if (mi_OpenCameras(table.cameraArray, &table.cameraCount, path.c_str()) != kMiSuccess ||
            table.cameraCount == 0) {
            return false;
        }
    }
    if (!TakeCameraFromTable()) {
        camera = nullptr;
        return false;
    }
    camera->StartCamera(camera);
    return true;
}

bool CameraEngine::Initialize() {
    // A second Initialize re-opens from scratch instead of leaking the
    // buffers and the open count of the first.
    if (threadActive || holdsLibrary || grabBuffer || latestFrame || consumerBuffer) {
        StopAcquisition();
    }
    {
        platform::Lock lock(frameLock);
        grabBuffer = latestFrame = consumerBuffer = nullptr;
        newFrameAvailable = false;
    }
    running = false;
    camera = nullptr;
    if (!OpenCamera()) {
        return false;
    }
    WriteSensor(0x0D, 1);
    WriteSensor(0x0D, 0);

    int fullWidth = 0;
    int fullHeight = 0;
    SensorFullSize(sensorType, fullWidth, fullHeight);
    switch (resolutionMode) {
    case kModeHalf:
        frameWidth = fullWidth / 2;
        frameHeight = fullHeight / 2;
        break;
    case kModeQuarter:
        frameWidth = fullWidth / 4;
        frameHeight = fullHeight / 4;
        break;
    case kModeCustom:
        frameWidth = regionWidth.get();
        frameHeight = regionHeight.get();
        break;
    default:
        frameWidth = fullWidth;
        frameHeight = fullHeight;
        break;
    }
    openedReadout = {qualityMode, resolutionMode, regionX, regionY, regionStep};
    ProgramFrameFormat();
    if (!AllocateBuffers()) {
        return false;
    }
    ProgramReadout();
    if (sensorVariant == 48) {
        ProgramVariant48();
    }
    SetGain(gain);
    if constexpr (!kLibraryBuild) {
        SetShutterDelay(shutterDelay);
        SetShutterWidth(shutterWidth);
    }
    return true;
}

void CameraEngine::ProgramFrameFormat() {
    SensorRecord *sensor = camera->sensor;
    if (qualityMode) {
        camera->SetFrameFormat(camera, sensor->rawWidth, sensor->rawHeight, 8, 0);
    } else {
        if (resolutionMode == kModeCustom) {
            WriteSensor(0x04, static_cast<std::uint16_t>(regionWidth - 1));
            WriteSensor(0x03, static_cast<std::uint16_t>(regionHeight - 1));
            std::uint16_t current = 0;
            if (regionY != 0 && ReadSensor(0x01, current)) {
                WriteSensor(0x01, static_cast<std::uint16_t>(current + regionY));
            }
            if (regionX != 0 && ReadSensor(0x02, current)) {
                WriteSensor(0x02, static_cast<std::uint16_t>(current + regionX));
            }
        }
        camera->SetFrameFormat(camera, frameWidth, frameHeight, 8, 0);
    }
    frameBufferSize = sensor->frameBufferSize;
    rawStride = sensor->rawWidth;
}

bool CameraEngine::AllocateBuffers() {
    // The buffers hold at least the camera's frame and the full sensor frame,
    // and every sample a conversion of frameWidth x frameHeight at the
    // current step and region may read with the camera's row length, so that
    // a camera delivering less than the settings assume cannot make a
    // consumer read past a buffer. The extra bytes are zero.
    int fullWidth = 0;
    int fullHeight = 0;
    SensorFullSize(sensorType, fullWidth, fullHeight);
    std::uint64_t bytes = std::max<std::uint64_t>(frameBufferSize, std::uint64_t(fullWidth) * fullHeight);
    bytes = std::max<std::uint64_t>(bytes, std::uint64_t(std::max(0, frameWidth.get())) *
                                               std::uint64_t(std::max(0, frameHeight.get())));
    // Same sampling as the converter: step and region only in quality mode.
    const int mode = qualityMode ? resolutionMode.get() : kModeFull;
    const std::uint64_t step = std::max(1, regionStep.get());
    const std::uint64_t stride = std::max(1, rawStride);
    if (frameWidth > 0 && frameHeight > 0) {
        const bool custom = mode == kModeCustom;
        const std::uint64_t d = custom ? step : (1u << std::min(2, mode));
        const std::uint64_t xo = custom ? std::uint64_t(std::max(0, regionX.get())) / step : 0;
        const std::uint64_t yo = custom ? std::uint64_t(std::max(0, regionY.get())) / step : 0;
        const std::uint64_t lastRow = d * (yo + std::uint64_t(frameHeight)) + 2;
        const std::uint64_t lastColumn = d * (xo + std::uint64_t(frameWidth)) + 2;
        bytes = std::max(bytes, lastRow * stride + lastColumn);
    }
    if (bytes > 0x7FFFFFFFu) {
        return false;
    }
    bufferBytes = static_cast<std::uint32_t>(bytes);
    std::uint8_t **targets[3] = {&latestFrame, &grabBuffer, &consumerBuffer};
    for (std::uint8_t **target : targets) {
        *target = new (std::nothrow) std::uint8_t[bufferBytes]();
        if (*target == nullptr) {
            return false;
        }
    }
    return true;
}

void CameraEngine::ProgramReadout() {
    const int mode = resolutionMode;
    if (qualityMode) {
        if (!addressModeSensor) {
            WriteSensor(0x20, 0x1104);
        }
        return;
    }
    if (addressModeSensor) {
        const std::uint16_t skip = mode == kModeHalf ? 0x0011 : mode == kModeQuarter ? 0x0013 : 0x0000;
        WriteSensor(0x22, skip);
        WriteSensor(0x23, skip);
        return;
    }
    WriteSensor(0x1E, mode == kModeQuarter ? 0x800C : 0x8000);
    WriteSensor(0x20, mode == kModeHalf ? 0x111C : 0x1104);
}

void CameraEngine::ProgramVariant48() {
    if (addressModeSensor) {
        WriteSensor(0x0A, 1);
        WriteSensor(0x20, 0x2000);
        return;
    }
    // A failed read leaves the register alone rather than writing a guess.
    std::uint16_t value = 0;
    if (ReadSensor(0x20, value)) {
        WriteSensor(0x20, static_cast<std::uint16_t>(value | 0x4000));
    }
}

void CameraEngine::ReleaseBuffers() {
    platform::Lock lock(frameLock);
    delete[] latestFrame;
    delete[] grabBuffer;
    delete[] consumerBuffer;
    latestFrame = grabBuffer = consumerBuffer = nullptr;
    newFrameAvailable = false;
    bufferBytes = 0;
}

bool CameraEngine::CloseCamera() {
    if (threadActive) {
        // Closing under a running thread would free the buffers it fills.
        return StopAcquisition();
    }
    CameraTable &table = SharedCameraTable();
    {
        platform::Lock lock(table.lock);
        if (holdsLibrary && CameraOpen()) {
            camera->StopCamera(camera);
        }
        camera = nullptr;
        if (holdsLibrary) {
            holdsLibrary = false;
            if (--table.openCount == 0) {
                mi_CloseCameras();
                ++table.generation;
            }
        }
    }
    ReleaseBuffers();
    return true;
}

bool CameraEngine::ReadSensor(int reg, std::uint16_t &value) {
    if (!CameraOpen() || reg < 0 || reg > 0xFF) {
        return false;
    }
    return camera->GetSensorRegister(camera, camera->sensor->busAddress, static_cast<std::uint8_t>(reg), &value) ==
           kMiSuccess;
}

bool CameraEngine::WriteSensor(int reg, std::uint16_t value) {
    if (!CameraOpen() || reg < 0 || reg > 0xFF) {
        return false;
    }
    return camera->SetSensorRegister(camera, camera->sensor->busAddress, static_cast<std::uint8_t>(reg), value) ==
           kMiSuccess;
}
