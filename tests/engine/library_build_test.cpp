// The engine as the exported function library builds it: speed mode and
// variant 48 by default, detection from the chip version alone, shutter
// values kept only in the sensor, flips stored as given, no fatal message.
#include "engine_test_support.h"

using namespace enginetest;
using Writes = std::vector<RegisterWrite>;

namespace {

static_assert(kLibraryBuild, "this test program must be built against the library build of the engine");

class LibraryEngineTest : public EngineTest {};

TEST_F(LibraryEngineTest, Defaults) {
    CameraEngine engine;
    EXPECT_EQ(engine.sensorType, 1);
    EXPECT_EQ(engine.sensorVariant, 48);
    EXPECT_FALSE(engine.qualityMode);
    EXPECT_EQ(engine.gain, 25);
    EXPECT_EQ(engine.cameraNumber, 1);
    EXPECT_FALSE(engine.autoColor);
}

TEST_F(LibraryEngineTest, DetectionReadsOnlyTheChipVersion) {
    Configure("pace=free sensor=2 variant=12 addressmode=1");
    CameraEngine engine;
    EXPECT_EQ(engine.DetectSensorType(), 2);
    EXPECT_EQ(engine.sensorVariant, 48);
    EXPECT_FALSE(engine.addressModeSensor);
    int reads = 0;
    for (int i = 0; i < midsim_EventCount(); ++i) {
        MidsimEvent event{};
        if (midsim_GetEvent(i, &event) && event.kind == MIDSIM_READ) {
            ++reads;
            EXPECT_EQ(event.reg, 0x00);
        }
    }
    EXPECT_EQ(reads, 1);
    // Detection again does not close the library first.
    midsim_ClearLog();
    EXPECT_EQ(engine.DetectSensorType(), 2);
    EXPECT_EQ(CountEvents(MIDSIM_CLOSE), 0);
}

TEST_F(LibraryEngineTest, MissingSystemDirectoryIsNotFatal) {
    Observed::missingSystemDirectory = true;
    CameraEngine engine;
    EXPECT_EQ(engine.DetectSensorType(), -1);
    EXPECT_FALSE(engine.Initialize());
    EXPECT_TRUE(Observed::boxes.empty());
    EXPECT_TRUE(Observed::exits.empty());
    engine.StopAcquisition();
}

TEST_F(LibraryEngineTest, InitializeUsesSpeedReadoutAndReappliesOnlyGain) {
    CameraEngine engine;
    engine.SetResolutionMode(kModeHalf);
    engine.SetShutterWidth(500); // no camera: nothing stored, nothing written
    ASSERT_TRUE(engine.Initialize());
    EXPECT_EQ(engine.frameWidth, 640);
    EXPECT_EQ(engine.frameHeight, 512);
    EXPECT_EQ(LoggedWrites(),
              (Writes{{0x0D, 1}, {0x0D, 0}, {0x1E, 0x8000}, {0x20, 0x111C}, {0x20, 0x511C}, {0x35, 0x49}}));
    engine.StopAcquisition();
}

TEST_F(LibraryEngineTest, ShutterLivesInTheSensor) {
    CameraEngine engine;
    EXPECT_EQ(engine.GetShutterWidth(), -1); // no camera to read
    EXPECT_EQ(engine.GetShutterDelay(), -1);
    ASSERT_TRUE(engine.Initialize());
    midsim_ClearLog();
    engine.SetShutterWidth(20000);
    EXPECT_EQ(engine.GetShutterWidth(), 15000);
    engine.SetShutterDelay(-100); // no mode-dependent minimum here
    EXPECT_EQ(engine.GetShutterDelay(), 100);
    engine.SetShutterDelay(9999);
    EXPECT_EQ(engine.GetShutterDelay(), 2000);
    EXPECT_EQ(LoggedWrites(), (Writes{{0x09, 15000}, {0x0C, 100}, {0x0C, 2000}}));
    EXPECT_EQ(Observed::beeps, 0);
    engine.StopAcquisition();
}

TEST_F(LibraryEngineTest, FlipsAreStoredAsGiven) {
    CameraEngine engine; // variant 48 without address mode
    engine.SetHorizontalFlip(true);
    EXPECT_TRUE(engine.horizontalFlip);
    EXPECT_TRUE(engine.GetHorizontalFlip());
}

} // namespace
