// FrameConverter: the settings of one frame resolved into a plan, the border,
// the interior rows (through the row kernels of the best instruction set), and
// the end-of-frame update of the colour-correction offsets.
#include "imaging/frame_converter.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "imaging/convert_plan.h"

namespace {

// The three byte positions packed into one word, so a reader never sees half
// of a change.
std::uint64_t packLayout(ChannelLayout layout) {
    return std::uint64_t{layout.blue} | (std::uint64_t{layout.green} << 16) | (std::uint64_t{layout.red} << 32);
}

std::atomic<std::uint64_t> channelLayoutWord{packLayout(kBgrLayout)};

bool isPermutation(ChannelLayout layout) {
    return layout.blue <= 2 && layout.green <= 2 && layout.red <= 2 && layout.blue != layout.green &&
           layout.blue != layout.red && layout.green != layout.red;
}

// The library build converts with step 1, in blue-green-red order, with
// nothing but the border, the demosaicing and the flips.
ConversionSettings libraryView(const ConversionSettings &settings) {
    ConversionSettings view;
    view.qualityMode = false;
    view.horizontalFlip = settings.horizontalFlip;
    view.verticalFlip = settings.verticalFlip;
    return view;
}

void resolveGeometry(const ConversionSettings &s, imaging::FramePlan &plan) {
    const int mode = s.qualityMode ? s.resolutionMode : kModeFull;
    switch (mode) {
    case kModeHalf:
        plan.step = 2;
        break;
    case kModeQuarter:
        plan.step = 4;
        break;
    case kModeCustom:
        plan.step = std::max(1, s.regionStep); // a step below 1 is never used
        plan.xo = s.regionX / plan.step;
        plan.yo = s.regionY / plan.step;
        break;
    default:
        plan.step = 1;
        break;
    }
}

void resolveStages(const ConversionSettings &s, imaging::FramePlan &plan) {
    using imaging::PixelSource;
    plan.eightBit = s.convertingStill && s.monochrome;
    const ChannelLayout layout = isPermutation(s.layout) ? s.layout : kBgrLayout;
    plan.byteOfBlue = static_cast<std::uint8_t>(layout.blue);
    plan.byteOfGreen = static_cast<std::uint8_t>(layout.green);
    plan.byteOfRed = static_cast<std::uint8_t>(layout.red);

    if (s.rawView) {
        plan.source = s.monochrome ? PixelSource::kRawGrey : PixelSource::kExisting;
    } else {
        plan.source = PixelSource::kDemosaic;
        plan.defect = !kLibraryBuild;
        plan.greyWeighted = plan.eightBit && s.weightedGray;
        plan.greyMean = s.monochrome && !plan.greyWeighted;
        plan.weightBlue = s.grayWeightBlue;
        plan.weightGreen = s.grayWeightGreen;
        plan.weightRed = s.grayWeightRed;
    }
    if (!plan.eightBit && !s.convertingStill && s.overlayEnabled && s.overlayImage != nullptr) {
        plan.overlay = s.overlayImage;
        plan.overlayCopy = s.overlayCopy;
    }
    if (s.rawView && s.pixelGainTable != nullptr && (s.convertingStill ? s.pixelGainStill : s.pixelGainLive)) {
        plan.gainTable = s.pixelGainTable;
    }
    plan.autoColor = s.autoColor && !plan.eightBit;
    plan.blueOffset = s.blueOffset;
    plan.redOffset = s.redOffset;
    if (s.gridEnabled && s.gridColumns >= 1 && s.gridRows >= 1) {
        const int cellWidth = plan.width / s.gridColumns;
        const int cellHeight = (plan.eightBit ? plan.yo + plan.height : plan.height) / s.gridRows;
        if (cellWidth > 0 && cellHeight > 0) { // otherwise no grid rather than a division by zero
            plan.gridCellWidth = cellWidth;
            plan.gridCellHeight = cellHeight;
        }
    }
    plan.blank = s.blankOutput;
    plan.directStore = plan.source == PixelSource::kDemosaic && !plan.eightBit && plan.byteOfGreen == 1 &&
                       plan.overlay == nullptr && plan.gainTable == nullptr && plan.gridCellWidth == 0 && !plan.blank;
    plan.touchesInterior = plan.source != PixelSource::kExisting || plan.overlay != nullptr ||
                           plan.gainTable != nullptr || plan.autoColor || plan.gridCellWidth > 0 || plan.blank;
}

imaging::FramePlan makePlan(const ConversionSettings &settings, std::uint8_t *raw, std::uint8_t *out, int width,
                            int height, int rawStride) {
    const ConversionSettings s = kLibraryBuild ? libraryView(settings) : settings;
    imaging::FramePlan plan;
    plan.raw = raw;
    plan.out = out;
    plan.width = width;
    plan.height = height;
    plan.rawStride = rawStride;
    plan.mirror = !s.horizontalFlip;
    plan.verticalFlip = s.verticalFlip;
    resolveGeometry(s, plan);
    resolveStages(s, plan);
    return plan;
}

void blackPixel(const imaging::FramePlan &plan, std::uint8_t *px) {
    px[0] = 0;
    if (!plan.eightBit) { // blue, green and red fill bytes 0 to 2 in either order
        px[1] = 0;
        px[2] = 0;
    }
}

void writeBorder(const imaging::FramePlan &plan) {
    const std::size_t bpp = plan.bytesPerPixel();
    const std::size_t rowBytes = bpp * static_cast<std::size_t>(plan.width);
    std::uint8_t *lastRow = plan.out + rowBytes * static_cast<std::size_t>(plan.height - 1);
    for (int x = 0; x < plan.width; ++x) {
        blackPixel(plan, plan.out + bpp * x);
        blackPixel(plan, lastRow + bpp * x);
    }
    for (int row = 1; row < plan.height - 1; ++row) {
        std::uint8_t *first = plan.out + rowBytes * static_cast<std::size_t>(row);
        blackPixel(plan, first);
        blackPixel(plan, first + rowBytes - bpp);
    }
}

imaging::RowFunction rowFunctionFor(const imaging::FramePlan &plan) {
    switch (imaging::ActiveKernelLevel()) {
    case imaging::KernelLevel::kAvx512:
        return imaging::Avx512RowFunction(plan);
    case imaging::KernelLevel::kAvx2:
        return imaging::Avx2RowFunction(plan);
    case imaging::KernelLevel::kSse2:
        return imaging::Sse2RowFunction(plan);
    default:
        return imaging::ScalarRowFunction(plan);
    }
}

void convertInterior(const imaging::FramePlan &plan, imaging::ReferenceSearch &search) {
    const imaging::RowFunction convertRow = rowFunctionFor(plan);
    const std::size_t rowBytes = plan.bytesPerPixel() * static_cast<std::size_t>(plan.width);
    for (int r = 1; r <= plan.height - 2; ++r) {
        const std::ptrdiff_t y = static_cast<std::ptrdiff_t>(plan.step) * (plan.yo + r);
        const int outRow = plan.verticalFlip ? plan.height - 1 - r : r;
        imaging::RowTask row;
        row.r = r;
        row.rawCentreRow = plan.raw + y * plan.rawStride;
        row.outRowOffset = rowBytes * static_cast<std::size_t>(outRow);
        row.outRow = plan.out + row.outRowOffset;
        if (r < plan.height - 2 && !plan.eightBit) {
            row.nextOutRow = plan.verticalFlip ? row.outRow - rowBytes : row.outRow + rowBytes;
        }
        row.gainRow = plan.gainTable != nullptr ? plan.gainTable + y * plan.rawStride : nullptr;
        row.defectRow = plan.defect && r >= 2 && r <= plan.height - 3;
        row.onGrid = plan.gridCellHeight > 0 && (plan.yo + r) % plan.gridCellHeight == 0;
        convertRow(plan, row, search);
    }
}

std::int8_t stepOffset(std::int8_t offset, int green, int channel) {
    int next = offset;
    if (green > channel) {
        next += 2;
    } else if (green < channel) {
        next -= 2;
    }
    return static_cast<std::int8_t>(next); // wraps: 126 + 2 is -128
}

// Moves the engine's offsets toward a grey reference pixel. Reads the
// engine's current offsets under its lock, so two conversions of one engine
// never lose each other's step.
void updateOffsets(CameraEngine &engine, const imaging::FramePlan &plan, const imaging::ReferenceSearch &search) {
    const std::uint8_t *px = plan.out + search.offset;
    const int blue = px[plan.byteOfBlue], green = px[plan.byteOfGreen], red = px[plan.byteOfRed];
    platform::Lock lock(engine.offsetLock);
    engine.blueOffset = stepOffset(engine.blueOffset, green, blue);
    engine.redOffset = stepOffset(engine.redOffset, green, red);
}

} // namespace

ChannelLayout CurrentChannelLayout() {
    const std::uint64_t word = channelLayoutWord.load(std::memory_order_acquire);
    return ChannelLayout{static_cast<std::uint16_t>(word), static_cast<std::uint16_t>(word >> 16),
                         static_cast<std::uint16_t>(word >> 32)};
}

void SetChannelLayout(ChannelLayout layout) {
    channelLayoutWord.store(packLayout(layout), std::memory_order_release);
}

ConversionSettings ConversionSettings::FromEngine(const CameraEngine &engine) {
    ConversionSettings s;
    s.qualityMode = engine.qualityMode;
    s.resolutionMode = engine.resolutionMode;
    s.regionX = engine.regionX;
    s.regionY = engine.regionY;
    s.regionStep = engine.regionStep;
    s.horizontalFlip = engine.horizontalFlip;
    s.verticalFlip = engine.verticalFlip;
    s.monochrome = engine.monochrome;
    s.rawView = engine.rawView;
    s.weightedGray = engine.weightedGray;
    s.grayWeightBlue = engine.grayWeightBlue;
    s.grayWeightGreen = engine.grayWeightGreen;
    s.grayWeightRed = engine.grayWeightRed;
    s.overlayEnabled = engine.overlayEnabled;
    s.overlayCopy = engine.overlayCopy;
    s.overlayImage = engine.overlayImage;
    s.pixelGainTable = engine.pixelGainTable;
    s.pixelGainLive = engine.pixelGainLive;
    s.pixelGainStill = engine.pixelGainStill;
    s.autoColor = engine.autoColor;
    s.blueOffset = engine.blueOffset;
    s.redOffset = engine.redOffset;
    s.gridEnabled = engine.gridEnabled;
    s.gridColumns = engine.gridColumns;
    s.gridRows = engine.gridRows;
    s.blankOutput = engine.blankOutput;
    s.convertingStill = false; // a live view: the still passes its own settings
    s.layout = kBgrLayout;
    return s;
}

void FrameConverter::convert(CameraEngine &engine, std::uint8_t *raw, std::uint8_t *out, int width, int height,
                             int rawStride) {
    convert(engine, ConversionSettings::FromEngine(engine), raw, out, width, height, rawStride);
}

void FrameConverter::convert(CameraEngine &engine, const ConversionSettings &settings, std::uint8_t *raw,
                             std::uint8_t *out, int width, int height, int rawStride) {
    if (width <= 0 || height <= 0) {
        return; // no pixel to write, and no reference pixel to read
    }
    const imaging::FramePlan plan = makePlan(settings, raw, out, width, height, rawStride);
    writeBorder(plan);
    imaging::ReferenceSearch search; // starts at the black corner pixel
    if (width >= 3 && height >= 3 && plan.touchesInterior) {
        convertInterior(plan, search);
    }
    if (plan.autoColor) {
        updateOffsets(engine, plan, search);
    }
}
