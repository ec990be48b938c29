// Sensor controls: clamping, the registers they write, flips, regions, raw
// register access with the failure beep, camera ID and exposure timing.
#include <climits>

#include "engine_test_support.h"

using namespace enginetest;
using Writes = std::vector<RegisterWrite>;

namespace {

class ControlsTest : public EngineTest {
protected:
    // An initialised engine whose log holds only what the test does next.
    void Open(CameraEngine &engine, const char *config = "pace=free") {
        Configure(config);
        engine.DetectSensorType();
        ASSERT_TRUE(engine.Initialize());
        midsim_ClearLog();
    }
};

TEST_F(ControlsTest, GainWrapsAndWritesItsRegister) {
    CameraEngine engine;
    Open(engine);
    const struct {
        int argument, stored, reg;
    } cases[] = {{0, 0, 0x40},   {25, 25, 0x49},   {50, 50, 0x53},     {99, 99, 0x66},
                 {100, 0, 0x40}, {-130, 30, 0x4B}, {INT_MIN, 48, 0x52}};
    for (const auto &c : cases) {
        midsim_ClearLog();
        engine.SetGain(c.argument);
        EXPECT_EQ(engine.GetGain(), c.stored) << c.argument;
        EXPECT_EQ(LoggedWrites(), (Writes{{0x35, c.reg}})) << c.argument;
    }
    engine.StopAcquisition();
    midsim_ClearLog();
    engine.SetGain(10); // closed: stored only
    EXPECT_EQ(engine.GetGain(), 10);
    EXPECT_TRUE(LoggedWrites().empty());
}

TEST_F(ControlsTest, ShutterDelayLimits) {
    CameraEngine engine;
    Open(engine);
    engine.SetShutterDelay(-3000);
    EXPECT_EQ(engine.GetShutterDelay(), 2000);
    engine.SetShutterDelay(-20);
    EXPECT_EQ(engine.GetShutterDelay(), 20);
    engine.SetShutterDelay(INT_MIN);
    EXPECT_EQ(engine.GetShutterDelay(), 2000);
    EXPECT_EQ(LoggedWrites(), (Writes{{0x0C, 2000}, {0x0C, 20}, {0x0C, 2000}}));
    engine.StopAcquisition();

    // Variant 48 without address mode: mode-dependent minimums.
    CameraEngine v48;
    v48.sensorVariant = 48;
    v48.qualityMode = false;
    v48.SetResolutionMode(kModeHalf);
    v48.SetShutterDelay(50);
    EXPECT_EQ(v48.GetShutterDelay(), 110);
    v48.SetShutterDelay(5000); // above the minimum: magnitude, capped
    EXPECT_EQ(v48.GetShutterDelay(), 2000);
    v48.SetResolutionMode(kModeQuarter);
    v48.SetShutterDelay(-40); // only negative values are raised, to 0
    EXPECT_EQ(v48.GetShutterDelay(), 0);
    v48.SetShutterDelay(40);
    EXPECT_EQ(v48.GetShutterDelay(), 40);
    v48.SetResolutionMode(kModeCustom);
    v48.SetShutterDelay(549);
    EXPECT_EQ(v48.GetShutterDelay(), 550);
    v48.qualityMode = true;
    v48.SetResolutionMode(kModeHalf);
    v48.SetShutterDelay(200);
    EXPECT_EQ(v48.GetShutterDelay(), 550);
    v48.addressModeSensor = true; // address mode: no minimum
    v48.SetShutterDelay(-200);
    EXPECT_EQ(v48.GetShutterDelay(), 200);
}

TEST_F(ControlsTest, ShutterWidthCap) {
    CameraEngine engine;
    engine.SetShutterWidth(-9000);
    EXPECT_EQ(engine.GetShutterWidth(), 8000);
    engine.SetShutterWidth(7999);
    EXPECT_EQ(engine.GetShutterWidth(), 7999);
    Open(engine);
    engine.SetShutterWidth(123);
    EXPECT_EQ(LoggedWrites(), (Writes{{0x09, 123}}));
    engine.StopAcquisition();
}

TEST_F(ControlsTest, HorizontalFlipIsInvertedOnVariant48) {
    CameraEngine engine;
    engine.SetHorizontalFlip(true);
    EXPECT_TRUE(engine.horizontalFlip);
    EXPECT_TRUE(engine.GetHorizontalFlip());
    engine.sensorVariant = 48;
    engine.SetHorizontalFlip(true);
    EXPECT_FALSE(engine.horizontalFlip); // what the converter reads
    EXPECT_TRUE(engine.GetHorizontalFlip());
    engine.addressModeSensor = true;
    engine.SetHorizontalFlip(true);
    EXPECT_TRUE(engine.horizontalFlip);
    engine.SetVerticalFlip(true);
    EXPECT_TRUE(engine.verticalFlip);
    EXPECT_TRUE(engine.GetVerticalFlip());
}

TEST_F(ControlsTest, ModesOutsideTheRangeAreIgnored) {
    CameraEngine engine;
    engine.SetResolutionMode(2);
    engine.SetResolutionMode(4);
    engine.SetResolutionMode(-1);
    EXPECT_EQ(engine.GetResolutionMode(), 2);
    engine.SetStillResolutionMode(3);
    engine.SetStillResolutionMode(7);
    EXPECT_EQ(engine.GetStillResolutionMode(), 3);
}

TEST_F(ControlsTest, RegionChecks) {
    CameraEngine engine;
    std::int32_t table[4] = {100, 100, 100, 100};
    EXPECT_TRUE(engine.SetRegion(0, 0, 1280, 1024, nullptr));
    EXPECT_FALSE(engine.SetRegion(0, 0, 4, 100, nullptr));
    EXPECT_FALSE(engine.SetRegion(0, 0, 100, 4, nullptr));
    EXPECT_FALSE(engine.SetRegion(1, 0, 1280, 100, nullptr));
    EXPECT_FALSE(engine.SetRegion(0, 1, 100, 1024, nullptr));
    EXPECT_FALSE(engine.SetRegion(-1, 0, 100, 100, nullptr));
    EXPECT_FALSE(engine.SetRegion(0, 0, INT_MAX, 100, nullptr)); // no wrap-around
    int x, y, w, h, step;
    engine.GetRegion(x, y, w, h);
    EXPECT_EQ((std::vector<int>{x, y, w, h}), (std::vector<int>{0, 0, 1280, 1024}));

    EXPECT_TRUE(engine.SetRegionEx(0, 0, 640, 100, 2, table));
    EXPECT_TRUE(engine.pixelGainLive);
    EXPECT_EQ(engine.pixelGainTable.get(), table);
    EXPECT_FALSE(engine.SetRegionEx(0, 0, 641, 100, 2, nullptr));
    EXPECT_FALSE(engine.SetRegionEx(0, 0, 100, 100, 0, nullptr));
    engine.GetRegionEx(x, y, w, h, step);
    EXPECT_EQ((std::vector<int>{x, y, w, h, step}), (std::vector<int>{0, 0, 640, 100, 2}));
    EXPECT_TRUE(engine.pixelGainLive); // rejected calls change nothing

    // SetRegion resets the step even when it then fails.
    EXPECT_FALSE(engine.SetRegion(0, 0, 4, 4, nullptr));
    EXPECT_EQ(engine.regionStep, 1);
    engine.pixelGainStill = true;
    EXPECT_TRUE(engine.SetRegion(10, 10, 100, 100, nullptr));
    EXPECT_FALSE(engine.pixelGainLive);
    EXPECT_FALSE(engine.pixelGainStill);
    EXPECT_EQ(engine.pixelGainTable.get(), nullptr);

    engine.sensorType = 3;
    EXPECT_TRUE(engine.SetRegion(0, 0, 2048, 1536, nullptr));
    engine.sensorType = 0; // unknown type: no size check
    EXPECT_TRUE(engine.SetRegion(0, 0, 5000, 5000, nullptr));
}

TEST_F(ControlsTest, RawRegisterAccessBeepsOnFailure) {
    CameraEngine engine;
    EXPECT_EQ(engine.ReadRegister(0x35), -1);
    EXPECT_EQ(Observed::beeps, 1);
    engine.WriteRegister(0x35, 1);
    EXPECT_EQ(Observed::beeps, 2);

    Open(engine);
    engine.WriteRegister(0x2B, 0x1234);
    EXPECT_EQ(engine.ReadRegister(0x2B), 0x1234);
    engine.WriteRegister(0x2B, 0x12345); // 16-bit register
    EXPECT_EQ(engine.ReadRegister(0x2B), 0x2345);
    EXPECT_EQ(Observed::beeps, 2);
    engine.WriteRegister(0x135, 0); // no such register number
    EXPECT_EQ(engine.ReadRegister(-1), -1);
    EXPECT_EQ(Observed::beeps, 4);

    midsim_FailRegisterReads(0, 0x2B, 1);
    EXPECT_EQ(engine.ReadRegister(0x2B), -1);
    midsim_FailRegisterWrites(0, -1, 1);
    engine.WriteRegister(0x2B, 1);
    EXPECT_EQ(Observed::beeps, 6);
    EXPECT_EQ(Observed::otherBeeps, 0);
    engine.StopAcquisition();
}

TEST_F(ControlsTest, CameraIdFromTheSerialRegisters) {
    CameraEngine engine;
    EXPECT_EQ(engine.GetCameraId(), 0);
    Open(engine, "pace=free serial=1234567");
    EXPECT_EQ(engine.GetCameraId(), 1234567);
    midsim_FailRegisterReads(0, 0xCD, 1);
    EXPECT_EQ(engine.GetCameraId(), 4567); // a failed high part counts 0
    midsim_FailRegisterReads(0, 0xCD, 0);
    midsim_FailRegisterReads(0, 0xCF, 1);
    EXPECT_EQ(engine.GetCameraId(), 0);
    EXPECT_EQ(Observed::beeps, 0); // read without the beep
    engine.StopAcquisition();
}

TEST_F(ControlsTest, ExposureTimingFromTheRegisters) {
    CameraEngine engine;
    Open(engine, "pace=free sensor=1");
    auto set = [](int r3, int r4, int r5, int r6, int r9, int r12) {
        midsim_PokeRegister(0, 0x03, std::uint16_t(r3));
        midsim_PokeRegister(0, 0x04, std::uint16_t(r4));
        midsim_PokeRegister(0, 0x05, std::uint16_t(r5));
        midsim_PokeRegister(0, 0x06, std::uint16_t(r6));
        midsim_PokeRegister(0, 0x09, std::uint16_t(r9));
        midsim_PokeRegister(0, 0x0C, std::uint16_t(r12));
    };
    int exposure = -1, frame = -1;
    // Type 1: W = 1279 + 9 + 226 = 1514; T = W; exposure 1514 * 1000 - 180.
    set(1023, 1279, 9, 25, 1000, 0);
    engine.GetExposureTiming(exposure, frame);
    EXPECT_EQ(exposure, (1514LL * 1000 - 180) * 1000 / 12000000);
    EXPECT_EQ(frame, 1514LL * (1023 + 25 + 2) * 1000 / 12000000);
    // A long shutter sets the frame time; a large delay switches T.
    set(1023, 1279, 9, 25, 2000, 500);
    engine.GetExposureTiming(exposure, frame);
    EXPECT_EQ(exposure, ((4LL * 500 + 548) * 2000 - 4 * 500 - 180) * 1000 / 12000000);
    EXPECT_EQ(frame, 1514LL * 2001 * 1000 / 12000000);
    // Speed Half reduces the width term: N = (1279 / 4) * 2 + 1 = 639.
    engine.qualityMode = false;
    engine.SetResolutionMode(kModeHalf);
    set(1023, 1279, 9, 25, 1000, 0);
    engine.GetExposureTiming(exposure, frame);
    EXPECT_EQ(frame, (639LL + 9 + 226) * 1050 * 1000 / 12000000);
    engine.SetResolutionMode(kModeQuarter);
    engine.GetExposureTiming(exposure, frame);
    EXPECT_EQ(frame, (319LL + 9 + 226) * 1050 * 1000 / 12000000);

    // Type 2: A = max(N + R5 - 16, 295).
    engine.qualityMode = true;
    engine.sensorType = 2;
    set(1199, 1599, 9, 25, 1000, 0);
    engine.GetExposureTiming(exposure, frame);
    EXPECT_EQ(exposure, (999LL * (1592 + 322) - 180) * 1000 / 12000000);
    EXPECT_EQ(frame, (1592LL + 332) * 1226 * 1000 / 12000000);
    set(1199, 1599, 9, 25, 1000, 400);
    engine.GetExposureTiming(exposure, frame);
    EXPECT_EQ(exposure, ((4LL * 400 + 617) * 999 + 439) * 1000 / 12000000);
    set(100, 100, 0, 0, 50, 0); // A clamps to 295
    engine.GetExposureTiming(exposure, frame);
    EXPECT_EQ(frame, (295LL + 332) * 102 * 1000 / 12000000);

    // Type 3: nothing is read, both 0.
    engine.sensorType = 3;
    midsim_ClearLog();
    engine.GetExposureTiming(exposure, frame);
    EXPECT_EQ(exposure, 0);
    EXPECT_EQ(frame, 0);
    EXPECT_EQ(CountEvents(MIDSIM_READ), 0);
    engine.StopAcquisition();

    // No camera: every read fails (-1) and beeps.
    engine.sensorType = 1;
    engine.GetExposureTiming(exposure, frame);
    EXPECT_EQ(Observed::beeps, 6);
}

TEST_F(ControlsTest, ConverterSettingAccessors) {
    CameraEngine engine;
    engine.SetAutoColor(true);
    engine.SetMonochrome(true);
    engine.SetRawView(true);
    engine.SetBlankOutput(true);
    EXPECT_TRUE(engine.GetAutoColor() && engine.GetMonochrome() && engine.GetRawView() && engine.blankOutput);
    // Defaults that the converter relies on being safe.
    CameraEngine fresh;
    EXPECT_GE(fresh.regionStep, 1);
    EXPECT_GE(fresh.gridColumns, 1);
    EXPECT_GE(fresh.gridRows, 1);
    EXPECT_EQ(fresh.gain, 25);
    EXPECT_TRUE(fresh.qualityMode);
    EXPECT_EQ(fresh.sensorVariant, 12);
}

} // namespace
