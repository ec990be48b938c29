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
        // The engine accepts no negative offset; one that reached us anyway
        // must not move the reads before the frame.
        plan.xo = std::max(0, s.regionX) / plan.step;
        plan.yo = std::max(0, s.regionY) / plan.step;
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

// Interior row r (1 .. height - 2), written to outRow; nextOutRow is where
// the next interior row goes, if the kernels may prefetch it.
imaging::RowTask rowTask(const imaging::FramePlan &plan, int r, std::uint8_t *outRow, const std::uint8_t *nextOutRow) {
    const std::ptrdiff_t y = static_cast<std::ptrdiff_t>(plan.step) * (plan.yo + r);
    const int outIndex = plan.verticalFlip ? plan.height - 1 - r : r;
    imaging::RowTask row;
    row.r = r;
    row.rawCentreRow = plan.raw + y * plan.rawStride;
    row.outRowOffset = plan.bytesPerPixel() * static_cast<std::size_t>(plan.width) * static_cast<std::size_t>(outIndex);
    row.outRow = outRow;
    row.nextOutRow = r < plan.height - 2 && !plan.eightBit ? nextOutRow : nullptr;
    row.gainRow = plan.gainTable != nullptr ? plan.gainTable + y * plan.rawStride : nullptr;
    row.defectRow = plan.defect && r >= 2 && r <= plan.height - 3;
    row.onGrid = plan.gridCellHeight > 0 && (plan.yo + r) % plan.gridCellHeight == 0;
    return row;
}

bool convertsInterior(const imaging::FramePlan &plan) {
    return plan.width >= 3 && plan.height >= 3 && plan.touchesInterior;
}

void convertInterior(const imaging::FramePlan &plan, imaging::ReferenceSearch &search) {
    const imaging::RowFunction convertRow = rowFunctionFor(plan);
    const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(plan.bytesPerPixel()) * plan.width;
    for (int r = 1; r <= plan.height - 2; ++r) {
        std::uint8_t *outRow = plan.out + rowBytes * (plan.verticalFlip ? plan.height - 1 - r : r);
        convertRow(plan, rowTask(plan, r, outRow, plan.verticalFlip ? outRow - rowBytes : outRow + rowBytes), search);
    }
}

// The reference pixel's blue, green and red where the colour correction
// found it; a banded conversion copies them before the band moves on.
struct ReferencePixel {
    int blue = 0, green = 0, red = 0; // the black corner until a brighter one is found
    void readFrom(const imaging::FramePlan &plan, const std::uint8_t *px) {
        blue = px[plan.byteOfBlue];
        green = px[plan.byteOfGreen];
        red = px[plan.byteOfRed];
    }
};

// Raw rows r0 .. r1 - 1 into the band: border pixels, then the interior.
// Output row r goes to the band's slot of its output row index.
void convertBand(const imaging::FramePlan &plan, imaging::RowFunction convertRow, int r0, int r1, std::uint8_t *band,
                 imaging::ReferenceSearch &search) {
    const std::size_t bpp = plan.bytesPerPixel();
    const std::size_t rowBytes = bpp * static_cast<std::size_t>(plan.width);
    auto slot = [&](int r) {
        return band + rowBytes * static_cast<std::size_t>(plan.verticalFlip ? r1 - 1 - r : r - r0);
    };
    for (int r = r0; r < r1; ++r) {
        std::uint8_t *outRow = slot(r);
        if (r == 0 || r == plan.height - 1) {
            for (int x = 0; x < plan.width; ++x) {
                blackPixel(plan, outRow + bpp * static_cast<std::size_t>(x));
            }
            continue;
        }
        blackPixel(plan, outRow);
        blackPixel(plan, outRow + rowBytes - bpp);
        if (convertsInterior(plan)) {
            convertRow(plan, rowTask(plan, r, outRow, r + 1 < r1 ? slot(r + 1) : nullptr), search);
        }
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
void updateOffsets(CameraEngine &engine, const ReferencePixel &reference) {
    platform::Lock lock(engine.offsetLock);
    engine.blueOffset = stepOffset(engine.blueOffset, reference.green, reference.blue);
    engine.redOffset = stepOffset(engine.redOffset, reference.green, reference.red);
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
    if (convertsInterior(plan)) {
        convertInterior(plan, search);
    }
    if (plan.autoColor) {
        ReferencePixel reference;
        reference.readFrom(plan, plan.out + search.offset);
        updateOffsets(engine, reference);
    }
}

void FrameConverter::convertInBands(CameraEngine &engine, const ConversionSettings &settings, std::uint8_t *raw,
                                    int width, int height, int rawStride, std::uint8_t *band, int bandRows,
                                    RowBandSink &sink) {
    if (width <= 0 || height <= 0 || bandRows <= 0) {
        return;
    }
    const imaging::FramePlan plan = makePlan(settings, raw, nullptr, width, height, rawStride);
    const imaging::RowFunction convertRow = rowFunctionFor(plan);
    const std::size_t rowBytes = plan.bytesPerPixel() * static_cast<std::size_t>(width);
    imaging::ReferenceSearch search;
    ReferencePixel reference;
    // Raw rows in order: defect correction repairs rows that later rows read.
    for (int r0 = 0; r0 < height; r0 += bandRows) {
        const int r1 = std::min(height, r0 + bandRows);
        if (plan.source == imaging::PixelSource::kExisting) {
            std::fill_n(band, rowBytes * static_cast<std::size_t>(r1 - r0), std::uint8_t{0});
        }
        const std::size_t before = search.offset;
        convertBand(plan, convertRow, r0, r1, band, search);
        const int firstRow = plan.verticalFlip ? height - r1 : r0;
        if (search.offset != before) { // found in this band: read it while the band holds it
            const std::size_t row = search.offset / rowBytes - static_cast<std::size_t>(firstRow);
            reference.readFrom(plan, band + row * rowBytes + search.offset % rowBytes);
        }
        RowBand rows;
        rows.firstRow = firstRow;
        rows.count = r1 - r0;
        rows.rows = band;
        rows.bytesPerPixel = static_cast<int>(plan.bytesPerPixel());
        rows.layout = ChannelLayout{plan.byteOfBlue, plan.byteOfGreen, plan.byteOfRed};
        sink.takeRows(rows);
    }
    if (plan.autoColor) {
        updateOffsets(engine, reference);
    }
}
