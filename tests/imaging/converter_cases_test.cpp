// The converter on frames whose every expected byte is known: the defect
// threshold, sampling steps and regions, mirroring, overlay, pixel gain,
// colour correction, the grid, and the behaviour chosen where settings would
// otherwise divide by zero or overflow a byte.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "engine/camera_engine.h"
#include "imaging/frame_converter.h"

#include "converter_test_support.h"
#include "guarded_buffer.h"

namespace {

// A raw frame of one value, and an output full of a marker byte, so that
// unwritten bytes show.
struct Frame {
    Frame(int rawWidth, int rawHeight, int outWidth, int outHeight, std::uint8_t fill = 100, int bytesPerPixel = 4)
        : stride(rawWidth), width(outWidth), height(outHeight),
          raw(static_cast<std::size_t>(rawWidth) * rawHeight, fill),
          out(static_cast<std::size_t>(outWidth) * outHeight * bytesPerPixel, kMarker) {}

    std::uint8_t &at(int y, int x) { return raw[static_cast<std::size_t>(y) * stride + x]; }
    const std::uint8_t *pixel(int row, int column) const {
        return &out[(static_cast<std::size_t>(row) * width + column) * 4];
    }
    void convert(CameraEngine &engine) {
        FrameConverter::convert(engine, raw.data(), out.data(), width, height, stride);
    }
    void convert(CameraEngine &engine, const ConversionSettings &s) {
        FrameConverter::convert(engine, s, raw.data(), out.data(), width, height, stride);
    }

    static constexpr std::uint8_t kMarker = 0xA5;
    int stride, width, height;
    std::vector<std::uint8_t> raw;
    std::vector<std::uint8_t> out;
};

#define EXPECT_BGR(px, b, g, r)                                                                                        \
    do {                                                                                                               \
        EXPECT_EQ(int{(px)[0]}, (b));                                                                                  \
        EXPECT_EQ(int{(px)[1]}, (g));                                                                                  \
        EXPECT_EQ(int{(px)[2]}, (r));                                                                                  \
    } while (0)

TEST(ConverterDefects, StrictlyMoreThanSeventyAboveAllFourNeighbours) {
    CameraEngine engine;
    Frame hot(9, 9, 9, 9), warm(9, 9, 9, 9);
    hot.at(4, 4) = 171;
    warm.at(4, 4) = 170;
    hot.convert(engine);
    warm.convert(engine);
    EXPECT_EQ(int{hot.at(4, 4)}, 100) << "replaced in the raw frame";
    EXPECT_EQ(int{warm.at(4, 4)}, 170);
    // Green site (even, even): green is the centre sample; mirrored to column 8 - 4.
    EXPECT_EQ(int{hot.pixel(4, 4)[1]}, 100);
    EXPECT_EQ(int{warm.pixel(4, 4)[1]}, 170);
}

TEST(ConverterDefects, OuterTwoRowsAndColumnsAreNeverTested) {
    CameraEngine engine;
    Frame frame(9, 9, 9, 9);
    frame.at(1, 4) = 250; // output row 1
    frame.at(4, 1) = 250; // column index 1
    frame.at(7, 4) = 250; // row height - 2
    frame.at(4, 6) = 250; // column index width - 3: tested
    frame.convert(engine);
    EXPECT_EQ(int{frame.at(1, 4)}, 250);
    EXPECT_EQ(int{frame.at(4, 1)}, 250);
    EXPECT_EQ(int{frame.at(7, 4)}, 250);
    EXPECT_EQ(int{frame.at(4, 6)}, 100);
}

TEST(ConverterSampling, HalfTakesEveryColourFromAroundAGreenSite) {
    CameraEngine engine;
    engine.resolutionMode = kModeHalf;
    Frame frame(1280, 1024, 640, 512);
    for (int y = 0; y < 1024; ++y) {
        for (int x = 0; x < 1280; ++x) {
            frame.at(y, x) = static_cast<std::uint8_t>((x * 7 + y * 13) % 61); // no defects
        }
    }
    frame.convert(engine);
    int mismatches = 0;
    for (int r = 1; r <= 510; ++r) {
        for (int j = 1; j <= 638; ++j) {
            const int y = 2 * r, x = 2 * j;
            const std::uint8_t *px = frame.pixel(r, 639 - j);
            mismatches += px[1] != frame.at(y, x);
            mismatches += px[0] != ((frame.at(y - 1, x) + frame.at(y + 1, x)) >> 1);
            mismatches += px[2] != ((frame.at(y, x - 1) + frame.at(y, x + 1)) >> 1);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(ConverterSampling, RegionColumnFiveWithStepTwoStartsAtRawColumnSix) {
    CameraEngine engine;
    engine.resolutionMode = kModeCustom;
    engine.regionX = 5;
    engine.regionStep = 2;
    Frame frame(40, 12, 8, 5);
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 40; ++x) {
            frame.at(y, x) = static_cast<std::uint8_t>(x);
        }
    }
    frame.convert(engine);
    EXPECT_BGR(frame.pixel(1, 8 - 1 - 1), 6, 6, 6);    // j = 1: raw column 6
    EXPECT_BGR(frame.pixel(1, 8 - 1 - 2), 8, 8, 8);    // j = 2: raw column 8
    EXPECT_BGR(frame.pixel(2, 8 - 1 - 6), 16, 16, 16); // j = 6: raw column 16
}

TEST(ConverterSampling, StepBelowOneIsTakenAsOne) {
    for (int step : {0, -3}) {
        CameraEngine engine, reference;
        for (CameraEngine *e : {&engine, &reference}) {
            e->resolutionMode = kModeCustom;
            e->regionX = 3;
            e->regionY = 2;
        }
        engine.regionStep = step;
        reference.regionStep = 1;
        Frame frame(30, 20, 20, 12), expected(30, 20, 20, 12);
        for (std::size_t i = 0; i < frame.raw.size(); ++i) {
            frame.raw[i] = expected.raw[i] = static_cast<std::uint8_t>(i * 37 % 251);
        }
        frame.convert(engine);
        expected.convert(reference);
        EXPECT_EQ(frame.out, expected.out) << "step " << step;
    }
}

// Step 3 at every kernel level, with centres just above, at and just below
// the defect threshold in the first and last tested rows and columns, and
// neighbours that are hot themselves (never corrected: they are no centre).
// The raw frame ends exactly at the last sample the conversion may read.
void ExpectStepThreeEdgesMatchReference(const ConversionSettings &s, int width, int height, std::mt19937 &rng) {
    const RawExtent extent = RawExtentFor(s, false, width, height);
    const int stride = extent.lastColumn + 1, rows = extent.lastRow + 1;
    std::vector<std::uint8_t> content(static_cast<std::size_t>(rows) * stride);
    std::uniform_int_distribution<int> background(60, 140), kind(0, 3);
    for (auto &v : content) {
        v = static_cast<std::uint8_t>(background(rng));
    }
    auto at = [&](int y, int x) -> std::uint8_t & { return content[static_cast<std::size_t>(y) * stride + x]; };
    const int xo = s.regionX / 3, yo = s.regionY / 3;
    for (int r : {2, 3, height - 3}) {
        // 12 and 13: the last centre of a 32-byte defect vector and the first of the next.
        for (int j : {2, 3, 4, 12, 13, width / 2, width - 5, width - 4, width - 3}) {
            if (j > width - 3) {
                continue;
            }
            const int y = 3 * (yo + r), x = 3 * (xo + j);
            const int largest = std::max({at(y - 2, x), at(y + 2, x), at(y, x - 2), at(y, x + 2)});
            const int k = kind(rng);
            if (k == 3) {
                at(y, x + 1) = 250; // a neighbour, read by the demosaicing only
                at(y - 1, x) = 245;
            } else {
                at(y, x) = static_cast<std::uint8_t>(largest + 70 + k); // 70 stays, 71 and 72 are replaced
            }
        }
    }
    GuardedBuffer raw(content.size(), GuardedBuffer::Guard::kAfter);
    GuardedBuffer out(static_cast<std::size_t>(width) * height * 4, GuardedBuffer::Guard::kAfter);
    std::memcpy(raw.data(), content.data(), content.size());
    std::vector<std::uint8_t> rawRef = content, outRef(out.size());
    for (std::size_t i = 0; i < outRef.size(); ++i) {
        outRef[i] = out.data()[i] = static_cast<std::uint8_t>(i * 13);
    }
    CameraEngine engine;
    ReferenceOffsets offsets;
    FrameConverter::convert(engine, s, raw.data(), out.data(), width, height, stride);
    ReferenceConvert(s, false, rawRef.data(), outRef.data(), width, height, stride, offsets);
    const std::string what =
        Describe(s, width, height, stride) + " level " + imaging::KernelLevelName(imaging::ActiveKernelLevel());
    EXPECT_EQ(std::vector<std::uint8_t>(out.data(), out.data() + out.size()), outRef) << what;
    EXPECT_EQ(std::vector<std::uint8_t>(raw.data(), raw.data() + raw.size()), rawRef) << what;
}

TEST(ConverterSampling, StepThreeDefectsAtTheRegionEdgesAtEveryLevel) {
    std::mt19937 rng(3);
    for (imaging::KernelLevel level : SupportedLevels()) {
        ScopedKernelLevel pinned(level);
        for (int variant = 0; variant < 8; ++variant) {
            ConversionSettings s;
            s.resolutionMode = kModeCustom;
            s.regionStep = 3;
            s.regionX = (variant & 1) != 0 ? 7 : 0; // odd xo: the first centre is a red or blue site
            s.regionY = (variant & 2) != 0 ? 4 : 0;
            s.horizontalFlip = (variant & 4) != 0;
            s.verticalFlip = (variant & 1) != 0;
            s.convertingStill = variant == 3 || variant == 6;
            s.layout = s.convertingStill ? kRgbLayout : kBgrLayout;
            for (int width : {9, 10, 11, 12, 16, 17, 18, 19, 20, 25, 33, 34, 35, 36, 49, 50, 67, 70}) {
                ExpectStepThreeEdgesMatchReference(s, width, 6 + variant % 3, rng);
                ASSERT_FALSE(HasFailure());
            }
        }
    }
}

TEST(ConverterPositions, MirroredUnlessHorizontalFlipAndUpsideDownWithVerticalFlip) {
    struct Case {
        bool hflip, vflip;
        int row, column;
    } cases[] = {{false, false, 4, 11 - 6}, {true, false, 4, 6}, {false, true, 7 - 4, 11 - 6}, {true, true, 7 - 4, 6}};
    for (const Case &c : cases) {
        CameraEngine engine;
        engine.horizontalFlip = c.hflip;
        engine.verticalFlip = c.vflip;
        Frame frame(12, 8, 12, 8, 20);
        frame.at(4, 6) = 60; // a green sample, not a defect (60 is not 70 above 20)
        frame.convert(engine);
        for (int row = 1; row < 7; ++row) {
            for (int column = 1; column < 11; ++column) {
                const bool centre = row == c.row && column == c.column;
                EXPECT_EQ(frame.pixel(row, column)[1] == 60, centre) << row << "," << column;
            }
        }
    }
}

TEST(ConverterBorder, EdgePixelsAreBlackAndFourthBytesUntouched) {
    CameraEngine engine;
    Frame frame(10, 6, 10, 6, 90);
    frame.convert(engine);
    for (int row = 0; row < 6; ++row) {
        for (int column = 0; column < 10; ++column) {
            const std::uint8_t *px = frame.pixel(row, column);
            EXPECT_EQ(int{px[3]}, Frame::kMarker);
            if (row == 0 || row == 5 || column == 0 || column == 9) {
                EXPECT_BGR(px, 0, 0, 0);
            } else {
                EXPECT_BGR(px, 90, 90, 90);
            }
        }
    }
}

TEST(ConverterBorder, SizesBelowThreeWriteOnlyTheBorder) {
    for (auto [width, height] : {std::pair{1, 1}, {2, 5}, {5, 2}, {2, 2}, {1, 7}}) {
        CameraEngine engine;
        engine.autoColor = true;
        engine.blueOffset = 10;
        engine.redOffset = -10;
        Frame frame(12, 12, width, height, 200);
        const auto rawBefore = frame.raw;
        frame.convert(engine);
        for (std::size_t i = 0; i < frame.out.size(); ++i) {
            EXPECT_EQ(int{frame.out[i]}, i % 4 == 3 ? Frame::kMarker : 0) << width << "x" << height << " byte " << i;
        }
        EXPECT_EQ(frame.raw, rawBefore);
        EXPECT_EQ(int{engine.blueOffset.get()}, 10) << "the reference is the black corner pixel";
        EXPECT_EQ(int{engine.redOffset.get()}, -10);
    }
}

// An overlay the size of the output with the given fourth byte at one pixel.
std::vector<std::uint8_t> OverlayWith(int width, int height, int row, int column, std::uint8_t flag) {
    std::vector<std::uint8_t> overlay(static_cast<std::size_t>(width) * height * 4, 0);
    std::uint8_t *px = &overlay[(static_cast<std::size_t>(row) * width + column) * 4];
    px[0] = 1, px[1] = 2, px[2] = 3, px[3] = flag;
    return overlay;
}

TEST(ConverterOverlay, OnlyFourthByteFFCountsAndStillsNeverShowIt) {
    for (bool copy : {true, false}) {
        for (std::uint8_t flag : {std::uint8_t{0xFF}, std::uint8_t{0xFE}}) {
            for (bool still : {false, true}) {
                CameraEngine engine;
                const auto overlay = OverlayWith(8, 6, 2, 3, flag);
                engine.overlayEnabled = true;
                engine.overlayCopy = copy;
                engine.overlayImage = overlay.data();
                Frame frame(8, 6, 8, 6, 40);
                ConversionSettings s = ConversionSettings::FromEngine(engine);
                s.convertingStill = still;
                frame.convert(engine, s);
                const bool drawn = flag == 0xFF && !still;
                if (!drawn) {
                    EXPECT_BGR(frame.pixel(2, 3), 40, 40, 40);
                } else if (copy) {
                    EXPECT_BGR(frame.pixel(2, 3), 1, 2, 3);
                } else {
                    EXPECT_BGR(frame.pixel(2, 3), 215, 215, 215);
                }
                EXPECT_BGR(frame.pixel(2, 4), 40, 40, 40);
            }
        }
    }
}

TEST(ConverterPixelGain, ScalesTheRawSampleAndClampsBothWays) {
    struct Case {
        int entry, expected;
    } cases[] = {{150, 255}, {50, 100}, {100, 200}, {-20, 0}, {0, 0}, {2000000000, 255}};
    for (const Case &c : cases) {
        CameraEngine engine;
        Frame frame(7, 7, 7, 7, 200);
        std::vector<std::int32_t> table(frame.raw.size(), 100);
        table[3 * 7 + 3] = c.entry;
        engine.rawView = true;
        engine.monochrome = true;
        engine.pixelGainTable = table.data();
        engine.pixelGainLive = true;
        frame.convert(engine);
        SCOPED_TRACE(c.entry);
        EXPECT_BGR(frame.pixel(3, 3), c.expected, c.expected, c.expected);
        EXPECT_BGR(frame.pixel(3, 2), 200, 200, 200);
    }
}

TEST(ConverterPixelGain, UsesTheStillFlagForStillsAndTheLiveFlagOtherwise) {
    for (bool still : {false, true}) {
        CameraEngine engine;
        Frame frame(7, 7, 7, 7, 200);
        std::vector<std::int32_t> table(frame.raw.size(), 50);
        engine.rawView = true;
        engine.monochrome = true;
        engine.pixelGainTable = table.data();
        engine.pixelGainLive = !still; // only the flag that does not apply is set
        engine.pixelGainStill = still;
        ConversionSettings s = ConversionSettings::FromEngine(engine);
        s.convertingStill = !still;
        s.monochrome = false; // keep the 32-bit layout for the still
        s.rawView = true;
        frame.convert(engine, s);
        // Raw view in colour writes nothing but the gain, which must not apply here.
        EXPECT_EQ(int{frame.pixel(3, 3)[1]}, Frame::kMarker);
    }
}

TEST(ConverterColourCorrection, SaturatedPixelsNeverBecomeTheReference) {
    CameraEngine engine;
    engine.autoColor = true;
    Frame frame(16, 16, 16, 16, 255);
    frame.convert(engine);
    EXPECT_EQ(int{engine.blueOffset.get()}, 0);
    EXPECT_EQ(int{engine.redOffset.get()}, 0);

    // One unsaturated pixel: a green site whose blue and red neighbours are darker.
    frame.at(6, 6) = 200;
    frame.at(5, 6) = frame.at(7, 6) = 100; // blue = 100
    frame.at(6, 5) = frame.at(6, 7) = 250; // red = 250
    frame.convert(engine);
    EXPECT_EQ(int{engine.blueOffset.get()}, 2) << "green above blue";
    EXPECT_EQ(int{engine.redOffset.get()}, -2) << "green below red";
}

TEST(ConverterColourCorrection, OffsetsApplyWithClampingAndWrapAtTheEnd) {
    CameraEngine engine;
    engine.autoColor = true;
    engine.blueOffset = 126;
    engine.redOffset = -128;
    Frame frame(8, 8, 8, 8, 100);
    frame.convert(engine);
    // blue 100 + 126 = 226, red 100 - 128 clamps to 0; the reference (first
    // pixel reaching the maximum, 226) has green below blue and above red.
    EXPECT_BGR(frame.pixel(1, 6), 226, 100, 0);
    EXPECT_EQ(int{engine.blueOffset.get()}, 124);
    EXPECT_EQ(int{engine.redOffset.get()}, -126);

    engine.blueOffset = 126;
    engine.redOffset = 127;
    Frame dark(8, 8, 8, 8, 100);
    ConversionSettings s = ConversionSettings::FromEngine(engine);
    s.blueOffset = -100; // the frame applies its snapshot; the update uses the engine's current values
    s.redOffset = -100;
    dark.convert(engine, s);
    EXPECT_EQ(int{engine.blueOffset.get()}, -128) << "126 + 2 wraps";
    EXPECT_EQ(int{engine.redOffset.get()}, -127) << "127 + 2 wraps";
}

TEST(ConverterGrid, TwoByTwoOnTheSmallSensorInvertsRow512AndColumnIndex640) {
    CameraEngine engine;
    engine.gridEnabled = true;
    engine.gridColumns = 2;
    engine.gridRows = 2;
    Frame frame(1280, 1024, 1280, 1024, 50);
    frame.convert(engine);
    int wrong = 0;
    for (int r = 1; r <= 1022; ++r) {
        for (int j = 1; j <= 1278; ++j) {
            const int expected = (r == 512 || j == 640) ? 205 : 50;
            const std::uint8_t *px = frame.pixel(r, 1279 - j);
            wrong += px[0] != expected || px[1] != expected || px[2] != expected;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST(ConverterGrid, CountsBelowOneOrCellsOfZeroDrawNoGrid) {
    for (auto [columns, rows] : {std::pair{0, 2}, {2, 0}, {-1, 2}, {2000, 2}, {2, 2000}}) {
        CameraEngine engine;
        engine.gridEnabled = true;
        engine.gridColumns = columns;
        engine.gridRows = rows;
        Frame frame(20, 10, 20, 10, 50);
        frame.convert(engine);
        for (int r = 1; r <= 8; ++r) {
            for (int column = 1; column <= 18; ++column) {
                ASSERT_EQ(int{frame.pixel(r, column)[1]}, 50) << columns << "x" << rows;
            }
        }
    }
}

TEST(ConverterGrey, EightBitLayoutOnlyForMonochromeStills) {
    struct Case {
        bool still, monochrome;
        int bytesPerPixel;
    } cases[] = {{true, true, 1}, {true, false, 4}, {false, true, 4}};
    for (const Case &c : cases) {
        CameraEngine engine;
        Frame frame(8, 8, 8, 8, 90, 4);
        ConversionSettings s = ConversionSettings::FromEngine(engine);
        s.convertingStill = c.still;
        s.monochrome = c.monochrome;
        frame.convert(engine, s);
        // The 8-bit layout writes 64 bytes; the rest keeps the marker.
        const bool eightBit = c.bytesPerPixel == 1;
        EXPECT_EQ(frame.out[64 * 2] == Frame::kMarker, eightBit);
        EXPECT_EQ(int{frame.out[9]}, eightBit ? 90 : 0) << "byte 9: grey pixel 9, or the green of border pixel 2";
    }
}

TEST(ConverterGrey, WeightedGreyAbove255ClampsTo255) {
    CameraEngine engine;
    Frame frame(6, 6, 6, 6, 200, 1);
    ConversionSettings s = ConversionSettings::FromEngine(engine);
    s.convertingStill = true;
    s.monochrome = true;
    s.weightedGray = true; // 100 % each: 600
    frame.convert(engine, s);
    EXPECT_EQ(int{frame.out[2 * 6 + 2]}, 255);
    s.grayWeightBlue = 30, s.grayWeightGreen = 59, s.grayWeightRed = 11;
    frame.convert(engine, s);
    EXPECT_EQ(int{frame.out[2 * 6 + 2]}, 200);
    s.weightedGray = false;
    frame.convert(engine, s);
    EXPECT_EQ(int{frame.out[2 * 6 + 2]}, 200);
}

TEST(ConverterSettings, LiveConversionsUseBlueGreenRedWhateverTheStillLayout) {
    CameraEngine engine;
    Frame frame(6, 6, 6, 6, 0);
    frame.at(2, 2) = 60; // green site: green 60 at output (2, 3)
    frame.at(2, 3) = 30; // red site to its right: red 30 at output (2, 2)
    SetChannelLayout(kRgbLayout);
    EXPECT_EQ(CurrentChannelLayout().blue, 2);
    frame.convert(engine);
    SetChannelLayout(kBgrLayout);
    EXPECT_EQ(int{frame.pixel(2, 2)[2]}, 30) << "red at byte 2";
    ConversionSettings s = ConversionSettings::FromEngine(engine);
    EXPECT_FALSE(s.convertingStill);
    s.layout = kRgbLayout;
    frame.convert(engine, s);
    EXPECT_EQ(int{frame.pixel(2, 2)[0]}, 30) << "red at byte 0 for an RGB still";
}

} // namespace
