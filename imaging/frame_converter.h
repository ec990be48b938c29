// FrameConverter: one raw Bayer frame into a 32-bit picture (or the 8-bit
// grey layout of monochrome stills), in a single pass: border, defect
// correction, demosaicing, grey, overlay, pixel gain, automatic colour
// correction, grid, blanking, with both flips.
//
// Threading: the converter takes no lock of its own except the engine's
// offsetLock for the end-of-frame colour-correction update. Settings are read
// once per frame into a ConversionSettings snapshot, so a setting changed
// during a conversion takes effect from the next frame, and a still's
// temporary settings never reach a conversion running on another thread.
#pragma once

#include <cstdint>

#include "engine/camera_engine.h"

// Byte positions of blue, green and red within a 32-bit pixel.
struct ChannelLayout {
    std::uint16_t blue = 0;
    std::uint16_t green = 1;
    std::uint16_t red = 2;

    bool operator==(const ChannelLayout &) const = default;
};
inline constexpr ChannelLayout kBgrLayout{0, 1, 2};
inline constexpr ChannelLayout kRgbLayout{2, 1, 0};

// The process-wide layout: (0, 1, 2) except while an RGB-order still is
// being taken. Live conversions do not read it (they always use kBgrLayout
// via their snapshot); it tells the still writer which layout a still
// buffer was rendered in.
ChannelLayout CurrentChannelLayout();
void SetChannelLayout(ChannelLayout layout);

// Every setting one conversion reads, captured once at its start.
struct ConversionSettings {
    bool qualityMode = true;
    int resolutionMode = 0;
    int regionX = 0, regionY = 0, regionStep = 1;
    bool horizontalFlip = false, verticalFlip = false;
    bool monochrome = false, rawView = false;
    bool weightedGray = false;
    int grayWeightBlue = 100, grayWeightGreen = 100, grayWeightRed = 100;
    bool overlayEnabled = false, overlayCopy = false;
    const std::uint8_t *overlayImage = nullptr;
    const std::int32_t *pixelGainTable = nullptr;
    bool pixelGainLive = false, pixelGainStill = false;
    bool autoColor = false;
    std::int8_t blueOffset = 0, redOffset = 0;
    bool gridEnabled = false;
    int gridColumns = 2, gridRows = 2;
    bool blankOutput = false;
    bool convertingStill = false;
    ChannelLayout layout = kBgrLayout;

    // A live conversion's view of the engine: every setting above as the
    // engine holds it, except convertingStill (false: the still step sets
    // it, with its layout, in its own copy) and layout (kBgrLayout).
    static ConversionSettings FromEngine(const CameraEngine &engine);

    // Equal settings convert one raw frame to equal pictures (the overlay and
    // gain table compared as pointers: their contents are the caller's).
    bool operator==(const ConversionSettings &) const = default;
};

// Consecutive output rows of a banded conversion.
struct RowBand {
    int firstRow = 0; // output row index of the first row
    int count = 0;    // rows, one after another from `rows`
    const std::uint8_t *rows = nullptr;
    int bytesPerPixel = 4;             // 4, or 1 for the grey layout of monochrome stills
    ChannelLayout layout = kBgrLayout; // byte positions of 4-byte pixels
};

// Takes a conversion's output a band of rows at a time (see
// FrameConverter::convertInBands). The band is valid only during the call.
class RowBandSink {
public:
    virtual void takeRows(const RowBand &band) = 0;

protected:
    ~RowBandSink() = default;
};

// Decisions where the settings leave the result open: a region step below 1
// samples with step 1 and a negative region offset counts as 0; weighted
// grey and pixel gain clamp to 0..255 (the gain product is formed in 64
// bits); a grid count below 1 or a cell size of 0 draws no grid; a layout
// that is not a permutation of 0, 1, 2 converts in blue-green-red order.
// Frames narrower or lower than 3 pixels get only their border, and width
// or height 0 writes nothing.
class FrameConverter {
public:
    // Converts with the engine's current settings.
    static void convert(CameraEngine &engine, std::uint8_t *raw, std::uint8_t *out, int width, int height,
                        int rawStride);
    // Converts with settings the caller captured (a still passes its
    // temporary resolution mode, flip, layout and convertingStill here).
    // The colour-correction offsets learned at the end go to the engine.
    static void convert(CameraEngine &engine, const ConversionSettings &settings, std::uint8_t *raw, std::uint8_t *out,
                        int width, int height, int rawStride);
    // The same conversion without a picture of the full size: the rows go
    // through `band` (bandRows rows of width x bytes per pixel) to `sink`,
    // in the order the raw frame is read (from the last output row upwards
    // when vertically flipped). Bytes 0 to 2 of every pixel (or the grey
    // byte) are those convert gives, and so are the learned offsets; the
    // fourth bytes are whatever the band held. Where convert would leave a
    // pixel as it was (raw view in colour), the band is black.
    static void convertInBands(CameraEngine &engine, const ConversionSettings &settings, std::uint8_t *raw, int width,
                               int height, int rawStride, std::uint8_t *band, int bandRows, RowBandSink &sink);
};
