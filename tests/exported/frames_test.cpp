// VexaGetBitmap and VexaGetSingleBitmap through the module boundary: the
// bytes of both formats, the hand-off rules (never twice, null buffer,
// unknown formats, retries) and single grabs with their refusals.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <tuple>

#include "vexa_test_support.h"

using namespace vexatest;

namespace {

constexpr std::uint8_t kUntouched = 0xA5;

bool Untouched(const std::vector<std::uint8_t> &buffer) {
    return std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == kUntouched; });
}

// Mode, horizontal flip, vertical flip.
using FrameCase = std::tuple<int, bool, bool>;

class FrameBytesTest : public VexaTest, public ::testing::WithParamInterface<FrameCase> {
protected:
    // Initialises a static scene in the case's mode and flips; returns its size.
    FrameSize InitializeCase() {
        Configure("pace=free static=1 noise=9 hotpixels=20");
        const auto [mode, hflip, vflip] = GetParam();
        vexa.VexaSetCaptureResolution(mode);
        vexa.VexaSetRegion(37, 21, 203, 117); // odd offsets and sizes
        vexa.VexaSetFlipHorizontal(hflip);
        vexa.VexaSetFlipVertical(vflip);
        EXPECT_EQ(vexa.VexaInitialize(), 1);
        return ExpectedFrameSize(1, mode, 203, 117);
    }
};

TEST_P(FrameBytesTest, BitmapFormatsMatchTheCameraFrameAndTheConverter) {
    const FrameSize size = InitializeCase();
    const auto [mode, hflip, vflip] = GetParam();
    ASSERT_EQ(vexa.VexaStart(), 1);
    // Exactly the sizes the host is told to provide, so that a write past
    // them is caught by the address sanitizer.
    std::vector<std::uint8_t> raw(size.pixels(), kUntouched);
    ASSERT_TRUE(WaitForFrame(raw.data(), VEXA_FORMAT_RAW));
    EXPECT_TRUE(raw == CameraFrame(0, size.pixels()));
    std::vector<std::uint8_t> colour(size.pixels() * 4, kUntouched);
    ASSERT_TRUE(WaitForFrame(colour.data(), VEXA_FORMAT_COLOUR));
    const std::vector<std::uint8_t> expected = ExpectedColour(raw, size, hflip, vflip);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), colour.begin())) << "mode " << mode;
}

TEST_P(FrameBytesTest, SingleBitmapFormatsMatchTheCameraFrameAndTheConverter) {
    const FrameSize size = InitializeCase();
    const auto [mode, hflip, vflip] = GetParam();
    std::vector<std::uint8_t> raw(size.pixels(), kUntouched);
    ASSERT_EQ(vexa.VexaGetSingleBitmap(raw.data(), 0, VEXA_FORMAT_RAW, 3), 1);
    EXPECT_TRUE(raw == CameraFrame(0, size.pixels()));
    std::vector<std::uint8_t> colour(size.pixels() * 4, kUntouched);
    ASSERT_EQ(vexa.VexaGetSingleBitmap(colour.data(), 0, VEXA_FORMAT_COLOUR, 3), 1);
    const std::vector<std::uint8_t> expected = ExpectedColour(raw, size, hflip, vflip);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), colour.begin())) << "mode " << mode;
}

INSTANTIATE_TEST_SUITE_P(ModesAndFlips, FrameBytesTest,
                         ::testing::Values(FrameCase{kModeFull, false, false}, FrameCase{kModeHalf, true, false},
                                           FrameCase{kModeQuarter, false, true}, FrameCase{kModeCustom, true, true}));

class HandOffTest : public VexaTest {
protected:
    // Acquisition running, with a first frame taken.
    void StartAcquisition(const char *config) {
        Configure(config);
        ASSERT_EQ(vexa.VexaInitialize(), 1);
        ASSERT_EQ(vexa.VexaStart(), 1);
        ASSERT_TRUE(WaitForFrame(nullptr, VEXA_FORMAT_RAW));
    }
    // Makes the camera deliver nothing more while acquisition goes on, and
    // takes whatever it delivered before; afterwards no frame can appear.
    void StopDelivery() {
        midsim_FailNextAcquires(0, 2000000000, 1);
        int delivered = -1;
        const Clock::time_point start = Clock::now();
        while (midsim_FramesDelivered(0) != delivered && MillisecondsSince(start) < 5000) {
            delivered = midsim_FramesDelivered(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        vexa.VexaGetBitmap(nullptr, 0, VEXA_FORMAT_RAW, 0);
    }
    FrameSize size = ExpectedFrameSize(1, kModeFull);
};

TEST_F(HandOffTest, AFrameIsNeverDeliveredTwice) {
    StartAcquisition("pace=free");
    StopDelivery();
    std::vector<std::uint8_t> buffer(size.pixels() * 4, kUntouched);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(vexa.VexaGetBitmap(buffer.data(), 0, i % 2, 0), 0);
    }
    EXPECT_TRUE(Untouched(buffer));
    vexa.VexaStop();

    // A camera that delivers exactly five different frames, then is gone:
    // at most five are taken, each one new.
    Configure("pace=free noise=20 unplug_after=5");
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    vexa.VexaStart(); // may already report the end: the frames run out at once
    std::vector<std::vector<std::uint8_t>> taken;
    std::vector<std::uint8_t> frame(size.pixels());
    while (taken.size() <= 5 && vexa.VexaGetBitmap(frame.data(), 0, VEXA_FORMAT_RAW, 5000) == 1) {
        for (const auto &earlier : taken) {
            EXPECT_NE(frame, earlier) << "frame " << taken.size() + 1 << " was delivered before";
        }
        taken.push_back(frame);
    }
    EXPECT_GE(taken.size(), 1u);
    EXPECT_LE(taken.size(), 5u);
}

TEST_F(HandOffTest, ANullBufferConsumesTheFrame) {
    Configure("pace=free unplug_after=1"); // one frame, then the camera is gone
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    // Not checked: VexaStart reports whether acquisition still runs, and the
    // thread may already have taken the one frame and met the unplugged camera.
    vexa.VexaStart();
    ASSERT_EQ(vexa.VexaGetBitmap(nullptr, 0, VEXA_FORMAT_COLOUR, 5000), 1);
    std::vector<std::uint8_t> buffer(size.pixels(), kUntouched);
    EXPECT_EQ(vexa.VexaGetBitmap(buffer.data(), 0, VEXA_FORMAT_RAW, 5000), 0);
    EXPECT_TRUE(Untouched(buffer));
}

TEST_F(HandOffTest, UnknownFormatsConsumeTheFrameAndWriteNothing) {
    StartAcquisition("pace=free");
    for (int format : {2, 7, -1, 255}) {
        std::vector<std::uint8_t> buffer(size.pixels() * 4, kUntouched);
        EXPECT_EQ(vexa.VexaGetBitmap(buffer.data(), 0, format, 5000), 1) << format;
        EXPECT_TRUE(Untouched(buffer)) << format;
    }
}

TEST_F(HandOffTest, RetriesWaitAboutOneMillisecondEach) {
    StartAcquisition("pace=free");
    StopDelivery(); // running, but no frame comes
    std::vector<std::uint8_t> buffer(size.pixels(), kUntouched);
    Clock::time_point start = Clock::now();
    EXPECT_EQ(vexa.VexaGetBitmap(buffer.data(), 0, VEXA_FORMAT_RAW, 0), 0);
    EXPECT_LT(MillisecondsSince(start), 100);
    start = Clock::now();
    EXPECT_EQ(vexa.VexaGetBitmap(buffer.data(), 0, VEXA_FORMAT_RAW, 60), 0);
    const long long waited = MillisecondsSince(start);
    EXPECT_GE(waited, 55);
    EXPECT_LT(waited, 2000);
    EXPECT_TRUE(Untouched(buffer));
    // Frames again: a wait long enough brings the next one.
    midsim_FailNextAcquires(0, 0, 1);
    EXPECT_EQ(vexa.VexaGetBitmap(buffer.data(), 0, VEXA_FORMAT_RAW, 5000), 1);
}

TEST_F(HandOffTest, RetriesEndWhenAcquisitionIsNotRunning) {
    std::vector<std::uint8_t> buffer(size.pixels(), kUntouched);
    // Never started, and after a stop: nothing can arrive, so no wait.
    Clock::time_point start = Clock::now();
    EXPECT_EQ(vexa.VexaGetBitmap(buffer.data(), 0, VEXA_FORMAT_RAW, 5000), 0);
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    EXPECT_EQ(vexa.VexaGetBitmap(buffer.data(), 0, VEXA_FORMAT_RAW, 5000), 0);
    EXPECT_LT(MillisecondsSince(start), 1000);
    EXPECT_TRUE(Untouched(buffer));
}

class SingleBitmapTest : public VexaTest {
protected:
    FrameSize size = ExpectedFrameSize(1, kModeFull);
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(size.pixels() * 4, kUntouched);
};

TEST_F(SingleBitmapTest, NoAttemptsNeverCallTheCamera) {
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    midsim_LogAcquires(1);
    EXPECT_EQ(vexa.VexaGetSingleBitmap(buffer.data(), 0, VEXA_FORMAT_RAW, 0), 0);
    EXPECT_EQ(vexa.VexaGetSingleBitmap(buffer.data(), 0, VEXA_FORMAT_COLOUR, -4), 0);
    EXPECT_EQ(CountEvents(MIDSIM_ACQUIRE), 0);
    EXPECT_TRUE(Untouched(buffer));
}

TEST_F(SingleBitmapTest, WithoutAnInitialisedCameraNothingHappens) {
    EXPECT_EQ(vexa.VexaGetSingleBitmap(buffer.data(), 0, VEXA_FORMAT_COLOUR, 5), 0);
    vexa.VexaSetSensorType(); // detection alone opens no camera for grabbing
    EXPECT_EQ(vexa.VexaGetSingleBitmap(buffer.data(), 0, VEXA_FORMAT_RAW, 5), 0);
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    vexa.VexaStop();
    EXPECT_EQ(vexa.VexaGetSingleBitmap(buffer.data(), 0, VEXA_FORMAT_RAW, 5), 0);
    EXPECT_TRUE(Untouched(buffer));
}

TEST_F(SingleBitmapTest, RefusedWhileAcquisitionRuns) {
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    ASSERT_EQ(vexa.VexaStart(), 1);
    for (int format : {VEXA_FORMAT_RAW, VEXA_FORMAT_COLOUR}) {
        EXPECT_EQ(vexa.VexaGetSingleBitmap(buffer.data(), 0, format, 5), 0);
    }
    EXPECT_TRUE(Untouched(buffer));
    // The hand-off goes on undisturbed.
    EXPECT_TRUE(WaitForFrame(buffer.data(), VEXA_FORMAT_COLOUR));
}

TEST_F(SingleBitmapTest, AttemptsFollowOneAnotherUntilOneSucceeds) {
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    midsim_FailNextAcquires(0, 3, 1);
    EXPECT_EQ(vexa.VexaGetSingleBitmap(buffer.data(), 0, VEXA_FORMAT_RAW, 3), 0);
    EXPECT_TRUE(Untouched(buffer));
    midsim_FailNextAcquires(0, 2, 1);
    EXPECT_EQ(vexa.VexaGetSingleBitmap(buffer.data(), 0, VEXA_FORMAT_RAW, 3), 1);
    EXPECT_FALSE(Untouched(buffer));
}

TEST_F(SingleBitmapTest, UnknownFormatsAndNullBuffersGrabButWriteNothing) {
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    const int before = midsim_FramesDelivered(0);
    EXPECT_EQ(vexa.VexaGetSingleBitmap(buffer.data(), 0, 7, 1), 1);
    EXPECT_EQ(vexa.VexaGetSingleBitmap(nullptr, 0, VEXA_FORMAT_RAW, 1), 1);
    EXPECT_EQ(vexa.VexaGetSingleBitmap(nullptr, 0, VEXA_FORMAT_COLOUR, 1), 1);
    EXPECT_EQ(midsim_FramesDelivered(0), before + 3);
    EXPECT_TRUE(Untouched(buffer));
}

TEST_F(SingleBitmapTest, AGoneCameraEndsTheAttempts) {
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    midsim_SetUnplugAfter(0, 0);
    RunBounded("VexaGetSingleBitmap on an unplugged camera", 10000,
               [&] { EXPECT_EQ(vexa.VexaGetSingleBitmap(buffer.data(), 0, VEXA_FORMAT_COLOUR, 2000000000), 0); });
    EXPECT_TRUE(Untouched(buffer));
}

} // namespace
