/* ICameraSettings: the control interface of the Orvex Oriscope capture filter, for applications in
 * C++ or C. Include this header in any number of files; it needs nothing but the Windows SDK headers.
 *
 * Obtain the interface with QueryInterface(IID_ICameraSettings) on the filter (CLSID_OriscopeFilter,
 * or the "Orvex Oriscope capture" video input device). It shares the filter's identity and reference
 * count. Every method returns an HRESULT: S_OK unless stated, E_POINTER for a null out-pointer (nothing
 * changes then). Calls may come from any thread; they are serialised, and a still request keeps the
 * others waiting until it is served.
 *
 * Settings that shape the sensor's readout (camera number, resolution, region, quality mode) take effect
 * when the filter next leaves the stopped state; the others act on the next frame.
 *
 * Flags are one byte: bool in C++, unsigned char in C. */
#pragma once

#include <windows.h>
#include <unknwn.h>

#ifdef __cplusplus
typedef bool CameraFlag;
#else
typedef unsigned char CameraFlag;
#endif

/* Selectany definitions: every file may include this header, the linker keeps one copy. */
#ifdef __cplusplus
#define ORISCOPE_DEFINE_GUID extern "C" const GUID DECLSPEC_SELECTANY
#else
#define ORISCOPE_DEFINE_GUID const GUID DECLSPEC_SELECTANY
#endif
/* {E5D66F6D-3D28-4982-AF6E-D64D29533837} */
ORISCOPE_DEFINE_GUID IID_ICameraSettings = {
    0xe5d66f6d, 0x3d28, 0x4982, {0xaf, 0x6e, 0xd6, 0x4d, 0x29, 0x53, 0x38, 0x37}};
/* {CB83D662-33A5-4DBF-830C-25E52627C1C3}: the capture filter. */
ORISCOPE_DEFINE_GUID CLSID_OriscopeFilter = {
    0xcb83d662, 0x33a5, 0x4dbf, {0x83, 0x0c, 0x25, 0xe5, 0x26, 0x27, 0xc1, 0xc3}};
/* {971785AE-451F-449C-810C-53A0DD222E5D}: the filter's property page. */
ORISCOPE_DEFINE_GUID CLSID_OriscopePropertyPage = {
    0x971785ae, 0x451f, 0x449c, {0x81, 0x0c, 0x53, 0xa0, 0xdd, 0x22, 0x2e, 0x5d}};
#undef ORISCOPE_DEFINE_GUID

#ifdef __cplusplus

/* __uuidof(ICameraSettings) works with MSVC (below for mingw-w64). */
#if defined(_MSC_VER)
#define ORISCOPE_INTERFACE_UUID __declspec(uuid("E5D66F6D-3D28-4982-AF6E-D64D29533837")) __declspec(novtable)
#else
#define ORISCOPE_INTERFACE_UUID
#endif

struct ORISCOPE_INTERFACE_UUID ICameraSettings : public IUnknown {
    // --- Camera and sensor ---------------------------------------------------------------------
    // Camera 1, 2, ... in the order the imaging library lists them; used when the filter next opens the camera.
    virtual HRESULT STDMETHODCALLTYPE GetCameraNumber(int *number) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCameraNumber(int number) = 0;
    // Analogue gain, 0 to 99 (other values are taken modulo 100); 25 on a new filter.
    virtual HRESULT STDMETHODCALLTYPE GetGain(int *gain) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetGain(int gain) = 0;
    // Live resolution: 0 Full, 1 Half, 2 Quarter, 3 Custom (the region); other values are ignored. Takes
    // effect, and sizes the pins' video formats, when the filter next leaves the stopped state.
    virtual HRESULT STDMETHODCALLTYPE GetCaptureResolution(int *mode) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCaptureResolution(int mode) = 0;
    // Resolution of still images, same values.
    virtual HRESULT STDMETHODCALLTYPE GetStillResolution(int *mode) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetStillResolution(int mode) = 0;
    // Writes the next preview frame as a still (24-bit BMP, or raw samples when SetRawStill is on) to `path`
    // (8-bit characters) and returns when the file is written. Returns at once while the filter is stopped,
    // and after about 5 s when no preview frame comes (preview pin not connected). S_OK; E_POINTER for a null path.
    virtual HRESULT STDMETHODCALLTYPE CaptureStillImage(const char *path) = 0;
    // Shutter delay and width, in the sensor's units.
    virtual HRESULT STDMETHODCALLTYPE GetShutterDelay(int *delay) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetShutterDelay(int delay) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetShutterWidth(int *width) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetShutterWidth(int width) = 0;
    // Raw sensor registers (16-bit values, 8-bit register numbers); reads give -1 (with a beep) when no
    // camera is open or the read fails.
    virtual HRESULT STDMETHODCALLTYPE GetRegVal(int *value, int reg) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRegVal(int reg, int value) = 0;

    // --- Picture ---------------------------------------------------------------------------------
    virtual HRESULT STDMETHODCALLTYPE GetFlipHorizontal(CameraFlag *flip) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFlipHorizontal(CameraFlag flip) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFlipVertical(CameraFlag *flip) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFlipVertical(CameraFlag flip) = 0;
    // The custom region in sensor pixels. SetRegion returns E_INVALIDARG, changing nothing, for a region
    // the sensor cannot deliver. The pixel gain table (one percentage per raw sample, may be null) is
    // read by every frame while it is set: the caller keeps it alive and sized for the raw frame.
    virtual HRESULT STDMETHODCALLTYPE GetRegion(int *x, int *y, int *width, int *height) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRegion(int x, int y, int width, int height, const int *pixelGainTable) = 0;
    // The region with its step (raw samples per output pixel, at least 1).
    virtual HRESULT STDMETHODCALLTYPE GetRegionEx(int *x, int *y, int *width, int *height, int *step) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRegionEx(int x, int y, int width, int height, int step,
                                                  const int *pixelGainTable) = 0;
    // A measuring grid of columns x rows cells; counts below 1, or cells narrower than a pixel, draw no grid.
    virtual HRESULT STDMETHODCALLTYPE GetGrid(CameraFlag *enabled, int *columns, int *rows) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetGrid(CameraFlag enabled, int columns, int rows) = 0;
    // Detects the attached sensor: 1 (1280 x 1024), 2 (1600 x 1200), 3 (2048 x 1536), 0 when no camera
    // answers. Opens the camera, so use them while the filter is stopped: while it runs GetSensorType
    // reports the type in use without touching the camera and SetSensorType fails with VFW_E_NOT_STOPPED.
    // SetSensorType also sizes still images and the preview format by the detected type.
    virtual HRESULT STDMETHODCALLTYPE GetSensorType(int *sensorType) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSensorType() = 0;
    // Readout: quality (true) or speed (false); takes effect when the filter next opens the camera.
    virtual HRESULT STDMETHODCALLTYPE GetQualityMode(CameraFlag *quality) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetQualityMode(CameraFlag quality) = 0;
    // Stills as raw sensor samples instead of colour.
    virtual HRESULT STDMETHODCALLTYPE GetRawStill(CameraFlag *raw) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRawStill(CameraFlag raw) = 0;
    // Renders the next preview frame as a still into `buffer` (32-bit pixels, or 8-bit grey when
    // monochrome) and returns when done: S_OK when written; S_FALSE when the filter is stopped, the buffer
    // is too small or no preview frame came within about 5 s. E_POINTER for a null buffer, E_INVALIDARG
    // for a negative size.
    virtual HRESULT STDMETHODCALLTYPE CaptureStillToBuffer(unsigned char *buffer, int size,
                                                           CameraFlag useStillResolution,
                                                           CameraFlag pixelGainStill) = 0;
    // The camera's serial number; 0 when no camera is open (the filter is stopped) or the read fails.
    virtual HRESULT STDMETHODCALLTYPE GetCamSN(int *serialNumber) = 0;
    // Automatic colour correction (balances blue and red against green, frame by frame).
    virtual HRESULT STDMETHODCALLTYPE GetAutoColor(CameraFlag *enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAutoColor(CameraFlag enabled) = 0;
    // Exposure time and frame time in milliseconds.
    virtual HRESULT STDMETHODCALLTYPE GetExposureTiming(int *exposureMs, int *frameMs) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMonochrome(CameraFlag *enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMonochrome(CameraFlag enabled) = 0;
    // Raw view: each pixel shows its raw sample as grey; switches monochrome along with it.
    virtual HRESULT STDMETHODCALLTYPE GetRawView(CameraFlag *enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRawView(CameraFlag enabled) = 0;
    // Buffer stills with red at byte 0 and blue at byte 2 (files stay blue-green-red).
    virtual HRESULT STDMETHODCALLTYPE GetStillRgbOrder(CameraFlag *rgbOrder) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetStillRgbOrder(CameraFlag rgbOrder) = 0;
    // Grey of monochrome stills as weighted sum (percent, each 0 to 100); S_FALSE and no change otherwise.
    virtual HRESULT STDMETHODCALLTYPE SetWeightedGray(CameraFlag enabled, int blue, int green, int red) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetWeightedGray(CameraFlag *enabled, int *blue, int *green, int *red) = 0;
    // Average frames per second the camera delivered recently.
    virtual HRESULT STDMETHODCALLTYPE GetFrameRate(float *framesPerSecond) = 0;
    // An overlay drawn into live frames: 32-bit pixels of exactly the live picture's size and layout; a
    // pixel whose fourth byte is 0xFF is copied (copy) or inverts the picture (not copy). The caller owns
    // the image: keep it alive and at least as large as the live picture while it is set (also across a
    // change of resolution); once SetOverlay returns, no frame reads an image it replaced. Null: no overlay.
    virtual HRESULT STDMETHODCALLTYPE SetOverlay(const unsigned char *image, CameraFlag enabled, CameraFlag copy) = 0;
    // Black live frames (the border stays black as always).
    virtual HRESULT STDMETHODCALLTYPE SetBlankOutput(CameraFlag enabled) = 0;
};

#undef ORISCOPE_INTERFACE_UUID

#if defined(__MINGW32__) && defined(__CRT_UUID_DECL)
__CRT_UUID_DECL(ICameraSettings, 0xe5d66f6d, 0x3d28, 0x4982, 0xaf, 0x6e, 0xd6, 0x4d, 0x29, 0x53, 0x38, 0x37)
#endif

#else /* C */

typedef struct ICameraSettings ICameraSettings;

typedef struct ICameraSettingsVtbl {
    HRESULT(STDMETHODCALLTYPE *QueryInterface)(ICameraSettings *This, REFIID iid, void **result);
    ULONG(STDMETHODCALLTYPE *AddRef)(ICameraSettings *This);
    ULONG(STDMETHODCALLTYPE *Release)(ICameraSettings *This);
    HRESULT(STDMETHODCALLTYPE *GetCameraNumber)(ICameraSettings *This, int *number);
    HRESULT(STDMETHODCALLTYPE *SetCameraNumber)(ICameraSettings *This, int number);
    HRESULT(STDMETHODCALLTYPE *GetGain)(ICameraSettings *This, int *gain);
    HRESULT(STDMETHODCALLTYPE *SetGain)(ICameraSettings *This, int gain);
    HRESULT(STDMETHODCALLTYPE *GetCaptureResolution)(ICameraSettings *This, int *mode);
    HRESULT(STDMETHODCALLTYPE *SetCaptureResolution)(ICameraSettings *This, int mode);
    HRESULT(STDMETHODCALLTYPE *GetStillResolution)(ICameraSettings *This, int *mode);
    HRESULT(STDMETHODCALLTYPE *SetStillResolution)(ICameraSettings *This, int mode);
    HRESULT(STDMETHODCALLTYPE *CaptureStillImage)(ICameraSettings *This, const char *path);
    HRESULT(STDMETHODCALLTYPE *GetShutterDelay)(ICameraSettings *This, int *delay);
    HRESULT(STDMETHODCALLTYPE *SetShutterDelay)(ICameraSettings *This, int delay);
    HRESULT(STDMETHODCALLTYPE *GetShutterWidth)(ICameraSettings *This, int *width);
    HRESULT(STDMETHODCALLTYPE *SetShutterWidth)(ICameraSettings *This, int width);
    HRESULT(STDMETHODCALLTYPE *GetRegVal)(ICameraSettings *This, int *value, int reg);
    HRESULT(STDMETHODCALLTYPE *SetRegVal)(ICameraSettings *This, int reg, int value);
    HRESULT(STDMETHODCALLTYPE *GetFlipHorizontal)(ICameraSettings *This, CameraFlag *flip);
    HRESULT(STDMETHODCALLTYPE *SetFlipHorizontal)(ICameraSettings *This, CameraFlag flip);
    HRESULT(STDMETHODCALLTYPE *GetFlipVertical)(ICameraSettings *This, CameraFlag *flip);
    HRESULT(STDMETHODCALLTYPE *SetFlipVertical)(ICameraSettings *This, CameraFlag flip);
    HRESULT(STDMETHODCALLTYPE *GetRegion)(ICameraSettings *This, int *x, int *y, int *width, int *height);
    HRESULT(STDMETHODCALLTYPE *SetRegion)
    (ICameraSettings *This, int x, int y, int width, int height, const int *pixelGainTable);
    HRESULT(STDMETHODCALLTYPE *GetRegionEx)(ICameraSettings *This, int *x, int *y, int *width, int *height, int *step);
    HRESULT(STDMETHODCALLTYPE *SetRegionEx)
    (ICameraSettings *This, int x, int y, int width, int height, int step, const int *pixelGainTable);
    HRESULT(STDMETHODCALLTYPE *GetGrid)(ICameraSettings *This, CameraFlag *enabled, int *columns, int *rows);
    HRESULT(STDMETHODCALLTYPE *SetGrid)(ICameraSettings *This, CameraFlag enabled, int columns, int rows);
    HRESULT(STDMETHODCALLTYPE *GetSensorType)(ICameraSettings *This, int *sensorType);
    HRESULT(STDMETHODCALLTYPE *SetSensorType)(ICameraSettings *This);
    HRESULT(STDMETHODCALLTYPE *GetQualityMode)(ICameraSettings *This, CameraFlag *quality);
    HRESULT(STDMETHODCALLTYPE *SetQualityMode)(ICameraSettings *This, CameraFlag quality);
    HRESULT(STDMETHODCALLTYPE *GetRawStill)(ICameraSettings *This, CameraFlag *raw);
    HRESULT(STDMETHODCALLTYPE *SetRawStill)(ICameraSettings *This, CameraFlag raw);
    HRESULT(STDMETHODCALLTYPE *CaptureStillToBuffer)
    (ICameraSettings *This, unsigned char *buffer, int size, CameraFlag useStillResolution, CameraFlag pixelGainStill);
    HRESULT(STDMETHODCALLTYPE *GetCamSN)(ICameraSettings *This, int *serialNumber);
    HRESULT(STDMETHODCALLTYPE *GetAutoColor)(ICameraSettings *This, CameraFlag *enabled);
    HRESULT(STDMETHODCALLTYPE *SetAutoColor)(ICameraSettings *This, CameraFlag enabled);
    HRESULT(STDMETHODCALLTYPE *GetExposureTiming)(ICameraSettings *This, int *exposureMs, int *frameMs);
    HRESULT(STDMETHODCALLTYPE *GetMonochrome)(ICameraSettings *This, CameraFlag *enabled);
    HRESULT(STDMETHODCALLTYPE *SetMonochrome)(ICameraSettings *This, CameraFlag enabled);
    HRESULT(STDMETHODCALLTYPE *GetRawView)(ICameraSettings *This, CameraFlag *enabled);
    HRESULT(STDMETHODCALLTYPE *SetRawView)(ICameraSettings *This, CameraFlag enabled);
    HRESULT(STDMETHODCALLTYPE *GetStillRgbOrder)(ICameraSettings *This, CameraFlag *rgbOrder);
    HRESULT(STDMETHODCALLTYPE *SetStillRgbOrder)(ICameraSettings *This, CameraFlag rgbOrder);
    HRESULT(STDMETHODCALLTYPE *SetWeightedGray)
    (ICameraSettings *This, CameraFlag enabled, int blue, int green, int red);
    HRESULT(STDMETHODCALLTYPE *GetWeightedGray)
    (ICameraSettings *This, CameraFlag *enabled, int *blue, int *green, int *red);
    HRESULT(STDMETHODCALLTYPE *GetFrameRate)(ICameraSettings *This, float *framesPerSecond);
    HRESULT(STDMETHODCALLTYPE *SetOverlay)
    (ICameraSettings *This, const unsigned char *image, CameraFlag enabled, CameraFlag copy);
    HRESULT(STDMETHODCALLTYPE *SetBlankOutput)(ICameraSettings *This, CameraFlag enabled);
} ICameraSettingsVtbl;

struct ICameraSettings {
    const ICameraSettingsVtbl *lpVtbl;
};

#define ICameraSettings_QueryInterface(This, iid, result) (This)->lpVtbl->QueryInterface(This, iid, result)
#define ICameraSettings_AddRef(This) (This)->lpVtbl->AddRef(This)
#define ICameraSettings_Release(This) (This)->lpVtbl->Release(This)
#define ICameraSettings_GetCameraNumber(This, number) (This)->lpVtbl->GetCameraNumber(This, number)
#define ICameraSettings_SetCameraNumber(This, number) (This)->lpVtbl->SetCameraNumber(This, number)
#define ICameraSettings_GetGain(This, gain) (This)->lpVtbl->GetGain(This, gain)
#define ICameraSettings_SetGain(This, gain) (This)->lpVtbl->SetGain(This, gain)
#define ICameraSettings_GetCaptureResolution(This, mode) (This)->lpVtbl->GetCaptureResolution(This, mode)
#define ICameraSettings_SetCaptureResolution(This, mode) (This)->lpVtbl->SetCaptureResolution(This, mode)
#define ICameraSettings_GetStillResolution(This, mode) (This)->lpVtbl->GetStillResolution(This, mode)
#define ICameraSettings_SetStillResolution(This, mode) (This)->lpVtbl->SetStillResolution(This, mode)
#define ICameraSettings_CaptureStillImage(This, path) (This)->lpVtbl->CaptureStillImage(This, path)
#define ICameraSettings_GetShutterDelay(This, delay) (This)->lpVtbl->GetShutterDelay(This, delay)
#define ICameraSettings_SetShutterDelay(This, delay) (This)->lpVtbl->SetShutterDelay(This, delay)
#define ICameraSettings_GetShutterWidth(This, width) (This)->lpVtbl->GetShutterWidth(This, width)
#define ICameraSettings_SetShutterWidth(This, width) (This)->lpVtbl->SetShutterWidth(This, width)
#define ICameraSettings_GetRegVal(This, value, reg) (This)->lpVtbl->GetRegVal(This, value, reg)
#define ICameraSettings_SetRegVal(This, reg, value) (This)->lpVtbl->SetRegVal(This, reg, value)
#define ICameraSettings_GetFlipHorizontal(This, flip) (This)->lpVtbl->GetFlipHorizontal(This, flip)
#define ICameraSettings_SetFlipHorizontal(This, flip) (This)->lpVtbl->SetFlipHorizontal(This, flip)
#define ICameraSettings_GetFlipVertical(This, flip) (This)->lpVtbl->GetFlipVertical(This, flip)
#define ICameraSettings_SetFlipVertical(This, flip) (This)->lpVtbl->SetFlipVertical(This, flip)
#define ICameraSettings_GetRegion(This, x, y, width, height) (This)->lpVtbl->GetRegion(This, x, y, width, height)
#define ICameraSettings_SetRegion(This, x, y, width, height, pixelGainTable)                                           \
    (This)->lpVtbl->SetRegion(This, x, y, width, height, pixelGainTable)
#define ICameraSettings_GetRegionEx(This, x, y, width, height, step)                                                   \
    (This)->lpVtbl->GetRegionEx(This, x, y, width, height, step)
#define ICameraSettings_SetRegionEx(This, x, y, width, height, step, pixelGainTable)                                   \
    (This)->lpVtbl->SetRegionEx(This, x, y, width, height, step, pixelGainTable)
#define ICameraSettings_GetGrid(This, enabled, columns, rows) (This)->lpVtbl->GetGrid(This, enabled, columns, rows)
#define ICameraSettings_SetGrid(This, enabled, columns, rows) (This)->lpVtbl->SetGrid(This, enabled, columns, rows)
#define ICameraSettings_GetSensorType(This, sensorType) (This)->lpVtbl->GetSensorType(This, sensorType)
#define ICameraSettings_SetSensorType(This) (This)->lpVtbl->SetSensorType(This)
#define ICameraSettings_GetQualityMode(This, quality) (This)->lpVtbl->GetQualityMode(This, quality)
#define ICameraSettings_SetQualityMode(This, quality) (This)->lpVtbl->SetQualityMode(This, quality)
#define ICameraSettings_GetRawStill(This, raw) (This)->lpVtbl->GetRawStill(This, raw)
#define ICameraSettings_SetRawStill(This, raw) (This)->lpVtbl->SetRawStill(This, raw)
#define ICameraSettings_CaptureStillToBuffer(This, buffer, size, useStillResolution, pixelGainStill)                   \
    (This)->lpVtbl->CaptureStillToBuffer(This, buffer, size, useStillResolution, pixelGainStill)
#define ICameraSettings_GetCamSN(This, serialNumber) (This)->lpVtbl->GetCamSN(This, serialNumber)
#define ICameraSettings_GetAutoColor(This, enabled) (This)->lpVtbl->GetAutoColor(This, enabled)
#define ICameraSettings_SetAutoColor(This, enabled) (This)->lpVtbl->SetAutoColor(This, enabled)
#define ICameraSettings_GetExposureTiming(This, exposureMs, frameMs)                                                   \
    (This)->lpVtbl->GetExposureTiming(This, exposureMs, frameMs)
#define ICameraSettings_GetMonochrome(This, enabled) (This)->lpVtbl->GetMonochrome(This, enabled)
#define ICameraSettings_SetMonochrome(This, enabled) (This)->lpVtbl->SetMonochrome(This, enabled)
#define ICameraSettings_GetRawView(This, enabled) (This)->lpVtbl->GetRawView(This, enabled)
#define ICameraSettings_SetRawView(This, enabled) (This)->lpVtbl->SetRawView(This, enabled)
#define ICameraSettings_GetStillRgbOrder(This, rgbOrder) (This)->lpVtbl->GetStillRgbOrder(This, rgbOrder)
#define ICameraSettings_SetStillRgbOrder(This, rgbOrder) (This)->lpVtbl->SetStillRgbOrder(This, rgbOrder)
#define ICameraSettings_SetWeightedGray(This, enabled, blue, green, red)                                               \
    (This)->lpVtbl->SetWeightedGray(This, enabled, blue, green, red)
#define ICameraSettings_GetWeightedGray(This, enabled, blue, green, red)                                               \
    (This)->lpVtbl->GetWeightedGray(This, enabled, blue, green, red)
#define ICameraSettings_GetFrameRate(This, framesPerSecond) (This)->lpVtbl->GetFrameRate(This, framesPerSecond)
#define ICameraSettings_SetOverlay(This, image, enabled, copy) (This)->lpVtbl->SetOverlay(This, image, enabled, copy)
#define ICameraSettings_SetBlankOutput(This, enabled) (This)->lpVtbl->SetBlankOutput(This, enabled)

#endif /* __cplusplus */
