// VEXALIB's calling order and failure handling through the module boundary:
// start without initialise, unload while running, stop/initialise cycles,
// detection while the camera is in use, unplug mid-stream and still files.
#include <cstdio>
#include <fstream>
#include <iterator>

#include "vexa_test_support.h"

using namespace vexatest;

namespace {

class LifecycleTest : public VexaTest {
protected:
    FrameSize size = ExpectedFrameSize(1, kModeFull);
};

TEST_F(LifecycleTest, StartWithoutASuccessfulInitializeIsRefused) {
    EXPECT_EQ(vexa.VexaStart(), 0);
    EXPECT_EQ(vexa.VexaGetBitmap(nullptr, 0, VEXA_FORMAT_RAW, 20), 0);
    midsim_SetOpenFailure(1);
    EXPECT_EQ(vexa.VexaInitialize(), 0);
    EXPECT_EQ(vexa.VexaStart(), 0);
    midsim_SetOpenFailure(0);
    vexa.VexaSetCameraNumber(5); // no such camera
    EXPECT_EQ(vexa.VexaInitialize(), 0);
    EXPECT_EQ(vexa.VexaStart(), 0);
    EXPECT_EQ(vexa.VexaStop(), 1);
    vexa.VexaSetCameraNumber(1);
    EXPECT_EQ(vexa.VexaInitialize(), 1);
    EXPECT_EQ(vexa.VexaStart(), 1);
    EXPECT_EQ(vexa.VexaStart(), 1); // already running
}

TEST_F(LifecycleTest, UnloadWhileRunningEndsTheThreadBeforeReleasing) {
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    ASSERT_EQ(vexa.VexaStart(), 1);
    std::vector<std::uint8_t> buffer(size.pixels() * 4);
    ASSERT_TRUE(WaitForFrame(buffer.data(), VEXA_FORMAT_COLOUR));
    RunBounded("VexaUnload while running", 10000, [&] { EXPECT_EQ(vexa.VexaUnload(), 1); });
    EXPECT_EQ(midsim_CameraStarted(0), 0);
    EXPECT_EQ(midsim_OpenRecords(), 0);
    const int delivered = midsim_FramesDelivered(0);
    EXPECT_EQ(vexa.VexaGetBitmap(buffer.data(), 0, VEXA_FORMAT_COLOUR, 50), 0);
    EXPECT_EQ(vexa.VexaStart(), 0); // the buffers are gone: nothing to acquire with
    EXPECT_EQ(midsim_FramesDelivered(0), delivered);
}

TEST_F(LifecycleTest, UnloadAfterStopDoesNothing) {
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    ASSERT_EQ(vexa.VexaStart(), 1);
    EXPECT_EQ(vexa.VexaStop(), 1);
    midsim_ClearLog();
    EXPECT_EQ(vexa.VexaUnload(), 1);
    EXPECT_EQ(vexa.VexaStop(), 1);
    EXPECT_EQ(midsim_EventCount(), 0);
}

TEST_F(LifecycleTest, UnloadClosesACameraThatNeverStarted) {
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    EXPECT_EQ(midsim_CameraStarted(0), 1);
    midsim_ClearLog();
    EXPECT_EQ(vexa.VexaUnload(), 1);
    EXPECT_EQ(midsim_CameraStarted(0), 0);
    EXPECT_EQ(CountEvents(MIDSIM_CLOSE), 1);
}

TEST_F(LifecycleTest, StopAndInitializeCycle) {
    const int modes[] = {kModeHalf, kModeFull, kModeQuarter, kModeHalf, kModeCustom};
    vexa.VexaSetRegion(100, 60, 320, 240);
    for (int mode : modes) {
        vexa.VexaSetCaptureResolution(mode);
        ASSERT_EQ(vexa.VexaInitialize(), 1) << mode;
        ASSERT_EQ(vexa.VexaStart(), 1) << mode;
        const FrameSize expected = ExpectedFrameSize(1, mode, 320, 240);
        std::vector<std::uint8_t> buffer(expected.pixels() * 4);
        EXPECT_TRUE(WaitForFrame(buffer.data(), VEXA_FORMAT_COLOUR)) << mode;
        EXPECT_EQ(LastFrameFormat(), std::make_pair(expected.width, expected.height)) << mode;
        EXPECT_EQ(vexa.VexaStop(), 1);
        EXPECT_EQ(midsim_OpenRecords(), 0) << "the imaging library stays open after VexaStop";
        midsim_ClearLog();
    }
}

TEST_F(LifecycleTest, InitializeWhileRunningStartsAfresh) {
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    ASSERT_EQ(vexa.VexaStart(), 1);
    ASSERT_TRUE(WaitForFrame(nullptr, VEXA_FORMAT_RAW));
    vexa.VexaSetCaptureResolution(kModeQuarter);
    RunBounded("VexaInitialize while running", 10000, [&] { EXPECT_EQ(vexa.VexaInitialize(), 1); });
    EXPECT_EQ(vexa.VexaGetBitmap(nullptr, 0, VEXA_FORMAT_RAW, 20), 0); // stopped by the re-initialise
    ASSERT_EQ(vexa.VexaStart(), 1);
    const FrameSize quarter = ExpectedFrameSize(1, kModeQuarter);
    std::vector<std::uint8_t> buffer(quarter.pixels() * 4);
    EXPECT_TRUE(WaitForFrame(buffer.data(), VEXA_FORMAT_COLOUR));
    vexa.VexaStop();
    EXPECT_EQ(midsim_OpenRecords(), 0);
}

TEST_F(LifecycleTest, UnplugMidStreamStopsFramesWithoutHanging) {
    Configure("pace=free unplug_after=25");
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    vexa.VexaStart(); // may already report the end: the frames run out at once
    std::vector<std::uint8_t> buffer(size.pixels() * 4);
    int frames = 0;
    RunBounded("fetching frames until the unplug", 20000, [&] {
        while (frames <= 25 && vexa.VexaGetBitmap(buffer.data(), 0, VEXA_FORMAT_COLOUR, 5000) == 1) {
            ++frames;
        }
    });
    EXPECT_GE(frames, 1);
    EXPECT_LE(frames, 25);
    // Frames have stopped: a long wait gives up at once.
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(vexa.VexaGetBitmap(buffer.data(), 0, VEXA_FORMAT_RAW, 100000), 0);
    EXPECT_LT(MillisecondsSince(start), 2000);
    // A still request and a single grab do not wait on a camera that is gone.
    RunBounded("VexaCaptureStillImage after the unplug", 10000,
               [&] { vexa.VexaCaptureStillImage((::testing::TempDir() + "vexa-unplugged.bmp").c_str()); });
    RunBounded("VexaGetSingleBitmap after the unplug", 10000,
               [&] { EXPECT_EQ(vexa.VexaGetSingleBitmap(buffer.data(), 0, VEXA_FORMAT_RAW, 100000000), 0); });
    RunBounded("VexaStop after the unplug", 10000, [&] { EXPECT_EQ(vexa.VexaStop(), 1); });
    EXPECT_EQ(midsim_OpenRecords(), 0);
    // Plugged in again (a fresh open), the camera delivers once more.
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    ASSERT_EQ(vexa.VexaStart(), 1);
    EXPECT_TRUE(WaitForFrame(buffer.data(), VEXA_FORMAT_RAW));
}

TEST_F(LifecycleTest, DetectionLeavesACameraInUseAlone) {
    Configure("sensor=2,1 pace=free");
    vexa.VexaSetSensorType(); // camera 1: 1600 x 1200
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    EXPECT_EQ(LastFrameFormat(), std::make_pair(1600, 1200));
    vexa.VexaSetCameraNumber(2);
    midsim_ClearLog();
    vexa.VexaSetSensorType(); // initialised, not started
    EXPECT_EQ(midsim_EventCount(), 0) << "detection touched the camera in use";
    ASSERT_EQ(vexa.VexaStart(), 1);
    vexa.VexaSetSensorType(); // running
    EXPECT_EQ(midsim_EventCount(), 0);
    std::vector<std::uint8_t> buffer(1600 * 1200 * 4);
    EXPECT_TRUE(WaitForFrame(buffer.data(), VEXA_FORMAT_COLOUR));
    EXPECT_EQ(midsim_CameraStarted(0), 1);
    vexa.VexaStop();
    // Once the camera is released, detection reads camera 2 (1280 x 1024).
    vexa.VexaSetSensorType();
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    EXPECT_EQ(LastFrameFormat(), std::make_pair(1280, 1024));
}

TEST_F(LifecycleTest, FailedDetectionGivesAnEmptyFrame) {
    midsim_SetNoCamera(1);
    vexa.VexaSetSensorType(); // no camera: type 0
    midsim_SetNoCamera(0);
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    ASSERT_EQ(vexa.VexaStart(), 1);
    std::vector<std::uint8_t> buffer(64, 0x5A);
    EXPECT_EQ(vexa.VexaGetBitmap(buffer.data(), 0, VEXA_FORMAT_COLOUR, 5000), 1);
    EXPECT_EQ(vexa.VexaGetBitmap(buffer.data(), 0, VEXA_FORMAT_RAW, 5000), 1);
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(64, 0x5A)); // 0 x 0: nothing written
}

class StillTest : public LifecycleTest {
protected:
    std::string path = ::testing::TempDir() + "vexa-still.bmp";
    void SetUp() override {
        LifecycleTest::SetUp();
        std::remove(path.c_str());
    }
    void TearDown() override {
        LifecycleTest::TearDown();
        std::remove(path.c_str());
    }
    std::vector<std::uint8_t> ReadFile() const {
        std::ifstream file(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }
};

std::uint32_t Le32(const std::vector<std::uint8_t> &bytes, std::size_t at) {
    return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (std::uint32_t(bytes[at + 3]) << 24);
}

TEST_F(StillTest, WhileRunningTheNextFrameIsWrittenAsA24BitBmp) {
    Configure("pace=free static=1 noise=9");
    vexa.VexaSetCaptureResolution(kModeCustom);
    vexa.VexaSetRegion(10, 20, 101, 37); // rows of 303 bytes, padded to 304
    vexa.VexaSetFlipHorizontal(1);
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    ASSERT_EQ(vexa.VexaStart(), 1);
    RunBounded("VexaCaptureStillImage", 10000, [&] { EXPECT_EQ(vexa.VexaCaptureStillImage(path.c_str()), 1); });
    const FrameSize still{101, 37};
    const std::vector<std::uint8_t> file = ReadFile();
    ASSERT_EQ(file.size(), 54u + 304u * 37u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(Le32(file, 18), 101u);
    EXPECT_EQ(Le32(file, 22), 37u);
    EXPECT_EQ(file[28], 24);
    // The file's first row is the picture's bottom row.
    const std::vector<std::uint8_t> bottomUp = ExpectedColour(CameraFrame(0, still.pixels()), still, true, true);
    for (int row = 0; row < still.height; ++row) {
        const auto fileRow = file.begin() + 54 + row * 304;
        EXPECT_TRUE(std::equal(fileRow, fileRow + 303, bottomUp.begin() + row * 303)) << "row " << row;
        EXPECT_EQ(fileRow[303], 0) << "row padding";
    }
    // The hand-off goes on.
    EXPECT_TRUE(WaitForFrame(nullptr, VEXA_FORMAT_RAW));
}

TEST_F(StillTest, WithoutAcquisitionItReturnsAtOnce) {
    Clock::time_point start = Clock::now();
    EXPECT_EQ(vexa.VexaCaptureStillImage(path.c_str()), 1);
    EXPECT_LT(MillisecondsSince(start), 500);
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    start = Clock::now();
    EXPECT_EQ(vexa.VexaCaptureStillImage(path.c_str()), 1);
    EXPECT_LT(MillisecondsSince(start), 500);
    EXPECT_TRUE(ReadFile().empty());
    ASSERT_EQ(vexa.VexaStart(), 1);
    EXPECT_EQ(vexa.VexaCaptureStillImage(nullptr), 1);
}

TEST_F(StillTest, WithoutFramesItGivesUpWithinItsWait) {
    midsim_FailNextAcquires(0, 2000000000, 1); // the camera answers, but delivers nothing
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    ASSERT_EQ(vexa.VexaStart(), 1);
    const Clock::time_point start = Clock::now();
    RunBounded("VexaCaptureStillImage without frames", 15000,
               [&] { EXPECT_EQ(vexa.VexaCaptureStillImage(path.c_str()), 1); });
    EXPECT_GE(MillisecondsSince(start), 1900);
    EXPECT_TRUE(ReadFile().empty());
    midsim_FailNextAcquires(0, 0, 1);
}

} // namespace
