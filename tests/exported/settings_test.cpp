// VEXALIB's setting exports through the module boundary: clamping with the
// register writes they cause, rejected modes and regions, flips, raw
// registers, the camera number and identification, and null pointers.
#include "vexa_test_support.h"

using namespace vexatest;
using Writes = std::vector<RegisterWrite>;

namespace {

class SettingsTest : public VexaTest {
protected:
    int32_t Get(VexaGetIntProc getter) const {
        int32_t value = 12345;
        EXPECT_EQ(getter(&value), 1);
        return value;
    }
};

TEST_F(SettingsTest, GainIsTheMagnitudeModulo100) {
    EXPECT_EQ(vexa.VexaSetGain(-130), 1);
    EXPECT_EQ(Get(vexa.VexaGetGain), 30);
    EXPECT_EQ(LoggedWrites(), Writes{}); // no camera: only kept
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    EXPECT_EQ(LoggedWrites().back(), RegisterWrite(0x35, 64 + 39 * 30 / 100)); // re-applied
    midsim_ClearLog();
    vexa.VexaSetGain(99);
    vexa.VexaSetGain(-2147483647 - 1);
    EXPECT_EQ(Get(vexa.VexaGetGain), 48); // 2147483648 % 100
    EXPECT_EQ(LoggedWrites(), (Writes{{0x35, 64 + 39 * 99 / 100}, {0x35, 64 + 39 * 48 / 100}}));
}

TEST_F(SettingsTest, ShutterIsCappedAndLivesOnlyInTheSensor) {
    vexa.VexaSetShutterWidth(20000);
    vexa.VexaSetShutterDelay(300);
    EXPECT_EQ(LoggedWrites(), Writes{});
    EXPECT_EQ(Get(vexa.VexaGetShutterWidth), -1); // no camera to read
    EXPECT_EQ(Get(vexa.VexaGetShutterDelay), -1);
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    for (const RegisterWrite &write : LoggedWrites()) {
        EXPECT_NE(write.first, 0x09) << "shutter width written by Initialize";
        EXPECT_NE(write.first, 0x0C) << "shutter delay written by Initialize";
    }
    midsim_ClearLog();
    vexa.VexaSetShutterWidth(20000);
    vexa.VexaSetShutterWidth(-1234);
    vexa.VexaSetShutterDelay(-2500);
    vexa.VexaSetShutterDelay(7);
    EXPECT_EQ(LoggedWrites(), (Writes{{0x09, 15000}, {0x09, 1234}, {0x0C, 2000}, {0x0C, 7}}));
    EXPECT_EQ(Get(vexa.VexaGetShutterWidth), 1234);
    EXPECT_EQ(Get(vexa.VexaGetShutterDelay), 7);
    midsim_PokeRegister(0, 0x09, 0xFFFF); // read back zero-extended
    EXPECT_EQ(Get(vexa.VexaGetShutterWidth), 0xFFFF);
    midsim_FailRegisterReads(0, 0x0C, 1);
    EXPECT_EQ(Get(vexa.VexaGetShutterDelay), -1);
}

TEST_F(SettingsTest, RejectedModesKeepTheOldOne) {
    vexa.VexaSetCaptureResolution(kModeQuarter);
    for (int mode : {4, -1, 100}) {
        EXPECT_EQ(vexa.VexaSetCaptureResolution(mode), 1);
        EXPECT_EQ(Get(vexa.VexaGetCaptureResolution), kModeQuarter) << mode;
    }
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    EXPECT_EQ(LastFrameFormat(), std::make_pair(320, 256));
}

TEST_F(SettingsTest, RejectedRegionsKeepTheOldOne) {
    vexa.VexaSetCaptureResolution(kModeCustom);
    vexa.VexaSetRegion(8, 4, 640, 480);
    const int rejected[][4] = {{0, 0, 4, 100},
                               {0, 0, 100, 4},
                               {-1, 0, 100, 100},
                               {0, -1, 100, 100},
                               {1000, 0, 281, 10},
                               {0, 900, 10, 125},
                               {0, 0, 2147483647, 2147483647}};
    for (const auto &region : rejected) {
        EXPECT_EQ(vexa.VexaSetRegion(region[0], region[1], region[2], region[3]), 1);
    }
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    EXPECT_EQ(LastFrameFormat(), std::make_pair(640, 480));
    const Writes writes = LoggedWrites();
    EXPECT_NE(std::find(writes.begin(), writes.end(), RegisterWrite(0x04, 639)), writes.end());
    EXPECT_NE(std::find(writes.begin(), writes.end(), RegisterWrite(0x03, 479)), writes.end());
    // A region takes effect only at the next Initialize.
    midsim_ClearLog();
    vexa.VexaSetRegion(0, 0, 1280, 1024);
    EXPECT_EQ(midsim_EventCount(), 0);
}

TEST_F(SettingsTest, FlipsUseTheLowByteAndReportOneByte) {
    for (auto [set, get] : {std::make_pair(vexa.VexaSetFlipHorizontal, vexa.VexaGetFlipHorizontal),
                            std::make_pair(vexa.VexaSetFlipVertical, vexa.VexaGetFlipVertical)}) {
        std::uint8_t bytes[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        EXPECT_EQ(set(0x101), 1);
        EXPECT_EQ(get(bytes), 1);
        EXPECT_EQ(bytes[0], 1);
        EXPECT_EQ(bytes[1], 0xEE); // only that byte is written
        set(0x100);                // low byte 0
        get(bytes);
        EXPECT_EQ(bytes[0], 0);
        EXPECT_EQ(bytes[3], 0xEE);
    }
    // Stored as given: no inversion for any sensor variant.
    Configure("pace=free variant=48");
    vexa.VexaSetSensorType();
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    vexa.VexaSetFlipHorizontal(1);
    std::uint8_t flag = 0;
    vexa.VexaGetFlipHorizontal(&flag);
    EXPECT_EQ(flag, 1);
}

TEST_F(SettingsTest, RawRegisterAccess) {
    int32_t value = 0;
    vexa.VexaGetRegVal(0x2B, &value);
    EXPECT_EQ(value, -1); // no camera
    vexa.VexaSetRegVal(0x2B, 0x1234);
    EXPECT_EQ(LoggedWrites(), Writes{});
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    midsim_ClearLog();
    EXPECT_EQ(vexa.VexaSetRegVal(0x2B, 0x1234), 1);
    EXPECT_EQ(LoggedWrites(), (Writes{{0x2B, 0x1234}}));
    EXPECT_EQ(vexa.VexaGetRegVal(0x2B, &value), 1);
    EXPECT_EQ(value, 0x1234);
    vexa.VexaGetRegVal(0x100, &value); // not a register number
    EXPECT_EQ(value, -1);
    midsim_FailRegisterReads(0, -1, 1);
    vexa.VexaGetRegVal(0x2B, &value);
    EXPECT_EQ(value, -1);
    midsim_FailRegisterReads(0, -1, 0);
    midsim_FailRegisterWrites(0, 0x2B, 1);
    vexa.VexaSetRegVal(0x2B, 0x0042); // fails (and beeps); the register keeps its value
    EXPECT_EQ(midsim_PeekRegister(0, 0x2B), 0x1234);
}

TEST_F(SettingsTest, CameraIdentificationComesFromTwoRegisters) {
    EXPECT_EQ(Get(vexa.VexaGetCamSN), 0); // no camera
    Configure("pace=free serial=1234567");
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    const int high = midsim_PeekRegister(0, 0xCD);
    const int low = midsim_PeekRegister(0, 0xCF);
    EXPECT_EQ(Get(vexa.VexaGetCamSN), high * 10000 + low);
    EXPECT_EQ(Get(vexa.VexaGetCamSN), 1234567);
    midsim_FailRegisterReads(0, 0xCF, 1);
    EXPECT_EQ(Get(vexa.VexaGetCamSN), 0);
}

TEST_F(SettingsTest, CameraNumberIsKeptUncheckedAndChoosesTheCamera) {
    vexa.VexaSetCameraNumber(-3);
    EXPECT_EQ(Get(vexa.VexaGetCameraNumber), -3);
    EXPECT_EQ(vexa.VexaInitialize(), 0);
    vexa.VexaStop();
    Configure("pace=free sensor=1,3");
    vexa.VexaSetCameraNumber(2);
    vexa.VexaSetSensorType();
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    EXPECT_EQ(LastFrameFormat(), std::make_pair(2048, 1536));
    EXPECT_EQ(midsim_CameraStarted(1), 1);
    EXPECT_EQ(midsim_CameraStarted(0), 0);
    vexa.VexaStop();
}

TEST_F(SettingsTest, DetectionPassesTheSensorDataFile) {
    Configure("pace=free sensor=3");
    vexa.VexaSetSensorType();
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    char path[300] = {};
    midsim_LastSensorDataPath(path, sizeof path);
    const std::string file = path;
    const std::string expected = "MI-3000-ES0.sdat";
    ASSERT_GE(file.size(), expected.size() + 1);
    EXPECT_EQ(file.substr(file.size() - expected.size() - 1), "\\" + expected);
}

TEST_F(SettingsTest, NullPointersAreIgnored) {
    ASSERT_EQ(vexa.VexaInitialize(), 1);
    for (VexaGetIntProc getter : {vexa.VexaGetGain, vexa.VexaGetCaptureResolution, vexa.VexaGetShutterDelay,
                                  vexa.VexaGetShutterWidth, vexa.VexaGetCamSN, vexa.VexaGetCameraNumber}) {
        EXPECT_EQ(getter(nullptr), 1);
    }
    EXPECT_EQ(vexa.VexaGetFlipHorizontal(nullptr), 1);
    EXPECT_EQ(vexa.VexaGetFlipVertical(nullptr), 1);
    EXPECT_EQ(vexa.VexaGetRegVal(0x00, nullptr), 1);
}

} // namespace
