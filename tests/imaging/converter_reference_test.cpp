// The converter against the reference conversion, byte for byte: random
// frames, sizes, steps, regions, flips and combinations of every setting, on
// every instruction-set level the processor has, with the raw frame and the
// output placed against guard pages.
#include <random>

#include <gtest/gtest.h>

#include "converter_test_support.h"

namespace {

using imaging::KernelLevel;

class ConverterMatchesReference : public ::testing::TestWithParam<KernelLevel> {
protected:
    void SetUp() override {
        if (imaging::SetKernelLevel(GetParam()) != GetParam()) {
            GTEST_SKIP() << "processor lacks " << imaging::KernelLevelName(GetParam());
        }
    }
    void TearDown() override { imaging::SetKernelLevel(imaging::BestKernelLevel()); }
};

int RandomSize(std::mt19937 &rng) {
    static const int kSmall[] = {1, 2, 3, 4, 5, 6, 7, 9, 12, 17};
    const int kind = std::uniform_int_distribution<int>(0, 9)(rng);
    if (kind < 2) {
        return kSmall[std::uniform_int_distribution<int>(0, 9)(rng)];
    }
    if (kind < 5) {
        return std::uniform_int_distribution<int>(60, 80)(rng); // around one chunk
    }
    return std::uniform_int_distribution<int>(3, 210)(rng);
}

TEST_P(ConverterMatchesReference, RandomSettingsAndSizes) {
    std::mt19937 rng(1234 + static_cast<int>(GetParam()));
    for (int i = 0; i < 700; ++i) {
        const ConversionSettings s = RandomSettings(rng);
        const int width = RandomSize(rng);
        const int height = std::uniform_int_distribution<int>(0, 3)(rng) == 0
                               ? RandomSize(rng)
                               : std::uniform_int_distribution<int>(3, 24)(rng);
        const auto content = static_cast<Content>(std::uniform_int_distribution<int>(0, 2)(rng));
        const bool guardBefore = std::uniform_int_distribution<int>(0, 3)(rng) == 0;
        const int extraStride = std::uniform_int_distribution<int>(0, 3)(rng) == 0 ? 5 : 0;
        ExpectMatchesReference(s, width, height, content, rng, guardBefore, extraStride);
        if (HasFatalFailure()) {
            return;
        }
    }
}

// The default live picture (full frame, defect correction, demosaicing only)
// and the other fast paths, on wide frames where whole vector chunks run.
TEST_P(ConverterMatchesReference, FastPathsOnWideFrames) {
    std::mt19937 rng(99);
    for (int mode : {0, 1, 3}) {
        for (int step : {1, 2, 3}) {
            for (bool hflip : {false, true}) {
                for (Content content : {Content::kScene, Content::kNoise}) {
                    ConversionSettings s;
                    s.resolutionMode = mode;
                    s.regionStep = step;
                    s.regionX = 3;
                    s.regionY = 1;
                    s.horizontalFlip = hflip;
                    s.verticalFlip = !hflip;
                    for (int width : {66, 67, 68, 69, 70, 131, 132, 133, 259}) {
                        ExpectMatchesReference(s, width, 9, content, rng, width % 2 == 0);
                        ASSERT_FALSE(HasFatalFailure());
                    }
                    if (mode == 3 && step != 1) {
                        break; // region steps only matter in mode 3
                    }
                }
            }
        }
    }
}

// Grey, colour correction and the RGB still layout applied in registers on
// the fast paths, with offsets that clamp and references that keep moving.
TEST_P(ConverterMatchesReference, FastPathStagesOnWideFrames) {
    std::mt19937 rng(31);
    for (int step : {1, 2, 3}) {
        for (int variant = 0; variant < 6; ++variant) {
            ConversionSettings s;
            s.resolutionMode = step == 1 ? 0 : 3;
            s.regionStep = step;
            s.monochrome = variant == 0 || variant == 3;
            s.autoColor = variant >= 1 && variant <= 3;
            s.blueOffset = static_cast<std::int8_t>(variant == 2 ? 90 : -30);
            s.redOffset = static_cast<std::int8_t>(variant == 2 ? -90 : 45);
            s.convertingStill = variant == 4;
            s.layout = variant == 4 ? kRgbLayout : kBgrLayout;
            s.horizontalFlip = variant == 5;
            for (int width : {70, 133, 300}) {
                ExpectMatchesReference(s, width, 14, variant % 2 == 0 ? Content::kScene : Content::kNoise, rng);
                ASSERT_FALSE(HasFatalFailure());
            }
        }
    }
}

// Hot samples side by side, two columns apart and two rows apart, in every
// position against the chunk boundaries: each correction changes what the
// next pixels read.
TEST_P(ConverterMatchesReference, HotSampleChains) {
    std::mt19937 rng(7);
    for (int mode : {0, 1}) {
        for (int trial = 0; trial < 40; ++trial) {
            ConversionSettings s;
            s.resolutionMode = mode;
            s.horizontalFlip = trial % 2 == 0;
            ExpectMatchesReference(s, 200 + trial, 12, trial % 3 == 0 ? Content::kNoise : Content::kScene, rng);
            ASSERT_FALSE(HasFatalFailure());
        }
    }
}

TEST_P(ConverterMatchesReference, FullSensorFrame) {
    std::mt19937 rng(2048);
    ConversionSettings s;
    ExpectMatchesReference(s, 2048, 1536, Content::kScene, rng);
}

INSTANTIATE_TEST_SUITE_P(Levels, ConverterMatchesReference,
                         ::testing::Values(KernelLevel::kScalar, KernelLevel::kSse2, KernelLevel::kAvx2,
                                           KernelLevel::kAvx512),
                         [](const ::testing::TestParamInfo<KernelLevel> &level) {
                             return std::string(imaging::KernelLevelName(level.param));
                         });

} // namespace
