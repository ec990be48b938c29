// Still images: serving a still request, writing BMP and raw files, and
// packing 32-bit pixels to 24 bits.
#include "imaging/still_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

// Whether every raw sample a conversion of width x height with these
// settings reads lies inside a buffer of bufferBytes with this row length.
bool ConversionFits(const ConversionSettings &settings, int width, int height, int stride, std::uint64_t bufferBytes) {
    if (width < 3 || height < 3) {
        return true; // only the border is written, nothing is read
    }
    const int mode = settings.qualityMode ? settings.resolutionMode : kModeFull;
    const std::uint64_t step = mode == kModeCustom ? std::uint64_t(std::max(1, settings.regionStep))
                                                   : std::uint64_t(1) << std::clamp(mode, 0, 2);
    const std::uint64_t xo = mode == kModeCustom ? std::uint64_t(std::max(0, settings.regionX)) / step : 0;
    const std::uint64_t yo = mode == kModeCustom ? std::uint64_t(std::max(0, settings.regionY)) / step : 0;
    const std::uint64_t lastRow = step * (yo + std::uint64_t(height) - 2) + 1;
    const std::uint64_t lastColumn = step * (xo + std::uint64_t(width) - 2) + 1;
    return lastRow * std::uint64_t(stride) + lastColumn < bufferBytes;
}

bool RawFileFits(const StillGeometry &g, std::uint64_t bufferBytes) {
    if (g.width <= 0 || g.height <= 0) {
        return true;
    }
    const std::uint64_t step = std::uint64_t(g.sampleStep);
    const std::uint64_t lastRow = std::uint64_t(g.rowOffset) + step * std::uint64_t(g.height - 1);
    const std::uint64_t lastColumn = std::uint64_t(g.columnOffset) + step * std::uint64_t(g.width - 1);
    return lastRow * std::uint64_t(g.rawStride) + lastColumn < bufferBytes;
}

StillGeometry GeometryFor(const CameraEngine &engine, const ConversionSettings &live, const StillPinState &pin,
                          int mode) {
    StillGeometry g;
    g.rawStride = engine.RawStride();
    g.mode = mode;
    if (!live.qualityMode) {
        // Speed readout: the sensor delivered the live frame and nothing else.
        g.width = engine.frameWidth;
        g.height = engine.frameHeight;
        g.mode = live.resolutionMode;
        return g;
    }
    if (mode >= kModeFull && mode <= kModeQuarter) {
        int fullWidth = 0;
        int fullHeight = 0;
        SensorFullSize(pin.sensorType, fullWidth, fullHeight);
        g.width = fullWidth >> mode;
        g.height = fullHeight >> mode;
        g.sampleStep = 1 << mode;
        return g;
    }
    // Custom: the live frame's size when the live stream runs the region,
    // otherwise the region's own size.
    const bool liveCustom = live.resolutionMode == kModeCustom;
    g.width = liveCustom ? engine.frameWidth.get() : engine.regionWidth.get();
    g.height = liveCustom ? engine.frameHeight.get() : engine.regionHeight.get();
    g.rowOffset = std::max(0, live.regionY);
    g.columnOffset = std::max(0, live.regionX);
    return g;
}

int StillMode(const CameraEngine &engine, const ConversionSettings &live) {
    return engine.useStillResolution ? engine.stillResolutionMode.get() : live.resolutionMode;
}

// Renders a colour or grey still into `out` (width x height x bytes per pixel).
void RenderStill(CameraEngine &engine, ConversionSettings settings, const StillGeometry &g, std::uint8_t *out) {
    settings.resolutionMode = g.mode;
    settings.convertingStill = true;
    settings.verticalFlip = !settings.verticalFlip; // stills are stored bottom-up
    FrameConverter::convert(engine, settings, engine.consumerBuffer, out, g.width, g.height, g.rawStride);
}

void ServeBufferStill(CameraEngine &engine, const ConversionSettings &settings, const StillGeometry &g, bool raw,
                      std::uint64_t needed) {
    if (raw) {
        // The beginning of the raw frame, as much as the still needs and the frame holds.
        const std::uint64_t count = std::min<std::uint64_t>(needed, engine.FrameBufferSize());
        std::memcpy(engine.stillBuffer, engine.consumerBuffer, static_cast<std::size_t>(count));
    } else {
        RenderStill(engine, settings, g, engine.stillBuffer);
    }
    engine.stillToBufferPending = false;
}

void ServeFileStill(CameraEngine &engine, const ConversionSettings &settings, const StillGeometry &g, bool raw,
                    std::uint64_t needed) {
    const char *path = engine.stillFilePath;
    if (path == nullptr) {
        return;
    }
    StillFileSource source;
    source.width = g.width;
    source.height = g.height;
    if (raw) {
        if (!RawFileFits(g, engine.BufferBytes())) {
            return;
        }
        source.pixels = engine.consumerBuffer;
        source.raw = true;
        source.stride = g.rawStride;
        source.sampleStep = g.sampleStep;
        source.rowOffset = g.rowOffset;
        source.columnOffset = g.columnOffset;
        WriteStillFile(path, source);
        return;
    }
    std::unique_ptr<std::uint8_t[]> pixels(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(needed)]);
    if (!pixels) {
        return;
    }
    RenderStill(engine, settings, g, pixels.get());
    source.pixels = pixels.get();
    source.stride = g.width;
    source.monochrome = settings.monochrome;
    source.layout = settings.layout;
    WriteStillFile(path, source);
}

} // namespace

StillGeometry StillGeometryFor(const CameraEngine &engine, const StillPinState &pin) {
    const ConversionSettings live = ConversionSettings::FromEngine(engine);
    return GeometryFor(engine, live, pin, StillMode(engine, live));
}

bool TakeStill(CameraEngine &engine, const StillPinState &pin) {
    if (!engine.ClaimStillRequest(1)) {
        return false;
    }
    ConversionSettings settings = ConversionSettings::FromEngine(engine);
    const StillGeometry g = GeometryFor(engine, settings, pin, StillMode(engine, settings));
    const bool bufferStill = engine.stillToBufferPending;
    const bool raw = pin.rawStill;
    const std::uint64_t needed =
        std::uint64_t(std::max(0, g.width)) * std::uint64_t(std::max(0, g.height)) * (settings.monochrome ? 1 : 4);
    ConversionSettings still = settings;
    still.resolutionMode = g.mode;
    const bool fits = raw || ConversionFits(still, g.width, g.height, g.rawStride, engine.BufferBytes());

    if (bufferStill && (engine.stillBufferSize < needed || !fits)) {
        engine.FinishStill(); // refused: the pending flag stays set
        return true;
    }
    const bool rgbOrder = engine.stillRgbOrder;
    settings.layout = rgbOrder ? kRgbLayout : kBgrLayout;
    if (rgbOrder) {
        SetChannelLayout(kRgbLayout);
    }
    if (bufferStill) {
        ServeBufferStill(engine, settings, g, raw, needed);
    } else if (fits) {
        ServeFileStill(engine, settings, g, raw, needed);
    }
    if (rgbOrder) {
        SetChannelLayout(kBgrLayout);
    }
    engine.FinishStill();
    return true;
}

std::uint64_t BmpFileSize(int width, int height) {
    const std::uint64_t rowSize = (3 * std::uint64_t(std::max(0, width)) + 3) & ~std::uint64_t(3);
    return 54 + rowSize * std::uint64_t(std::max(0, height));
}

namespace {

void PutLe(std::uint8_t *at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void BmpHeaders(std::uint8_t (&header)[54], int width, int height) {
    std::memset(header, 0, sizeof header);
    header[0] = 'B';
    header[1] = 'M';
    PutLe(header + 2, static_cast<std::uint32_t>(BmpFileSize(width, height)), 4);
    PutLe(header + 10, 54, 4);
    PutLe(header + 14, 40, 4);
    PutLe(header + 18, static_cast<std::uint32_t>(width), 4);
    PutLe(header + 22, static_cast<std::uint32_t>(height), 4);
    PutLe(header + 26, 1, 2);
    PutLe(header + 28, 24, 2);
}

// One file row: raw samples, or three bytes per pixel plus zero padding.
void FillRow(const StillFileSource &s, int row, std::uint8_t *out) {
    if (s.raw) {
        const std::uint8_t *src = s.pixels + (std::size_t(s.rowOffset) + std::size_t(row) * s.sampleStep) * s.stride +
                                  std::size_t(s.columnOffset);
        for (int x = 0; x < s.width; ++x) {
            out[x] = src[std::size_t(x) * s.sampleStep];
        }
        return;
    }
    std::uint8_t *at = out;
    if (s.monochrome) {
        const std::uint8_t *src = s.pixels + std::size_t(row) * s.stride;
        for (int x = 0; x < s.width; ++x, at += 3) {
            at[0] = at[1] = at[2] = src[x];
        }
    } else if (s.layout.blue == 0 && s.layout.green == 1 && s.layout.red == 2 && s.width > 0) {
        // Blue-green-red already: each pixel's first three bytes, moved as a
        // four-byte word whose fourth byte the next pixel overwrites.
        const std::uint8_t *src = s.pixels + std::size_t(row) * s.stride * 4;
        for (int x = 0; x + 1 < s.width; ++x, at += 3, src += 4) {
            std::memcpy(at, src, 4);
        }
        at[0] = src[0];
        at[1] = src[1];
        at[2] = src[2];
        at += 3;
    } else {
        const std::uint8_t *src = s.pixels + std::size_t(row) * s.stride * 4;
        for (int x = 0; x < s.width; ++x, at += 3, src += 4) {
            at[0] = src[s.layout.blue];
            at[1] = src[s.layout.green];
            at[2] = src[s.layout.red];
        }
    }
    const std::size_t rowSize = (3 * std::size_t(s.width) + 3) & ~std::size_t(3);
    std::memset(at, 0, rowSize - 3 * std::size_t(s.width));
}

} // namespace

bool WriteStillFile(const char *path, const StillFileSource &source) {
    std::FILE *file = std::fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    const int width = std::max(0, source.width);
    const int height = std::max(0, source.height);
    bool ok = true;
    if (!source.raw) {
        std::uint8_t header[54];
        BmpHeaders(header, width, height);
        ok = std::fwrite(header, 1, sizeof header, file) == sizeof header;
    }
    // Rows are packed into a block of about 256 KB and written with one call,
    // which the file's own buffering would only copy again.
    const std::size_t rowBytes = source.raw ? std::size_t(width) : (3 * std::size_t(width) + 3) & ~std::size_t(3);
    const int rowsPerBlock = rowBytes == 0 ? 1 : int(std::max<std::size_t>(1, (256 * 1024) / rowBytes));
    std::vector<std::uint8_t> block(rowBytes * std::size_t(std::min(rowsPerBlock, std::max(1, height))));
    for (int y = 0; ok && y < height && rowBytes > 0;) {
        const int rows = std::min(rowsPerBlock, height - y);
        for (int r = 0; r < rows; ++r) {
            FillRow(source, y + r, block.data() + std::size_t(r) * rowBytes);
        }
        const std::size_t bytes = std::size_t(rows) * rowBytes;
        ok = std::fwrite(block.data(), 1, bytes, file) == bytes;
        y += rows;
    }
    // A short write (a full disk) is a failure too, not a good file.
    return std::fclose(file) == 0 && ok;
}

void PackPixels24(std::uint8_t *buffer, int width, int height) {
    const std::size_t count = std::size_t(std::max(0, width)) * std::size_t(std::max(0, height));
    std::uint8_t *out = buffer;
    const std::uint8_t *in = buffer;
    for (std::size_t k = 0; k < count; ++k, in += 4, out += 3) {
        // Forward in place is safe: the destination never passes the source.
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
    }
}
