// Still images: serving a still request from the preview consumer's frame.
#include "imaging/still_image.h"

#include <algorithm>
#include <cstring>

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

// The conversion settings of a colour or grey still.
ConversionSettings StillSettings(ConversionSettings settings, const StillGeometry &g) {
    settings.resolutionMode = g.mode;
    settings.convertingStill = true;
    settings.verticalFlip = !settings.verticalFlip; // stills are stored bottom-up
    return settings;
}

// Renders a colour or grey still into `out` (width x height x bytes per pixel).
void RenderStill(CameraEngine &engine, const ConversionSettings &settings, const StillGeometry &g, std::uint8_t *out) {
    FrameConverter::convert(engine, StillSettings(settings, g), engine.consumerBuffer, out, g.width, g.height,
                            g.rawStride);
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

void ServeFileStill(CameraEngine &engine, const ConversionSettings &settings, const StillGeometry &g, bool raw) {
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
    WriteConvertedStill(engine, StillSettings(settings, g), engine.consumerBuffer, g.width, g.height, g.rawStride,
                        path);
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
        ServeFileStill(engine, settings, g, raw);
    }
    if (rgbOrder) {
        SetChannelLayout(kBgrLayout);
    }
    engine.FinishStill();
    return true;
}
