// The pins' media types, the type check and the stream-configuration data.
#include "filter/video_formats.h"

#include <cstring>

#include "filter/framework/media_type.h"

static_assert(sizeof(VIDEOINFOHEADER) == 88, "the pins' format block is one 88-byte VIDEOINFOHEADER");
static_assert(sizeof(VIDEO_STREAM_CONFIG_CAPS) == 128, "IAMStreamConfig announces 128-byte capabilities");

namespace {

// The parts of a pin's header that differ between the pins.
struct HeaderFields {
    VideoSize size;
    WORD bitCount = 32;
    DWORD sizeImage = 0;
    DWORD colorsUsed = 0;
    REFERENCE_TIME timePerFrame = kFrameLength;
};

// Fills `type` from the header fields; the subtype follows the bit count.
HRESULT BuildVideoType(const HeaderFields &fields, AM_MEDIA_TYPE &type) {
    auto *header = reinterpret_cast<VIDEOINFOHEADER *>(AllocateFormatBlock(type, kVideoInfoBytes));
    if (header == nullptr)
        return E_OUTOFMEMORY;
    header->AvgTimePerFrame = fields.timePerFrame;
    BITMAPINFOHEADER &bitmap = header->bmiHeader;
    bitmap.biSize = sizeof(BITMAPINFOHEADER);
    bitmap.biWidth = fields.size.width;
    bitmap.biHeight = fields.size.height;
    bitmap.biPlanes = 1;
    bitmap.biBitCount = fields.bitCount;
    bitmap.biCompression = BI_RGB;
    bitmap.biSizeImage = fields.sizeImage;
    bitmap.biClrUsed = fields.colorsUsed;

    type.majortype = MEDIATYPE_Video;
    type.subtype = (fields.bitCount == 32) ? MEDIASUBTYPE_RGB32 : GUID_NULL;
    type.formattype = FORMAT_VideoInfo;
    type.bTemporalCompression = FALSE;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = fields.sizeImage;
    return S_OK;
}

} // namespace

VideoSize CaptureFormatSize(int formatMode) {
    switch (formatMode) {
    case 0:
        return {1600, 1200};
    case 1:
        return {640, 512};
    case 2:
        return {320, 256};
    default:
        return {};
    }
}

VideoSize PreviewFormatSize(int sensorType, int formatMode, int regionWidth, int regionHeight) {
    VideoSize full;
    switch (sensorType) {
    case 1:
        full = {1280, 1024};
        break;
    case 2:
        full = {1600, 1200};
        break;
    case 3:
        full = {2048, 1536};
        break;
    default:
        break;
    }
    switch (formatMode) {
    case 0:
        return full;
    case 1:
        return {full.width / 2, full.height / 2};
    case 2:
        return {full.width / 4, full.height / 4};
    case 3:
        return {regionWidth, regionHeight};
    default:
        return {};
    }
}

HRESULT BuildCaptureMediaType(int formatMode, AM_MEDIA_TYPE &type) {
    HeaderFields fields;
    fields.size = CaptureFormatSize(formatMode);
    fields.bitCount = (formatMode >= 0 && formatMode <= 2) ? 32 : 0;
    fields.sizeImage = static_cast<DWORD>(fields.bitCount * fields.size.width * fields.size.height / 8);
    return BuildVideoType(fields, type);
}

HRESULT BuildCapturePictureType(int sensorType, int formatMode, int regionWidth, int regionHeight,
                                AM_MEDIA_TYPE &type) {
    HeaderFields fields;
    fields.size = PreviewFormatSize(sensorType, formatMode, regionWidth, regionHeight);
    fields.sizeImage = static_cast<DWORD>(fields.size.width) * static_cast<DWORD>(fields.size.height) * 4u;
    return BuildVideoType(fields, type);
}

HRESULT BuildPreviewMediaType(int sensorType, int formatMode, int regionWidth, int regionHeight, AM_MEDIA_TYPE &type) {
    HeaderFields fields;
    fields.size = PreviewFormatSize(sensorType, formatMode, regionWidth, regionHeight);
    // Computed in 32 bits as the header holds it; a region is at most the sensor.
    fields.sizeImage = static_cast<DWORD>(fields.size.width) * static_cast<DWORD>(fields.size.height) * 4u;
    fields.colorsUsed = 256;
    return BuildVideoType(fields, type);
}

HRESULT BuildStillMediaType(int sensorType, AM_MEDIA_TYPE &type) {
    HeaderFields fields;
    fields.size = PreviewFormatSize(sensorType, 0, 0, 0);
    fields.sizeImage = static_cast<DWORD>(fields.size.width) * static_cast<DWORD>(fields.size.height) * 4u;
    // Stills come when triggered, not at a frame rate.
    fields.timePerFrame = 0;
    return BuildVideoType(fields, type);
}

const VIDEOINFOHEADER *VideoHeaderOf(const AM_MEDIA_TYPE &type) {
    if (type.pbFormat == nullptr || type.cbFormat < kVideoInfoBytes)
        return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER *>(type.pbFormat);
}

HRESULT CheckVideoMediaType(const AM_MEDIA_TYPE *type) {
    if (type == nullptr)
        return E_POINTER;
    if (!IsEqualGUID(type->majortype, MEDIATYPE_Video) || !type->bFixedSizeSamples ||
        !IsEqualGUID(type->subtype, MEDIASUBTYPE_RGB32))
        return E_INVALIDARG;
    // A block shorter than a VIDEOINFOHEADER has no height to read.
    const VIDEOINFOHEADER *header = VideoHeaderOf(*type);
    if (header == nullptr || header->bmiHeader.biHeight < 0)
        return E_INVALIDARG;
    return S_OK;
}

HRESULT CreateFixedStreamFormat(AM_MEDIA_TYPE **result) {
    AM_MEDIA_TYPE *type = CreateMediaType();
    if (type == nullptr)
        return E_OUTOFMEMORY;
    auto *header = reinterpret_cast<VIDEOINFOHEADER *>(AllocateFormatBlock(*type, kVideoInfoBytes));
    if (header == nullptr) {
        DeleteMediaType(type);
        return E_OUTOFMEMORY;
    }
    constexpr LONG kWidth = 1280, kHeight = 1024;
    constexpr DWORD kImageBytes = kWidth * kHeight * 4;
    type->majortype = MEDIATYPE_Video;
    type->subtype = MEDIASUBTYPE_RGB32;
    type->bFixedSizeSamples = TRUE;
    type->bTemporalCompression = FALSE;
    type->lSampleSize = kImageBytes;
    type->formattype = FORMAT_VideoInfo;
    type->pUnk = nullptr;
    header->rcSource = {0, 0, kWidth, kHeight};
    header->rcTarget = {0, 0, kWidth, kHeight};
    header->dwBitRate = 293601280;
    header->dwBitErrorRate = 0;
    header->AvgTimePerFrame = 1400000;
    BITMAPINFOHEADER &bitmap = header->bmiHeader;
    bitmap.biSize = sizeof(BITMAPINFOHEADER);
    bitmap.biWidth = kWidth;
    bitmap.biHeight = kHeight;
    bitmap.biPlanes = 1;
    bitmap.biBitCount = 32;
    bitmap.biCompression = BI_RGB;
    bitmap.biSizeImage = kImageBytes;
    *result = type;
    return S_OK;
}

HRESULT CreateCaptureStreamCaps(int sensorType, int index, AM_MEDIA_TYPE **result, VIDEO_STREAM_CONFIG_CAPS &caps) {
    AM_MEDIA_TYPE *type = CreateMediaType();
    if (type == nullptr)
        return E_OUTOFMEMORY;
    const HRESULT built = BuildCapturePictureType(sensorType, index, 0, 0, *type);
    if (FAILED(built)) {
        DeleteMediaType(type);
        return built;
    }
    // Each capture format is one fixed size at one frame rate: no cropping,
    // scaling or rate choice within a capability.
    const VideoSize size = PreviewFormatSize(sensorType, index, 0, 0);
    const SIZE fixed = {size.width, size.height};
    std::memset(&caps, 0, sizeof caps);
    caps.guid = FORMAT_VideoInfo;
    caps.VideoStandard = 0; // AnalogVideo_None
    caps.InputSize = fixed;
    caps.MinCroppingSize = fixed;
    caps.MaxCroppingSize = fixed;
    caps.CropGranularityX = 1;
    caps.CropGranularityY = 1;
    caps.CropAlignX = 1;
    caps.CropAlignY = 1;
    caps.MinOutputSize = fixed;
    caps.MaxOutputSize = fixed;
    caps.MinFrameInterval = kFrameLength;
    caps.MaxFrameInterval = kFrameLength;
    const LONGLONG bitsPerFrame = LONGLONG(size.width) * size.height * 32;
    // Full size at this rate is more than a LONG holds: report the most it can.
    const LONGLONG rate = bitsPerFrame * 10000000 / kFrameLength;
    const auto bitsPerSecond = static_cast<LONG>(rate > 0x7FFFFFFF ? 0x7FFFFFFF : rate);
    caps.MinBitsPerSecond = bitsPerSecond;
    caps.MaxBitsPerSecond = bitsPerSecond;
    *result = type;
    return S_OK;
}

int MatchCaptureCapability(int sensorType, const AM_MEDIA_TYPE &type) {
    if (!IsEqualGUID(type.majortype, MEDIATYPE_Video) || !IsEqualGUID(type.subtype, MEDIASUBTYPE_RGB32) ||
        !IsEqualGUID(type.formattype, FORMAT_VideoInfo))
        return -1;
    const VIDEOINFOHEADER *header = VideoHeaderOf(type);
    if (header == nullptr || header->bmiHeader.biBitCount != 32 || header->bmiHeader.biCompression != BI_RGB)
        return -1;
    if (header->AvgTimePerFrame != 0 && header->AvgTimePerFrame != kFrameLength)
        return -1;
    for (int index = 0; index < kCaptureCapabilityCount; ++index) {
        const VideoSize size = PreviewFormatSize(sensorType, index, 0, 0);
        if (size.width > 0 && header->bmiHeader.biWidth == size.width && header->bmiHeader.biHeight == size.height)
            return index;
    }
    return -1;
}
