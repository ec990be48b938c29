// VEXALIB's frame exports: the newest frame of the acquisition thread, single
// frames grabbed on the host's thread, and still files.
#include "exported/vexa_engine.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "exported/include/vexalib.h"
#include "imaging/frame_converter.h"
#include "imaging/still_image.h"

namespace {

constexpr std::uint32_t kStillWaitMs = 2000; // as long as the filter's preview waits for a frame

// Size of the band of 32-bit rows a colour frame is converted through: small
// enough that the packing reads it back from the cache the conversion just
// wrote it to.
constexpr std::size_t kBandBytes = 64 * 1024;

// Raw frame of VexaGetSingleBitmap's colour grabs. The acquisition thread's
// grabBuffer is never used for them, so a grab can never meet that thread
// in it (not even one that is ending after an unplug).
std::unique_ptr<std::uint8_t[]> singleGrab;
std::uint32_t singleGrabBytes = 0;

std::uint8_t *SingleGrabBuffer(const CameraEngine &engine) {
    // As large as the engine's buffers, and zero beyond the camera's frame
    // like them, so a conversion reads exactly what it would read there.
    const std::uint32_t bytes = engine.BufferBytes();
    if (singleGrabBytes != bytes || !singleGrab) {
        singleGrab.reset(new (std::nothrow) std::uint8_t[bytes]());
        singleGrabBytes = singleGrab ? bytes : 0;
    }
    return singleGrab.get();
}

// The band of a colour conversion, made for the frame's width and kept for
// the next frame; `rows` is how many rows it holds. Null when it cannot be
// allocated.
std::unique_ptr<std::uint8_t[]> conversionBand;
std::size_t conversionBandBytes = 0;

std::uint8_t *ConversionBand(int width, int height, int &rows) {
    const std::size_t rowBytes = 4 * std::size_t(width);
    rows = int(std::clamp<std::size_t>(kBandBytes / rowBytes, 1, std::size_t(height)));
    const std::size_t bytes = rowBytes * std::size_t(rows);
    if (conversionBandBytes != bytes || !conversionBand) {
        conversionBand.reset(new (std::nothrow) std::uint8_t[bytes]);
        conversionBandBytes = conversionBand ? bytes : 0;
    }
    return conversionBand.get();
}

// Packs each converted band straight into the host's picture at its rows'
// place, while the band is still in the cache.
class PictureSink : public RowBandSink {
public:
    PictureSink(std::uint8_t *picture, int width) : out(picture), rowPixels(std::size_t(width)) {}
    void takeRows(const RowBand &rows) override {
        PackPixels24Streaming(rows.rows, rowPixels * std::size_t(rows.count),
                              out + 3 * rowPixels * std::size_t(rows.firstRow));
    }

private:
    std::uint8_t *out;
    std::size_t rowPixels;
};

std::size_t FramePixels(const CameraEngine &engine) {
    return std::size_t(std::max(0, engine.frameWidth.get())) * std::size_t(std::max(0, engine.frameHeight.get()));
}

// Copies (raw) or converts and packs (colour) the frame in `raw` into the
// host's buffer; other formats write nothing.
void DeliverFrame(CameraEngine &engine, std::uint8_t *raw, std::uint8_t *buffer, int32_t format) {
    const int width = engine.frameWidth;
    const int height = engine.frameHeight;
    if (format == VEXA_FORMAT_RAW) {
        std::memcpy(buffer, raw, FramePixels(engine));
    } else if (format == VEXA_FORMAT_COLOUR && width > 0 && height > 0) {
        // Band by band: converting all 4-byte pixels into the host's buffer
        // and packing them in a second pass took the picture through memory
        // three times (written, read back, written packed); now only the
        // packed pixels reach it. The library's conversion demosaics every
        // pixel (it has no raw view), so each band is whole. Without a band
        // the whole picture is converted and packed in place.
        int rows = 0;
        if (std::uint8_t *rowBand = ConversionBand(width, height, rows)) {
            PictureSink sink(buffer, width);
            FrameConverter::convertInBands(engine, ConversionSettings::FromEngine(engine), raw, width, height,
                                           engine.RawStride(), rowBand, rows, sink);
        } else {
            FrameConverter::convert(engine, raw, buffer, width, height, engine.RawStride());
            PackPixels24(buffer, width, height);
        }
    }
}

// Takes the newest unconsumed frame into consumerBuffer, looking again after
// each 1 ms sleep up to `retries` times. Once acquisition has ended no frame
// can come, so the wait stops (after one last look).
bool TakeNewestFrame(CameraEngine &engine, std::uint32_t retries) {
    if (engine.ExchangeFrame(engine.consumerBuffer, false)) {
        return true;
    }
    for (std::uint32_t tries = 0; tries < retries; ++tries) {
        const bool running = engine.IsRunning();
        platform::sleepMs(1);
        if (engine.ExchangeFrame(engine.consumerBuffer, false)) {
            return true;
        }
        if (!running) {
            return false;
        }
    }
    return false;
}

// Takes the next frame for a still, waiting at most kStillWaitMs by the
// clock (a 1 ms sleep may last longer on some systems).
bool TakeFrameForStill(CameraEngine &engine) {
    const std::uint32_t start = platform::tickCount();
    while (!engine.ExchangeFrame(engine.consumerBuffer, false)) {
        if (!engine.IsRunning() || platform::tickCount() - start >= kStillWaitMs) {
            return engine.ExchangeFrame(engine.consumerBuffer, false);
        }
        platform::sleepMs(1);
    }
    return true;
}

// Grabs with up to `attempts` tries into `target`; a camera that is gone
// ends the tries early.
bool GrabFrame(const CameraEngine &engine, std::uint8_t *target, int32_t attempts) {
    CameraRecord *camera = engine.camera;
    for (int32_t attempt = 0; attempt < attempts; ++attempt) {
        const std::uint16_t status = camera->AcquireFrame(camera, target, engine.FrameBufferSize());
        if (status == kMiSuccess) {
            return true;
        }
        if (status == kMiCameraGone) {
            return false;
        }
    }
    return false;
}

// Writes consumerBuffer's frame as a 24-bit BMP, converted the way the
// filter converts its stills: rows bottom-up, as the file stores them.
void WriteStill(CameraEngine &engine, const char *path) {
    if (FramePixels(engine) == 0) {
        return;
    }
    ConversionSettings settings = ConversionSettings::FromEngine(engine);
    settings.verticalFlip = !settings.verticalFlip;
    settings.convertingStill = true;
    WriteConvertedStill(engine, settings, engine.consumerBuffer, engine.frameWidth, engine.frameHeight,
                        engine.RawStride(), path);
}

} // namespace

void vexa::releaseFrameBuffers() {
    singleGrab.reset();
    singleGrabBytes = 0;
    conversionBand.reset();
    conversionBandBytes = 0;
}

extern "C" {

int32_t VEXA_CALL VexaGetBitmap(uint8_t *buffer, int32_t /*reserved*/, int32_t format, uint32_t retries) {
    CameraEngine &engine = vexa::globalEngine();
    if (!TakeNewestFrame(engine, retries)) {
        return 0;
    }
    if (buffer != nullptr) {
        DeliverFrame(engine, engine.consumerBuffer, buffer, format);
    }
    return 1;
}

int32_t VEXA_CALL VexaGetSingleBitmap(uint8_t *buffer, int32_t /*reserved*/, int32_t format, int32_t attempts) {
    CameraEngine &engine = vexa::globalEngine();
    if (attempts <= 0) {
        return 0;
    }
    // While the thread runs both would call the camera at once; without an
    // initialised camera there is nothing to grab from.
    if (engine.IsRunning() || !vexa::cameraInUse(engine)) {
        return 0;
    }
    // Raw frames go straight into the host's buffer; everything else is
    // grabbed into the library's own buffer, so an unknown format or a null
    // buffer never has the camera write where the host did not ask for it.
    const bool direct = format == VEXA_FORMAT_RAW && buffer != nullptr;
    std::uint8_t *target = direct ? buffer : SingleGrabBuffer(engine);
    if (target == nullptr || !GrabFrame(engine, target, attempts)) {
        return 0;
    }
    if (format == VEXA_FORMAT_COLOUR && buffer != nullptr) {
        DeliverFrame(engine, target, buffer, format);
    }
    return 1;
}

int32_t VEXA_CALL VexaCaptureStillImage(const char *path) {
    CameraEngine &engine = vexa::globalEngine();
    if (path == nullptr || !engine.IsRunning()) {
        return 1;
    }
    // Served here from the next frame rather than through the engine's still
    // hand-shake, which nothing in this library would ever take up.
    if (TakeFrameForStill(engine)) {
        WriteStill(engine, path);
    }
    return 1;
}

} // extern "C"
