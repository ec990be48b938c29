/* Control API of the simulated imaging library, for tests that run in the
 * same process as the library. Configuration uses the same key=value text
 * as the MIDLIB_SIM environment variable (see the README).
 *
 * Cameras are numbered from 0 in the order mi_OpenCameras lists them.
 * Every function is safe to call from any thread. */
#pragma once

#include <stdint.h>

#if defined(_WIN32)
#define MIDSIM_CALL __cdecl
#if defined(MIDLIB_BUILDING)
#define MIDSIM_API __declspec(dllexport)
#else
#define MIDSIM_API __declspec(dllimport)
#endif
#else
#define MIDSIM_CALL
#define MIDSIM_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Replaces the whole configuration with `config` (NULL or "" = the defaults:
 * one camera of sensor type 1, variant 12, bars, sensor pacing), closes any
 * open records and clears every log and fault. Unknown keys or bad values
 * print one line to stderr, keep the default for that key, and make the
 * result non-zero; 0 means every key was understood. */
MIDSIM_API int MIDSIM_CALL midsim_Configure(const char *config);

/* Faults on demand, per camera (index from 0). They may be set before the
 * camera is opened and last until the next Configure. Failing register
 * accesses (and accesses at a bus address other than the SensorRecord's)
 * return 2; AcquireFrame on a camera that is not started returns 4. */
MIDSIM_API void MIDSIM_CALL midsim_SetOpenFailure(int fail); /* mi_OpenCameras returns non-zero */
MIDSIM_API void MIDSIM_CALL midsim_SetNoCamera(int none);    /* mi_OpenCameras succeeds with 0 cameras */
/* Unplug after `frames` more frames (<0: never; 0: at once): on an open camera
 * counted from this call, otherwise from the next open. AcquireFrame then
 * returns 3 until the library is closed and opened again. */
MIDSIM_API void MIDSIM_CALL midsim_SetUnplugAfter(int camera, int frames);
/* The next `count` AcquireFrame calls return `status` (not 0, not 3) instead of a frame. */
MIDSIM_API void MIDSIM_CALL midsim_FailNextAcquires(int camera, int count, uint16_t status);
/* Register access failures: reg -1 = every register; enable 0 restores. */
MIDSIM_API void MIDSIM_CALL midsim_FailRegisterReads(int camera, int reg, int enable);
MIDSIM_API void MIDSIM_CALL midsim_FailRegisterWrites(int camera, int reg, int enable);

/* Pacing: 0 = as fast as asked (free-running), > 0 = that many frames per
 * second, < 0 = the frame time the sensor registers imply. */
MIDSIM_API void MIDSIM_CALL midsim_SetPace(int camera, int framesPerSecond);

/* Direct register access that bypasses the log and the fault injection. */
MIDSIM_API int MIDSIM_CALL midsim_PeekRegister(int camera, int reg); /* -1 when no such camera */
MIDSIM_API void MIDSIM_CALL midsim_PokeRegister(int camera, int reg, uint16_t value);

/* The log of library calls, oldest first, since the last Configure or ClearLog. */
enum MidsimEventKind {
    MIDSIM_OPEN = 1,   /* mi_OpenCameras; value = resulting camera count */
    MIDSIM_CLOSE = 2,  /* mi_CloseCameras */
    MIDSIM_START = 3,  /* StartCamera */
    MIDSIM_STOP = 4,   /* StopCamera */
    MIDSIM_READ = 5,   /* GetSensorRegister; value = value read; status = result */
    MIDSIM_WRITE = 6,  /* SetSensorRegister; value = value written; status = result */
    MIDSIM_FORMAT = 7, /* SetFrameFormat; width, height */
    MIDSIM_ACQUIRE = 8 /* AcquireFrame (not logged unless enabled, see below) */
};
typedef struct MidsimEvent {
    int kind;
    int camera; /* -1 for OPEN and CLOSE */
    int busAddress;
    int reg;
    int value;
    int status;
    int width, height; /* FORMAT */
} MidsimEvent;

MIDSIM_API int MIDSIM_CALL midsim_EventCount(void);
MIDSIM_API int MIDSIM_CALL midsim_GetEvent(int index, MidsimEvent *event); /* 0 when out of range */
MIDSIM_API void MIDSIM_CALL midsim_ClearLog(void);
MIDSIM_API void MIDSIM_CALL midsim_LogAcquires(int enable); /* off by default: frames would flood the log */

/* The sensor data path last passed to mi_OpenCameras, copied into `path`
 * (at most `size` bytes including the terminator); returns its length. */
MIDSIM_API int MIDSIM_CALL midsim_LastSensorDataPath(char *path, int size);

/* Counters for lifecycle checks. */
MIDSIM_API int MIDSIM_CALL midsim_OpenRecords(void); /* records alive between open and close */
MIDSIM_API int MIDSIM_CALL midsim_FramesDelivered(int camera);
MIDSIM_API int MIDSIM_CALL midsim_CameraStarted(int camera); /* 1 between StartCamera and StopCamera */

/* Renders the frame the camera would deliver now for its current format into
 * `buffer` (frameBufferSize bytes) without advancing anything; with static=1
 * this equals every delivered frame. Returns the bytes written (at most
 * `size` and frameBufferSize), 0 when there is no such camera. */
MIDSIM_API int MIDSIM_CALL midsim_RenderFrame(int camera, uint8_t *buffer, uint32_t size);

#ifdef __cplusplus
}
#endif
