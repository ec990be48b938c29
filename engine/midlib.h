// The imaging library's contract: the camera and sensor records it hands out
// and the two functions both deliverables import from it by name.
//
// The library owns every record. We read only the members declared here; the
// reserved arrays keep them at the library's byte offsets. In the 32-bit
// Windows build those offsets are exact (checked below); 64-bit builds (Linux
// and Windows) keep the same members in the same order with natural alignment.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define MIDLIB_CALL __cdecl
#if defined(MIDLIB_BUILDING)
#define MIDLIB_API extern "C" __declspec(dllexport)
#else
#define MIDLIB_API extern "C" __declspec(dllimport)
#endif
#else
#define MIDLIB_CALL
#define MIDLIB_API extern "C" __attribute__((visibility("default")))
#endif

struct CameraRecord;

// Status values of AcquireFrame beyond 0 (success): 3 means the camera can no
// longer deliver; any other value means "no frame this time, try again".
inline constexpr std::uint16_t kMiSuccess = 0;
inline constexpr std::uint16_t kMiCameraGone = 3;

// Room the caller provides for camera pointers, and the longest sensor data path.
inline constexpr int kMiMaxCameras = 20;
inline constexpr int kMiMaxPath = 260;

using MiStartCamera = std::uint16_t(MIDLIB_CALL *)(CameraRecord *camera);
using MiStopCamera = std::uint16_t(MIDLIB_CALL *)(CameraRecord *camera);
using MiGetSensorRegister = std::uint16_t(MIDLIB_CALL *)(CameraRecord *camera, std::uint8_t busAddress,
                                                         std::uint8_t reg, std::uint16_t *value);
using MiSetSensorRegister = std::uint16_t(MIDLIB_CALL *)(CameraRecord *camera, std::uint8_t busAddress,
                                                         std::uint8_t reg, std::uint16_t value);
using MiAcquireFrame = std::uint16_t(MIDLIB_CALL *)(CameraRecord *camera, std::uint8_t *buffer,
                                                    std::uint32_t bufferSize);
using MiSetFrameFormat = std::uint16_t(MIDLIB_CALL *)(CameraRecord *camera, std::int32_t width, std::int32_t height,
                                                      std::int32_t bitDepth, std::int32_t reserved);

struct SensorRecord {
    std::uint8_t reserved0[0xD4];
    std::int32_t rawWidth;  // 0xD4: pixels per delivered row
    std::int32_t rawHeight; // 0xD8: rows per delivered frame
    std::uint8_t reserved1[0xE8 - 0xDC];
    std::uint32_t frameBufferSize; // 0xE8: bytes of one raw frame
    std::uint8_t reserved2[0xF0 - 0xEC];
    std::uint8_t busAddress; // 0xF0: the sensor's bus address
    std::uint8_t reserved3[15];
};

struct CameraRecord {
    std::uint8_t reserved0[412];
    SensorRecord *sensor; // 412 (0x19C)
    std::uint8_t reserved1[0x256448 - 416];
    MiStartCamera StartCamera;             // 0x256448
    MiStopCamera StopCamera;               // 0x25644C
    MiGetSensorRegister GetSensorRegister; // 0x256450
    MiSetSensorRegister SetSensorRegister; // 0x256454
    std::uint8_t reserved2[0x256460 - 0x256458];
    MiAcquireFrame AcquireFrame; // 0x256460
    std::uint8_t reserved3[0x256468 - 0x256464];
    MiSetFrameFormat SetFrameFormat; // 0x256468
    std::uint8_t reserved4[12];
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(offsetof(SensorRecord, rawWidth) == 0xD4);
static_assert(offsetof(SensorRecord, rawHeight) == 0xD8);
static_assert(offsetof(SensorRecord, frameBufferSize) == 0xE8);
static_assert(offsetof(SensorRecord, busAddress) == 0xF0);
static_assert(offsetof(CameraRecord, sensor) == 412);
static_assert(offsetof(CameraRecord, StartCamera) == 0x256448);
static_assert(offsetof(CameraRecord, StopCamera) == 0x25644C);
static_assert(offsetof(CameraRecord, GetSensorRegister) == 0x256450);
static_assert(offsetof(CameraRecord, SetSensorRegister) == 0x256454);
static_assert(offsetof(CameraRecord, AcquireFrame) == 0x256460);
static_assert(offsetof(CameraRecord, SetFrameFormat) == 0x256468);
#endif

// Fills cameraArray (room for kMiMaxCameras) and cameraCount; returns 0 on success.
MIDLIB_API std::uint16_t MIDLIB_CALL mi_OpenCameras(CameraRecord **cameraArray, std::uint16_t *cameraCount,
                                                    const char *sensorDataPath);
// Releases every record handed out by mi_OpenCameras.
MIDLIB_API std::uint16_t MIDLIB_CALL mi_CloseCameras(void);
