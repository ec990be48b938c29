// The library build's converter: step 1 on the frame as delivered, blue,
// green, red order, border, demosaicing and flips only, whatever the engine's
// other settings say, and no defect correction in the raw frame.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "engine/camera_engine.h"
#include "imaging/frame_converter.h"

namespace {

TEST(LibraryBuildConverter, OnlyDemosaicsAndFlips) {
    ASSERT_TRUE(kLibraryBuild);
    constexpr int kWidth = 12, kHeight = 10;
    std::vector<std::uint8_t> raw(kWidth * kHeight, 40);
    raw[4 * kWidth + 4] = 250; // a defect the filter build would correct
    const auto rawBefore = raw;

    CameraEngine plain;
    std::vector<std::uint8_t> expected(kWidth * kHeight * 4, 7);
    FrameConverter::convert(plain, raw.data(), expected.data(), kWidth, kHeight, kWidth);
    EXPECT_EQ(raw, rawBefore);
    EXPECT_EQ(int{expected[(4 * kWidth + kWidth - 1 - 4) * 4 + 1]}, 250) << "green site keeps its sample";

    CameraEngine busy;
    busy.qualityMode = true;
    busy.resolutionMode = kModeHalf;
    busy.monochrome = true;
    busy.autoColor = true;
    busy.blueOffset = 50;
    busy.gridEnabled = true;
    busy.blankOutput = true;
    std::vector<std::uint8_t> out(kWidth * kHeight * 4, 7);
    ConversionSettings s = ConversionSettings::FromEngine(busy);
    s.convertingStill = true;
    s.layout = kRgbLayout;
    FrameConverter::convert(busy, s, raw.data(), out.data(), kWidth, kHeight, kWidth);
    EXPECT_EQ(out, expected);
    EXPECT_EQ(int{busy.blueOffset.get()}, 50);
}

} // namespace
