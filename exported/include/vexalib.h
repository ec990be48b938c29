/* vexalib.h: the VEXALIB exported function library, for host programs in C and C++.
 *
 * VEXALIB drives one camera without DirectShow: it opens the camera, runs an
 * acquisition thread that keeps the newest raw frame, and hands that frame to
 * the host as raw 8-bit Bayer samples or as packed 24-bit colour pixels.
 *
 * Module and calling convention
 *   Windows: VEXALIB.dll, 32-bit. Every function is __stdcall (VEXA_CALL) and
 *   exported under its plain name (no leading underscore, no @N suffix) with a
 *   fixed ordinal, given below as [ordinal N]. Link libVEXALIB.dll.a, or load
 *   the DLL with LoadLibrary and take each function with GetProcAddress by name
 *   or by ordinal (MAKEINTRESOURCEA(N)), casting to the Vexa...Proc types.
 *   The DLL imports midlib.dll, the camera's imaging library, by name.
 *   Linux: libvexalib.so with the same 26 names (default calling convention),
 *   importing libmidlib.so.
 *
 * Results
 *   Every function returns a 32-bit integer: 1 or 0 where a result is stated,
 *   otherwise always 1. Nothing else is reported; a failed sensor register
 *   access is signalled by a short beep (300 Hz, 100 ms) on Windows.
 *
 * Calling order
 *   1. Optionally VexaSetCameraNumber, then VexaSetSensorType to detect the
 *      sensor model (without it the library assumes 1280 x 1024).
 *   2. Settings that shape the frame (VexaSetCaptureResolution, VexaSetRegion)
 *      and VexaSetGain.
 *   3. VexaInitialize; on 0 stop here.
 *   4. Settings that need an open camera: shutter, registers, camera number.
 *   5. VexaStart, then VexaGetBitmap as often as wanted (gain and flips may
 *      change meanwhile).
 *   6. VexaStop. To run again, go back to step 3.
 *   VexaGetSingleBitmap is the alternative to steps 5 and 6 for single frames.
 *   Before unloading the library (or leaving the process) call VexaStop, or
 *   VexaUnload when acquisition never started: the library releases nothing
 *   by itself when it is unloaded.
 *
 * Frame size
 *   No function reports the frame size; it follows from the settings made
 *   before VexaInitialize:
 *     sensor: 1280 x 1024, 1600 x 1200 or 2048 x 1536 (register 0x00, read with
 *             VexaGetRegVal after VexaInitialize, tells which: its high byte is
 *             0x84, 0x85 or 0x16 respectively);
 *     mode 0 Full: the sensor size; 1 Half: half of each side; 2 Quarter: a
 *     quarter of each side; 3 Custom: the region's width x height.
 *   Below, W x H is that frame size.
 *
 * Threads
 *   The library holds one camera for the whole process and takes no lock of
 *   its own: call every function from one thread (or serialise the calls
 *   yourself). Its own acquisition thread is started by VexaStart and ended
 *   by VexaStop.
 */
#pragma once

#include <stdint.h>

#if defined(_WIN32)
#define VEXA_CALL __stdcall
#if defined(VEXALIB_BUILDING)
#define VEXA_API
#else
#define VEXA_API __declspec(dllimport)
#endif
#else
#define VEXA_CALL
#define VEXA_API __attribute__((visibility("default")))
#endif

/* Codes of the `format` argument of the bitmap functions. */
#define VEXA_FORMAT_RAW 0 /* W x H raw 8-bit Bayer samples, as the camera delivered them */
#define VEXA_FORMAT_COLOUR                                                                                             \
    1 /* W x H pixels of 3 bytes (blue, green, red), rows without padding,                                             \
         first row = top of the picture */

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Set-up ------------------------------------------------------------ */

/* [ordinal 1] Opens camera VexaSetCameraNumber (default 1), programs the
 * sensor for the sensor type, resolution mode and region set before, and
 * allocates the frame buffers. Returns 1 on success, 0 when the camera cannot
 * be opened or memory is short. Calling it again re-initialises from scratch
 * (a running acquisition is stopped first). */
VEXA_API int32_t VEXA_CALL VexaInitialize(void);

/* [ordinal 2] Starts the acquisition thread. Returns 1 when acquisition runs
 * (also when it already ran), 0 without a successful VexaInitialize. */
VEXA_API int32_t VEXA_CALL VexaStart(void);

/* [ordinal 3] Ends the acquisition thread (if it runs) and closes the camera.
 * Always 1; safe to call at any time, also twice. */
VEXA_API int32_t VEXA_CALL VexaStop(void);

/* [ordinal 4] Closes the camera where acquisition never started; while
 * acquisition runs it first ends the thread, like VexaStop. Nothing happens
 * when no camera is open. Always 1. */
VEXA_API int32_t VEXA_CALL VexaUnload(void);

/* [ordinal 24] Detects the sensor model of camera VexaSetCameraNumber from its
 * chip and keeps it for the next VexaInitialize. A failed detection leaves a
 * type of 0 (no camera) or -1 (no system directory), and VexaInitialize then
 * gives a 0 x 0 frame. While the camera of a successful VexaInitialize is
 * held (until VexaStop or VexaUnload) detection would stop that camera, so
 * the call then changes nothing. Always 1. */
VEXA_API int32_t VEXA_CALL VexaSetSensorType(void);

/* [ordinal 22] Camera to use, counted from 1, for the next VexaSetSensorType
 * or VexaInitialize. Not checked here; a camera that does not exist makes
 * those fail. Always 1. */
VEXA_API int32_t VEXA_CALL VexaSetCameraNumber(int32_t number);

/* [ordinal 23] Stores the camera number in *number. Always 1. */
VEXA_API int32_t VEXA_CALL VexaGetCameraNumber(int32_t *number);

/* ---- Frames -------------------------------------------------------------- */

/* [ordinal 5] Takes the newest frame of the acquisition thread that no earlier
 * call has taken: a frame is never delivered twice. When none is there it
 * sleeps 1 ms and looks again, up to `retries` times (about `retries`
 * milliseconds), and gives up early once acquisition has ended; with retries 0
 * it returns at once.
 * Returns 1 when a frame was taken, 0 otherwise (the buffer is then untouched).
 * buffer: NULL only consumes the frame. Otherwise, by format:
 *   VEXA_FORMAT_RAW:    at least W x H bytes.
 *   VEXA_FORMAT_COLOUR: at least W x H x 4 bytes; the picture is the first
 *                       W x H x 3 bytes (3-byte pixels). The bytes after it
 *                       are not part of the picture and may be left as they
 *                       were.
 *   any other code:     nothing is written (the frame is still consumed).
 * reserved: ignored, pass 0. Flips and gain apply from the next frame. */
VEXA_API int32_t VEXA_CALL VexaGetBitmap(uint8_t *buffer, int32_t reserved, int32_t format, uint32_t retries);

/* [ordinal 6] Grabs one frame directly from the camera on the calling thread,
 * after VexaInitialize and without VexaStart: up to `attempts` tries, one
 * right after the other. Returns 1 on success; 0 when attempts <= 0, when no
 * camera is initialised, while acquisition runs (use VexaGetBitmap then), or
 * when every attempt failed. On 0 no frame was delivered (a colour buffer is
 * untouched; a raw buffer may hold what a failed grab left there).
 * buffer: VEXA_FORMAT_RAW: at least the camera's raw frame size as the
 * imaging library reports it (W x H bytes for the 8-bit frames of this
 * library's set-up); the raw frame goes straight there. VEXA_FORMAT_COLOUR: at
 * least W x H x 4 bytes, as for VexaGetBitmap. Any other code, or NULL:
 * nothing is written (the frame is grabbed into the library's own buffer).
 * reserved: ignored, pass 0. */
VEXA_API int32_t VEXA_CALL VexaGetSingleBitmap(uint8_t *buffer, int32_t reserved, int32_t format, int32_t attempts);

/* [ordinal 25] While acquisition runs, writes the next frame (waiting about
 * two seconds at most) as a 24-bit colour BMP file to `path` (an 8-bit string
 * in the process's code page) and then returns; returns at once when
 * acquisition is not running or path is NULL. The frame it takes is not
 * delivered to VexaGetBitmap. Always 1. */
VEXA_API int32_t VEXA_CALL VexaCaptureStillImage(const char *path);

/* ---- Camera settings ----------------------------------------------------- */

/* [ordinal 7] Gain: |gain| modulo 100, kept and written to the sensor when a
 * camera is open; VexaInitialize applies it again. Default 25. Always 1. */
VEXA_API int32_t VEXA_CALL VexaSetGain(int32_t gain);
/* [ordinal 8] Stores the gain in *gain. Always 1. */
VEXA_API int32_t VEXA_CALL VexaGetGain(int32_t *gain);

/* [ordinal 9] Resolution mode for the next VexaInitialize: 0 Full, 1 Half,
 * 2 Quarter, 3 Custom (the region). Other values are ignored. Always 1. */
VEXA_API int32_t VEXA_CALL VexaSetCaptureResolution(int32_t mode);
/* [ordinal 10] Stores the resolution mode in *mode. Always 1. */
VEXA_API int32_t VEXA_CALL VexaGetCaptureResolution(int32_t *mode);

/* [ordinal 26] Custom region (mode 3) for the next VexaInitialize. It must lie
 * inside the sensor, at least 5 x 5, with no negative values; otherwise the
 * previous region stays, silently. Always 1. */
VEXA_API int32_t VEXA_CALL VexaSetRegion(int32_t x, int32_t y, int32_t width, int32_t height);

/* [ordinal 11] Shutter delay: |value|, at most 2000, written to sensor
 * register 0x0C. Needs an initialised camera: without one nothing happens,
 * and the value is not kept for a later VexaInitialize. Always 1. */
VEXA_API int32_t VEXA_CALL VexaSetShutterDelay(int32_t value);
/* [ordinal 12] Stores sensor register 0x0C as read from the camera in *value;
 * -1 when no camera is open or the read fails. Always 1. */
VEXA_API int32_t VEXA_CALL VexaGetShutterDelay(int32_t *value);

/* [ordinal 13] Shutter width: |value|, at most 15000, written to sensor
 * register 0x09; needs an initialised camera, like VexaSetShutterDelay. Always 1. */
VEXA_API int32_t VEXA_CALL VexaSetShutterWidth(int32_t value);
/* [ordinal 14] Stores sensor register 0x09 as read in *value; -1 when no
 * camera is open or the read fails. Always 1. */
VEXA_API int32_t VEXA_CALL VexaGetShutterWidth(int32_t *value);

/* [ordinal 16] Mirrors colour frames left to right when the low byte of flag
 * is not 0; from the next conversion. Always 1. */
VEXA_API int32_t VEXA_CALL VexaSetFlipHorizontal(int32_t flag);
/* [ordinal 15] Stores 1 or 0 in the one byte at *flag. Always 1. */
VEXA_API int32_t VEXA_CALL VexaGetFlipHorizontal(uint8_t *flag);
/* [ordinal 18] Turns colour frames upside down when the low byte of flag is
 * not 0; from the next conversion. Always 1. */
VEXA_API int32_t VEXA_CALL VexaSetFlipVertical(int32_t flag);
/* [ordinal 17] Stores 1 or 0 in the one byte at *flag. Always 1. */
VEXA_API int32_t VEXA_CALL VexaGetFlipVertical(uint8_t *flag);

/* [ordinal 19] Writes the 16-bit value to sensor register reg (0 to 255) of
 * the open camera; no camera or a failed write beeps. Always 1. */
VEXA_API int32_t VEXA_CALL VexaSetRegVal(int32_t reg, int32_t value);
/* [ordinal 20] Stores sensor register reg (0 to 255) in *value: its 16-bit
 * value, or -1 (with the beep) when no camera is open or the read fails.
 * Always 1. */
VEXA_API int32_t VEXA_CALL VexaGetRegVal(int32_t reg, int32_t *value);

/* [ordinal 21] Stores the camera's identification number in *number:
 * register 0xCD x 10000 + register 0xCF; 0 when no camera is open. Always 1. */
VEXA_API int32_t VEXA_CALL VexaGetCamSN(int32_t *number);

/* Getters: a NULL pointer is ignored (the call does nothing and returns 1). */

/* ---- Function pointer types for hosts that load the library at run time -- */

typedef int32_t(VEXA_CALL *VexaInitializeProc)(void);
typedef int32_t(VEXA_CALL *VexaStartProc)(void);
typedef int32_t(VEXA_CALL *VexaStopProc)(void);
typedef int32_t(VEXA_CALL *VexaUnloadProc)(void);
typedef int32_t(VEXA_CALL *VexaGetBitmapProc)(uint8_t *buffer, int32_t reserved, int32_t format, uint32_t retries);
typedef int32_t(VEXA_CALL *VexaGetSingleBitmapProc)(uint8_t *buffer, int32_t reserved, int32_t format,
                                                    int32_t attempts);
typedef int32_t(VEXA_CALL *VexaSetIntProc)(int32_t value);  /* SetGain, SetCaptureResolution, SetShutter...,
                                                               SetCameraNumber */
typedef int32_t(VEXA_CALL *VexaGetIntProc)(int32_t *value); /* GetGain, GetCaptureResolution, GetShutter...,
                                                               GetCamSN, GetCameraNumber */
typedef int32_t(VEXA_CALL *VexaSetFlagProc)(int32_t flag);  /* SetFlipHorizontal, SetFlipVertical */
typedef int32_t(VEXA_CALL *VexaGetFlagProc)(uint8_t *flag); /* GetFlipHorizontal, GetFlipVertical */
typedef int32_t(VEXA_CALL *VexaSetRegValProc)(int32_t reg, int32_t value);
typedef int32_t(VEXA_CALL *VexaGetRegValProc)(int32_t reg, int32_t *value);
typedef int32_t(VEXA_CALL *VexaSetSensorTypeProc)(void);
typedef int32_t(VEXA_CALL *VexaCaptureStillImageProc)(const char *path);
typedef int32_t(VEXA_CALL *VexaSetRegionProc)(int32_t x, int32_t y, int32_t width, int32_t height);

#ifdef __cplusplus
}
#endif
