// The banded conversion stills use: assembled from its bands, the picture
// is the reference conversion's, byte for byte (bytes 0 to 2 of each pixel,
// or the grey byte), the raw frame is repaired the same way and the learned
// offsets are the same, for every band height, both flips and every kernel
// level. Pixels a conversion leaves as they were come out black.
#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "converter_test_support.h"
#include "engine/camera_engine.h"
#include "imaging/frame_converter.h"
#include "reference_converter.h"

namespace {

// Puts each band where its rows belong and checks the bands' order and
// format.
class PictureSink : public RowBandSink {
public:
    PictureSink(int pictureWidth, int pictureHeight, int bytesPerPixel)
        : width(pictureWidth), height(pictureHeight), bpp(bytesPerPixel),
          picture(std::size_t(pictureWidth) * pictureHeight * bytesPerPixel, 0xEE),
          seen(std::size_t(pictureHeight), 0) {}
    void takeRows(const RowBand &band) override {
        formatOk = formatOk && band.bytesPerPixel == bpp && band.count > 0 && band.firstRow >= 0 &&
                   band.firstRow + band.count <= height;
        if (!formatOk) {
            return;
        }
        const std::size_t rowBytes = std::size_t(width) * bpp;
        std::copy_n(band.rows, rowBytes * band.count, picture.begin() + rowBytes * band.firstRow);
        for (int r = band.firstRow; r < band.firstRow + band.count; ++r) {
            ++seen[r];
        }
    }
    bool everyRowOnce() const {
        return std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; });
    }

    int width, height, bpp;
    std::vector<std::uint8_t> picture;
    std::vector<int> seen;
    bool formatOk = true;
};

// Converts one random case in bands of bandRows and compares it with the reference.
void ExpectBandsMatchReference(const ConversionSettings &settings, int width, int height, int bandRows,
                               std::mt19937 &rng) {
    const RawExtent extent = RawExtentFor(settings, kLibraryBuild, std::max(width, 3), std::max(height, 3));
    const int stride = extent.lastColumn + 1;
    std::vector<std::uint8_t> raw;
    FillRaw(raw, extent.lastRow + 1, stride, Content::kScene, rng);
    std::vector<std::uint8_t> rawRef = raw;
    const int bpp = settings.convertingStill && settings.monochrome && !kLibraryBuild ? 1 : 4;
    // What was there before is black for the reference too: the bands start out black.
    std::vector<std::uint8_t> expected(std::size_t(width) * height * bpp, 0);

    CameraEngine engine;
    engine.blueOffset = static_cast<std::int8_t>(rng() % 256 - 128);
    engine.redOffset = static_cast<std::int8_t>(rng() % 256 - 128);
    ReferenceOffsets offsets{engine.blueOffset, engine.redOffset};
    std::vector<std::uint8_t> band(std::size_t(width) * bandRows * bpp, 0);
    PictureSink sink(width, height, bpp);
    FrameConverter::convertInBands(engine, settings, raw.data(), width, height, stride, band.data(), bandRows, sink);
    ReferenceConvert(settings, kLibraryBuild, rawRef.data(), expected.data(), width, height, stride, offsets);

    const std::string what = Describe(settings, width, height, stride) + " band " + std::to_string(bandRows) +
                             " level " + imaging::KernelLevelName(imaging::ActiveKernelLevel());
    ASSERT_TRUE(sink.formatOk) << what;
    ASSERT_TRUE(sink.everyRowOnce()) << what;
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        mismatches += (bpp == 1 || i % 4 != 3) && sink.picture[i] != expected[i];
    }
    EXPECT_EQ(mismatches, 0u) << what;
    EXPECT_TRUE(raw == rawRef) << "raw frame repaired differently for " << what;
    EXPECT_EQ(int{engine.blueOffset.get()}, int{offsets.blue}) << what;
    EXPECT_EQ(int{engine.redOffset.get()}, int{offsets.red}) << what;
}

TEST(ConverterBands, AssembledBandsAreTheReferencePicture) {
    std::mt19937 rng(4242);
    for (const imaging::KernelLevel level : SupportedLevels()) {
        ScopedKernelLevel pinned(level);
        for (int i = 0; i < 120; ++i) {
            ConversionSettings settings = RandomSettings(rng);
            settings.overlayImage = nullptr; // the overlay has its own tests; stills never show it
            settings.pixelGainTable = nullptr;
            const int width = std::uniform_int_distribution<int>(1, 90)(rng);
            const int height = std::uniform_int_distribution<int>(1, 70)(rng);
            const int bandRows = std::uniform_int_distribution<int>(1, height + 3)(rng);
            ExpectBandsMatchReference(settings, width, height, bandRows, rng);
            if (HasFatalFailure()) {
                return;
            }
        }
    }
}

TEST(ConverterBands, ColourCorrectionFindsItsReferenceInAnyBand) {
    // The reference pixel may lie in the first, a middle or the last band,
    // flipped or not; the offsets must move exactly as in one piece.
    std::mt19937 rng(77);
    for (int bandRows : {1, 2, 5, 64}) {
        for (bool flip : {false, true}) {
            ConversionSettings settings;
            settings.autoColor = true;
            settings.verticalFlip = flip;
            settings.convertingStill = true;
            ExpectBandsMatchReference(settings, 64, 48, bandRows, rng);
        }
    }
}

} // namespace
