// Shared helpers of the converter tests: frame content, random settings and
// the byte-for-byte comparison against the reference conversion.
#include "converter_test_support.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include <gtest/gtest.h>

#include "guarded_buffer.h"

void FillRaw(std::vector<std::uint8_t> &raw, int rows, int stride, Content content, std::mt19937 &rng) {
    raw.assign(static_cast<std::size_t>(rows) * stride, 0);
    std::uniform_int_distribution<int> any(0, 255);
    if (content == Content::kNoise) {
        for (auto &v : raw) {
            v = static_cast<std::uint8_t>(any(rng));
        }
        return;
    }
    if (content == Content::kSaturated) {
        for (auto &v : raw) {
            v = static_cast<std::uint8_t>(any(rng) < 200 ? 255 : any(rng));
        }
        return;
    }
    std::uniform_int_distribution<int> noise(-6, 6);
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < stride; ++x) {
            const int base = 60 + (x * 3 + y * 2) % 90 + ((x / 16 + y / 16) % 2) * 30;
            raw[static_cast<std::size_t>(y) * stride + x] =
                static_cast<std::uint8_t>(std::clamp(base + noise(rng), 0, 255));
        }
    }
    // Hot samples: isolated, side by side, two apart (same colour, chained)
    // and stacked two rows apart.
    std::uniform_int_distribution<int> hot(235, 255);
    const int count = std::max(1, rows * stride / 150);
    for (int i = 0; i < count; ++i) {
        const int y = std::uniform_int_distribution<int>(0, rows - 1)(rng);
        const int x = std::uniform_int_distribution<int>(0, stride - 1)(rng);
        const int shape = std::uniform_int_distribution<int>(0, 4)(rng);
        auto set = [&](int dy, int dx) {
            if (y + dy < rows && x + dx < stride) {
                raw[static_cast<std::size_t>(y + dy) * stride + x + dx] = static_cast<std::uint8_t>(hot(rng));
            }
        };
        set(0, 0);
        if (shape == 1) {
            set(0, 1);
        } else if (shape == 2) {
            set(0, 2);
            set(0, 4);
        } else if (shape == 3) {
            set(2, 0);
        } else if (shape == 4) {
            set(1, 1);
            set(0, 1);
        }
    }
}

ConversionSettings RandomSettings(std::mt19937 &rng) {
    auto chance = [&](int percent) { return std::uniform_int_distribution<int>(0, 99)(rng) < percent; };
    auto pick = [&](std::initializer_list<int> values) {
        const int i = std::uniform_int_distribution<int>(0, static_cast<int>(values.size()) - 1)(rng);
        return values.begin()[i];
    };
    ConversionSettings s;
    s.qualityMode = chance(80);
    s.resolutionMode = pick({0, 0, 1, 2, 3, 3});
    s.regionX = pick({0, 1, 2, 3, 5, 6, 7, 11});
    s.regionY = pick({0, 1, 2, 3, 4, 5, 9});
    s.regionStep = pick({-1, 0, 1, 1, 2, 3, 3, 4, 5});
    s.horizontalFlip = chance(50);
    s.verticalFlip = chance(50);
    s.monochrome = chance(30);
    s.rawView = chance(20);
    s.weightedGray = chance(50);
    s.grayWeightBlue = pick({0, 30, 100, 150});
    s.grayWeightGreen = pick({0, 59, 100, 200});
    s.grayWeightRed = pick({0, 11, 100});
    s.overlayEnabled = chance(25);
    s.overlayCopy = chance(50);
    s.pixelGainLive = chance(50);
    s.pixelGainStill = chance(50);
    s.autoColor = chance(30);
    s.blueOffset = static_cast<std::int8_t>(pick({0, 2, -2, 40, -40, 126, -128}));
    s.redOffset = static_cast<std::int8_t>(pick({0, 4, -6, 60, -100, 127}));
    s.gridEnabled = chance(25);
    s.gridColumns = pick({-1, 0, 1, 2, 3, 7, 1000});
    s.gridRows = pick({-1, 0, 1, 2, 3, 5, 1000});
    s.blankOutput = chance(8);
    s.convertingStill = chance(30);
    s.layout = chance(30) ? kRgbLayout : kBgrLayout;
    return s;
}

std::string Describe(const ConversionSettings &s, int width, int height, int rawStride) {
    std::ostringstream o;
    o << width << "x" << height << " stride " << rawStride << " quality " << s.qualityMode << " mode "
      << s.resolutionMode << " region " << s.regionX << "," << s.regionY << " step " << s.regionStep << " flips "
      << s.horizontalFlip << s.verticalFlip << " mono " << s.monochrome << " raw " << s.rawView << " weighted "
      << s.weightedGray << " overlay " << s.overlayEnabled << s.overlayCopy << (s.overlayImage ? "+" : "-") << " gain "
      << s.pixelGainLive << s.pixelGainStill << (s.pixelGainTable ? "+" : "-") << " auto " << s.autoColor << " offsets "
      << int{s.blueOffset} << "," << int{s.redOffset} << " grid " << s.gridEnabled << " " << s.gridColumns << "x"
      << s.gridRows << " blank " << s.blankOutput << " still " << s.convertingStill << " layout " << s.layout.blue
      << s.layout.green << s.layout.red;
    return o.str();
}

namespace {

std::size_t FirstDifference(const std::uint8_t *a, const std::uint8_t *b, std::size_t n) {
    return static_cast<std::size_t>(std::mismatch(a, a + n, b).first - a);
}

} // namespace

void ExpectMatchesReference(const ConversionSettings &settingsIn, int width, int height, Content content,
                            std::mt19937 &rng, bool guardBefore, int extraStride) {
    ConversionSettings settings = settingsIn;
    const RawExtent extent = RawExtentFor(settings, kLibraryBuild, std::max(width, 3), std::max(height, 3));
    const int stride = std::max(extent.lastColumn + 1, 1) + extraStride;
    const int rows = std::max(extent.lastRow + 1, 1);
    const auto guard = guardBefore ? GuardedBuffer::Guard::kBefore : GuardedBuffer::Guard::kAfter;

    std::vector<std::uint8_t> rawContent;
    FillRaw(rawContent, rows, stride, content, rng);
    const bool eightBit = settings.convertingStill && settings.monochrome && !kLibraryBuild;
    const std::size_t outBytes =
        static_cast<std::size_t>(std::max(width, 0)) * std::max(height, 0) * (eightBit ? 1 : 4);
    std::vector<std::uint8_t> outContent(outBytes);
    std::uniform_int_distribution<int> any(0, 255);
    for (auto &v : outContent) {
        v = static_cast<std::uint8_t>(any(rng));
    }
    std::vector<std::uint8_t> overlay(static_cast<std::size_t>(std::max(width, 0)) * std::max(height, 0) * 4);
    for (std::size_t i = 0; i < overlay.size(); ++i) {
        overlay[i] =
            static_cast<std::uint8_t>(i % 4 == 3 ? (any(rng) < 128 ? 0xFF : (any(rng) < 128 ? 0xFE : 0)) : any(rng));
    }
    std::vector<std::int32_t> gain(rawContent.size());
    std::uniform_int_distribution<int> gainEntry(-60, 400);
    for (auto &v : gain) {
        v = gainEntry(rng);
    }
    if (settings.overlayEnabled && any(rng) < 200) {
        settings.overlayImage = overlay.data();
    }
    if (any(rng) < 200) {
        settings.pixelGainTable = gain.data();
    }

    GuardedBuffer raw(rawContent.size(), guard);
    GuardedBuffer out(std::max<std::size_t>(outBytes, 1), guard);
    std::memcpy(raw.data(), rawContent.data(), rawContent.size());
    std::memcpy(out.data(), outContent.data(), outBytes);
    std::vector<std::uint8_t> rawRef = rawContent, outRef = outContent;

    CameraEngine engine;
    const auto engineBlue = static_cast<std::int8_t>(any(rng) - 128),
               engineRed = static_cast<std::int8_t>(any(rng) - 128);
    engine.blueOffset = engineBlue;
    engine.redOffset = engineRed;
    ReferenceOffsets offsets{engineBlue, engineRed};

    FrameConverter::convert(engine, settings, raw.data(), out.data(), width, height, stride);
    ReferenceConvert(settings, kLibraryBuild, rawRef.data(), outRef.data(), width, height, stride, offsets);

    const std::string what =
        Describe(settings, width, height, stride) + " level " + imaging::KernelLevelName(imaging::ActiveKernelLevel());
    const std::size_t outDiff = FirstDifference(out.data(), outRef.data(), outBytes);
    ASSERT_EQ(outDiff, outBytes) << "output differs at byte " << outDiff << " (pixel " << outDiff / (eightBit ? 1 : 4)
                                 << ", converter " << int{out.data()[outDiff]} << ", reference " << int{outRef[outDiff]}
                                 << ") for " << what;
    const std::size_t rawDiff = FirstDifference(raw.data(), rawRef.data(), rawRef.size());
    ASSERT_EQ(rawDiff, rawRef.size()) << "raw frame differs at " << rawDiff / stride << "," << rawDiff % stride
                                      << " for " << what;
    EXPECT_EQ(int{engine.blueOffset.get()}, int{offsets.blue}) << what;
    EXPECT_EQ(int{engine.redOffset.get()}, int{offsets.red}) << what;
}

std::vector<imaging::KernelLevel> SupportedLevels() {
    std::vector<imaging::KernelLevel> levels;
    for (int i = 0; i <= static_cast<int>(imaging::BestKernelLevel()); ++i) {
        levels.push_back(static_cast<imaging::KernelLevel>(i));
    }
    return levels;
}
