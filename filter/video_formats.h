// The pins' video formats: the RGB32 media types each pin offers for its
// format state, the check every proposed type must pass, and the capture
// pin's stream-configuration descriptions.
#pragma once

#include "filter/framework/directshow.h"

// Duration of one sample in 100-ns units, as both pins announce it.
inline constexpr REFERENCE_TIME kFrameLength = 142857;
// Bytes of the format block every pin type carries: one VIDEOINFOHEADER.
inline constexpr ULONG kVideoInfoBytes = sizeof(VIDEOINFOHEADER);
// Number of capture formats IAMStreamConfig describes (modes 0, 1, 2).
inline constexpr int kCaptureCapabilityCount = 3;

struct VideoSize {
    LONG width = 0;
    LONG height = 0;
};

// The capture pin's size by format mode (0: 1600 x 1200, 1: 640 x 512,
// 2: 320 x 256, else 0 x 0), whatever sensor is attached.
VideoSize CaptureFormatSize(int formatMode);
// The preview pin's size: the full sensor size scaled by the mode, or the
// custom region (mode 3).
VideoSize PreviewFormatSize(int sensorType, int formatMode, int regionWidth, int regionHeight);

// Fills the empty (zeroed) `type` with the capture pin's default type for
// `formatMode`; E_OUTOFMEMORY when the format block cannot be allocated.
HRESULT BuildCaptureMediaType(int formatMode, AM_MEDIA_TYPE &type);
// The capture pin's type once a host chose a format: the real picture
// (PreviewFormatSize), laid out as the capture pin's default types are.
HRESULT BuildCapturePictureType(int sensorType, int formatMode, int regionWidth, int regionHeight, AM_MEDIA_TYPE &type);
// The same for the preview pin.
HRESULT BuildPreviewMediaType(int sensorType, int formatMode, int regionWidth, int regionHeight, AM_MEDIA_TYPE &type);
// The same for the still pin: the full sensor size (0 x 0 for an unknown
// type), no frame rate.
HRESULT BuildStillMediaType(int sensorType, AM_MEDIA_TYPE &type);

// S_OK for fixed-size RGB32 video with a whole VIDEOINFOHEADER whose height
// is not negative; E_POINTER for null; E_INVALIDARG otherwise.
HRESULT CheckVideoMediaType(const AM_MEDIA_TYPE *type);
// The type's VIDEOINFOHEADER, or nullptr when the block is missing or too small.
const VIDEOINFOHEADER *VideoHeaderOf(const AM_MEDIA_TYPE &type);

// IAMStreamConfig::GetFormat's fixed description (1280 x 1024, one frame per
// 1,400,000 units), task-allocated; E_OUTOFMEMORY leaves *result untouched.
HRESULT CreateFixedStreamFormat(AM_MEDIA_TYPE **result);
// IAMStreamConfig::GetStreamCaps for capture format `index` (mode 0, 1, 2 of
// sensor `sensorType`): its picture type (task-allocated) and its
// VIDEO_STREAM_CONFIG_CAPS, one fixed size at the pins' frame interval.
HRESULT CreateCaptureStreamCaps(int sensorType, int index, AM_MEDIA_TYPE **type, VIDEO_STREAM_CONFIG_CAPS &caps);
// The capability (0 to 2) of sensor `sensorType` that `type` asks for: RGB32
// video with a whole VIDEOINFOHEADER of exactly that size, 32 bits, BI_RGB,
// bottom-up, and a frame interval of 0 (any) or the pins' own; -1 for none.
int MatchCaptureCapability(int sensorType, const AM_MEDIA_TYPE &type);
