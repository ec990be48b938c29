// Two conversions of one engine at once, as the capture and preview pins run
// them: neither loses the other's colour-correction step, and a still's
// channel layout never reaches the live picture converted beside it.
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/camera_engine.h"
#include "imaging/frame_converter.h"
#include "reference_converter.h"

namespace {

// A frame whose every interior pixel has green above blue and red, so each
// conversion with colour correction moves both offsets by +2.
std::vector<std::uint8_t> GreenishFrame(int width, int height) {
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool green = (y % 2) == (x % 2);
            raw[static_cast<std::size_t>(y) * width + x] = green ? 120 : 60;
        }
    }
    return raw;
}

TEST(ConverterConcurrency, OffsetUpdatesOfTwoConversionsNeverInterleave) {
    constexpr int kWidth = 40, kHeight = 30, kFramesEach = 300;
    CameraEngine engine;
    engine.autoColor = true;
    std::atomic<bool> go{false};
    auto pin = [&] {
        std::vector<std::uint8_t> raw = GreenishFrame(kWidth, kHeight);
        std::vector<std::uint8_t> out(static_cast<std::size_t>(kWidth) * kHeight * 4);
        while (!go.load()) {
            std::this_thread::yield();
        }
        for (int i = 0; i < kFramesEach; ++i) {
            // The frame applies no offset, so each one sees green above blue
            // and red and steps both; only the end-of-frame update reads the engine.
            ConversionSettings s = ConversionSettings::FromEngine(engine);
            s.blueOffset = 0;
            s.redOffset = 0;
            FrameConverter::convert(engine, s, raw.data(), out.data(), kWidth, kHeight, kWidth);
        }
    };
    std::thread capture(pin), preview(pin);
    go = true;
    capture.join();
    preview.join();
    const auto expected = static_cast<std::int8_t>(static_cast<std::uint8_t>(2 * 2 * kFramesEach));
    EXPECT_EQ(int{engine.blueOffset.get()}, int{expected});
    EXPECT_EQ(int{engine.redOffset.get()}, int{expected});
}

TEST(ConverterConcurrency, StillLayoutNeverReachesTheLivePicture) {
    constexpr int kWidth = 64, kHeight = 48, kFrames = 200;
    CameraEngine engine;
    std::vector<std::uint8_t> liveRaw(static_cast<std::size_t>(kWidth) * kHeight);
    for (std::size_t i = 0; i < liveRaw.size(); ++i) {
        liveRaw[i] = static_cast<std::uint8_t>(i * 29 % 97);
    }
    std::vector<std::uint8_t> expected(static_cast<std::size_t>(kWidth) * kHeight * 4, 0);
    {
        std::vector<std::uint8_t> raw = liveRaw;
        ReferenceOffsets offsets;
        ReferenceConvert(ConversionSettings::FromEngine(engine), kLibraryBuild, raw.data(), expected.data(), kWidth,
                         kHeight, kWidth, offsets);
    }
    std::atomic<bool> done{false};
    std::thread still([&] {
        std::vector<std::uint8_t> raw = liveRaw;
        std::vector<std::uint8_t> out(raw.size() * 4);
        while (!done.load()) {
            ConversionSettings s = ConversionSettings::FromEngine(engine);
            s.convertingStill = true;
            s.layout = kRgbLayout;
            SetChannelLayout(kRgbLayout);
            FrameConverter::convert(engine, s, raw.data(), out.data(), kWidth, kHeight, kWidth);
            SetChannelLayout(kBgrLayout);
        }
    });
    int wrongFrames = 0;
    for (int i = 0; i < kFrames; ++i) {
        std::vector<std::uint8_t> raw = liveRaw;
        std::vector<std::uint8_t> out(raw.size() * 4, 0);
        FrameConverter::convert(engine, raw.data(), out.data(), kWidth, kHeight, kWidth);
        wrongFrames += out != expected;
    }
    done = true;
    still.join();
    EXPECT_EQ(wrongFrames, 0);
}

} // namespace
