// Fuzz target: the frame converter. One case is a raw frame of fuzzed size,
// stride and content, a ConversionSettings with every field fuzzed (regions,
// steps and offsets outside their ranges, overlay and pixel-gain tables,
// flips, monochrome, raw view, grid, blanking, stills, channel layouts), a
// kernel level, and whole-picture or banded conversion. The raw frame and the
// picture lie against guard pages, so any access past them faults; the
// picture, the repaired raw frame and the learned offsets must equal the
// per-pixel reference conversion's.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/camera_engine.h"
#include "fuzz_input.h"
#include "imaging/convert_plan.h"
#include "imaging/frame_converter.h"
#include "tests/imaging/guarded_buffer.h"
#include "tests/imaging/reference_converter.h"

namespace {

ConversionSettings ReadSettings(FuzzInput &in) {
    ConversionSettings s;
    s.qualityMode = in.Flag();
    s.resolutionMode = in.Between(-1, 4);
    s.regionX = in.Between(-2, 40);
    s.regionY = in.Between(-2, 40);
    s.regionStep = in.Between(-2, 9);
    s.horizontalFlip = in.Flag();
    s.verticalFlip = in.Flag();
    s.monochrome = in.Flag();
    s.rawView = in.Flag();
    s.weightedGray = in.Flag();
    s.grayWeightBlue = in.Between(-20, 300);
    s.grayWeightGreen = in.Between(-20, 300);
    s.grayWeightRed = in.Between(-20, 300);
    s.overlayEnabled = in.Flag();
    s.overlayCopy = in.Flag();
    s.pixelGainLive = in.Flag();
    s.pixelGainStill = in.Flag();
    s.autoColor = in.Flag();
    s.blueOffset = static_cast<std::int8_t>(in.Byte());
    s.redOffset = static_cast<std::int8_t>(in.Byte());
    s.gridEnabled = in.Flag();
    s.gridColumns = in.Between(-2, 1100);
    s.gridRows = in.Between(-2, 1100);
    s.blankOutput = in.Between(0, 15) == 0;
    s.convertingStill = in.Flag();
    // Mostly the two real layouts, sometimes one that is no permutation.
    const int layout = in.Between(0, 7);
    s.layout = layout < 3 ? kBgrLayout : layout < 6 ? kRgbLayout : ChannelLayout{1, 1, 0};
    return s;
}

// Puts each band of a banded conversion where its rows belong.
class PictureSink : public RowBandSink {
public:
    PictureSink(std::uint8_t *picture, int width, int height, int bytesPerPixel)
        : out(picture), rowBytes(std::size_t(width) * bytesPerPixel), rows(height), bpp(bytesPerPixel) {}
    void takeRows(const RowBand &band) override {
        FUZZ_CHECK(band.bytesPerPixel == bpp && band.count > 0 && band.firstRow >= 0 &&
                       band.firstRow + band.count <= rows,
                   "band %d+%d of %d rows, %d bytes per pixel", band.firstRow, band.count, rows, band.bytesPerPixel);
        std::memcpy(out + rowBytes * std::size_t(band.firstRow), band.rows, rowBytes * std::size_t(band.count));
    }

private:
    std::uint8_t *out;
    std::size_t rowBytes;
    int rows, bpp;
};

// The case in words, for reading a finding.
void Describe(const ConversionSettings &s, int width, int height, int stride, bool banded, int bandRows) {
    std::fprintf(stderr,
                 "case: %dx%d stride %d %s (band %d) level %s quality %d mode %d region %d,%d step %d flips %d%d "
                 "mono %d raw %d weighted %d (%d,%d,%d) overlay %d%d%s gain %d%d%s auto %d offsets %d,%d grid %d "
                 "%dx%d blank %d still %d layout %d%d%d\n",
                 width, height, stride, banded ? "bands" : "whole", bandRows,
                 imaging::KernelLevelName(imaging::ActiveKernelLevel()), s.qualityMode, s.resolutionMode, s.regionX,
                 s.regionY, s.regionStep, s.horizontalFlip, s.verticalFlip, s.monochrome, s.rawView, s.weightedGray,
                 s.grayWeightBlue, s.grayWeightGreen, s.grayWeightRed, s.overlayEnabled, s.overlayCopy,
                 s.overlayImage ? "+" : "-", s.pixelGainLive, s.pixelGainStill, s.pixelGainTable ? "+" : "-",
                 s.autoColor, s.blueOffset, s.redOffset, s.gridEnabled, s.gridColumns, s.gridRows, s.blankOutput,
                 s.convertingStill, s.layout.blue, s.layout.green, s.layout.red);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzInput in(data, size);
    const int width = in.Between(0, 80);
    const int height = in.Between(0, 60);
    const int extraStride = in.Between(0, 5);
    ConversionSettings settings = ReadSettings(in);
    const auto level = static_cast<imaging::KernelLevel>(in.Between(0, 3));
    const bool banded = in.Flag();
    const int bandRows = in.Between(1, 64);
    const bool guardBefore = in.Flag();
    const bool withOverlay = in.Flag();
    const bool withGainTable = in.Flag();
    const auto engineBlue = static_cast<std::int8_t>(in.Byte());
    const auto engineRed = static_cast<std::int8_t>(in.Byte());
    imaging::SetKernelLevel(level);

    // The raw frame as large as this conversion may read, as callers provide it.
    const RawExtent extent = RawExtentFor(settings, kLibraryBuild, std::max(width, 3), std::max(height, 3));
    const int stride = std::max(extent.lastColumn + 1, 1) + extraStride;
    const std::size_t rawBytes = std::size_t(std::max(extent.lastRow + 1, 1)) * std::size_t(stride);
    std::vector<std::uint8_t> raw(rawBytes);
    for (std::size_t i = 0; i < rawBytes; ++i)
        raw[i] = in.RestSize() > 0 ? in.Byte() : static_cast<std::uint8_t>(i * 37u);
    const bool eightBit = settings.convertingStill && settings.monochrome && !kLibraryBuild;
    const int bpp = eightBit ? 1 : 4;
    const std::size_t outBytes = std::size_t(width) * std::size_t(height) * std::size_t(bpp);

    std::vector<std::uint8_t> overlay(std::size_t(width) * std::size_t(height) * 4u);
    for (std::size_t i = 0; i < overlay.size(); ++i)
        overlay[i] = static_cast<std::uint8_t>(i % 4 == 3 ? ((i / 4) % 3 == 0   ? 0xFF
                                                             : (i / 4) % 3 == 1 ? 0xFE
                                                                                : 0)
                                                          : i * 11u);
    std::vector<std::int32_t> gain(rawBytes);
    for (std::size_t i = 0; i < gain.size(); ++i)
        gain[i] = std::int32_t(i % 461) - 60;
    if (withOverlay)
        settings.overlayImage = overlay.data();
    if (withGainTable)
        settings.pixelGainTable = gain.data();

    const auto guard = guardBefore ? GuardedBuffer::Guard::kBefore : GuardedBuffer::Guard::kAfter;
    GuardedBuffer guardedRaw(rawBytes, guard);
    GuardedBuffer guardedOut(std::max<std::size_t>(outBytes, 1), guard);
    std::memcpy(guardedRaw.data(), raw.data(), rawBytes);
    // The banded conversion hands over black rows where a whole-picture one
    // leaves pixels as they were: both start from black.
    std::memset(guardedOut.data(), 0, outBytes);
    std::vector<std::uint8_t> expected(outBytes, 0);

    if (std::getenv("ORISCOPE_FUZZ_TRACE") != nullptr)
        Describe(settings, width, height, stride, banded, bandRows);
    CameraEngine engine;
    engine.blueOffset = engineBlue;
    engine.redOffset = engineRed;
    ReferenceOffsets offsets{engineBlue, engineRed};
    if (banded) {
        GuardedBuffer band(std::max<std::size_t>(std::size_t(width) * std::size_t(bandRows) * std::size_t(bpp), 1),
                           guard);
        PictureSink sink(guardedOut.data(), width, height, bpp);
        FrameConverter::convertInBands(engine, settings, guardedRaw.data(), width, height, stride, band.data(),
                                       bandRows, sink);
    } else {
        FrameConverter::convert(engine, settings, guardedRaw.data(), guardedOut.data(), width, height, stride);
    }
    ReferenceConvert(settings, kLibraryBuild, raw.data(), expected.data(), width, height, stride, offsets);

    for (std::size_t i = 0; i < outBytes; ++i) {
        // The fourth byte of a banded picture is whatever the band held.
        if (banded && bpp == 4 && i % 4 == 3)
            continue;
        FUZZ_CHECK(guardedOut.data()[i] == expected[i], "%dx%d picture byte %zu: converter %d, reference %d (%s)",
                   width, height, i, int{guardedOut.data()[i]}, int{expected[i]}, banded ? "bands" : "whole");
    }
    FUZZ_CHECK(std::memcmp(guardedRaw.data(), raw.data(), rawBytes) == 0, "the repaired raw frames differ");
    FUZZ_CHECK(engine.blueOffset.get() == offsets.blue && engine.redOffset.get() == offsets.red,
               "learned offsets %d,%d, reference %d,%d", int{engine.blueOffset.get()}, int{engine.redOffset.get()},
               int{offsets.blue}, int{offsets.red});
    return 0;
}
