// Engine set-up against the simulated camera library: detection, the sensor
// data path, the shared open count and every register write of Initialize.
#include "engine_test_support.h"

using namespace enginetest;
using Writes = std::vector<RegisterWrite>;

namespace {

class SetupTest : public EngineTest {};

TEST_F(SetupTest, DetectsEachChipVersionAndVariant) {
    struct Case {
        const char *config;
        int type;
        int variant;
        bool addressMode;
        const char *file;
    } cases[] = {
        {"pace=free sensor=1", 1, 12, false, "\\MI-1300-ES0.sdat"},
        {"pace=free sensor=2", 2, 12, false, "\\MI-2000-ES0.sdat"},
        {"pace=free sensor=1 variant=48", 1, 48, false, "\\MI-1300-ES0.sdat"},
        {"pace=free sensor=2 addressmode=1", 2, 12, true, "\\MI-2000-ES0.sdat"},
        // Type 3 always reads out as variant 48 with address mode.
        {"pace=free sensor=3", 3, 48, true, "\\MI-3000-ES0.sdat"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.config);
        Configure(c.config);
        CameraEngine engine;
        EXPECT_EQ(engine.DetectSensorType(), c.type);
        EXPECT_EQ(engine.sensorType, c.type);
        EXPECT_EQ(engine.sensorVariant, c.variant);
        EXPECT_EQ(engine.addressModeSensor, c.addressMode);
        // The path is built from the type before detection (1 by default).
        EXPECT_EQ(LastSensorDataPath(), "C:\\windows\\system32\\MI-1300-ES0.sdat");
        // Detection starts and stops the camera and leaves the library open.
        EXPECT_EQ(CountEvents(MIDSIM_START), 1);
        EXPECT_EQ(CountEvents(MIDSIM_STOP), 1);
        EXPECT_EQ(midsim_CameraStarted(0), 0);
        EXPECT_EQ(SharedCameraTable().openCount, 0);
        // A second detection uses the detected type's file name.
        engine.DetectSensorType();
        EXPECT_EQ(LastSensorDataPath(), std::string("C:\\windows\\system32") + c.file);
    }
}

TEST_F(SetupTest, UnknownChipVersionKeepsTheType) {
    CameraEngine holder; // keeps the library open so the poked register survives
    ASSERT_TRUE(holder.OpenCamera());
    midsim_PokeRegister(0, 0x00, 0x9911);
    CameraEngine engine;
    engine.sensorType = 2;
    EXPECT_EQ(engine.DetectSensorType(), 2);
    EXPECT_EQ(engine.sensorType, 2);
    holder.CloseCamera();
}

TEST_F(SetupTest, DetectionFailures) {
    Configure("pace=free fail=nocamera");
    CameraEngine engine;
    EXPECT_EQ(engine.DetectSensorType(), 0);
    Configure("pace=free fail=open");
    EXPECT_EQ(engine.DetectSensorType(), 0);
    Configure("pace=free");
    engine.cameraNumber = 2; // one camera attached: slot 2 is empty
    EXPECT_EQ(engine.DetectSensorType(), 0);
    engine.cameraNumber = 99; // beyond the table: refused, not read
    EXPECT_EQ(engine.DetectSensorType(), 0);
    engine.cameraNumber = 0;
    EXPECT_EQ(engine.DetectSensorType(), 0);
}

TEST_F(SetupTest, EmptySlotFailsInitializeAndKeepsCountUntilClose) {
    CameraEngine engine;
    engine.cameraNumber = 2;
    EXPECT_FALSE(engine.Initialize());
    EXPECT_EQ(SharedCameraTable().openCount, 1); // counted although the open failed
    EXPECT_EQ(engine.grabBuffer, nullptr);
    engine.StopAcquisition();
    EXPECT_EQ(SharedCameraTable().openCount, 0);
    EXPECT_EQ(midsim_OpenRecords(), 0);
}

TEST_F(SetupTest, SecondCameraIsUsedWhenAttached) {
    Configure("pace=free cameras=2 sensor=1,2");
    CameraEngine engine;
    engine.cameraNumber = 2;
    EXPECT_EQ(engine.DetectSensorType(), 2);
    ASSERT_TRUE(engine.Initialize());
    EXPECT_EQ(engine.frameWidth, 1600);
    EXPECT_EQ(midsim_CameraStarted(1), 1);
    EXPECT_EQ(midsim_CameraStarted(0), 0);
    engine.StopAcquisition();
}

TEST_F(SetupTest, TwoEnginesShareTheLibraryUntilTheLastCloses) {
    CameraEngine first;
    CameraEngine second;
    ASSERT_TRUE(first.Initialize());
    ASSERT_TRUE(second.Initialize());
    EXPECT_EQ(SharedCameraTable().openCount, 2);
    EXPECT_EQ(CountEvents(MIDSIM_OPEN), 1); // the second reused the table
    first.StopAcquisition();
    EXPECT_EQ(SharedCameraTable().openCount, 1);
    EXPECT_EQ(CountEvents(MIDSIM_CLOSE), 0);
    EXPECT_GT(midsim_OpenRecords(), 0);
    EXPECT_GE(second.ReadRegister(0x35), 0); // still usable
    second.StopAcquisition();
    EXPECT_EQ(SharedCameraTable().openCount, 0);
    EXPECT_EQ(CountEvents(MIDSIM_CLOSE), 1);
    EXPECT_EQ(midsim_OpenRecords(), 0);
}

TEST_F(SetupTest, RepeatedCloseReleasesNothingTwice) {
    CameraEngine engine;
    ASSERT_TRUE(engine.Initialize());
    EXPECT_TRUE(engine.CloseCamera());
    EXPECT_TRUE(engine.CloseCamera());
    EXPECT_TRUE(engine.StopAcquisition()); // stop on a stopped, closed engine
    EXPECT_EQ(SharedCameraTable().openCount, 0);
    EXPECT_EQ(CountEvents(MIDSIM_CLOSE), 1);
    EXPECT_EQ(CountEvents(MIDSIM_STOP), 1);
    // A close on a never-opened engine must not take another engine's count.
    CameraEngine holder;
    ASSERT_TRUE(holder.Initialize());
    CameraEngine idle;
    idle.CloseCamera();
    EXPECT_EQ(SharedCameraTable().openCount, 1);
    holder.StopAcquisition();
}

TEST_F(SetupTest, InitializeTwiceReopensWithoutLeaking) {
    CameraEngine engine;
    ASSERT_TRUE(engine.Initialize());
    ASSERT_TRUE(engine.Initialize());
    EXPECT_EQ(SharedCameraTable().openCount, 1);
    engine.StopAcquisition();
}

TEST_F(SetupTest, MissingSystemDirectoryIsFatal) {
    Observed::missingSystemDirectory = true;
    CameraEngine engine;
    EXPECT_FALSE(engine.OpenCamera());
    ASSERT_EQ(Observed::boxes.size(), 1u);
    EXPECT_EQ(Observed::boxes[0].first, "Could Not Find Windows System Directory");
    EXPECT_EQ(Observed::boxes[0].second, "Error");
    ASSERT_EQ(Observed::exits.size(), 1u);
    EXPECT_EQ(Observed::exits[0], 0u);
    EXPECT_EQ(engine.DetectSensorType(), 0);
    EXPECT_EQ(Observed::boxes.size(), 2u);
    engine.CloseCamera();
}

TEST_F(SetupTest, FrameSizeFollowsTheMode) {
    struct Case {
        int type, mode, width, height;
    } cases[] = {{1, kModeFull, 1280, 1024}, {1, kModeHalf, 640, 512},   {1, kModeQuarter, 320, 256},
                 {2, kModeHalf, 800, 600},   {3, kModeFull, 2048, 1536}, {3, kModeQuarter, 512, 384}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " mode " << c.mode);
        Configure(c.type == 1 ? "pace=free sensor=1" : c.type == 2 ? "pace=free sensor=2" : "pace=free sensor=3");
        for (bool quality : {true, false}) {
            CameraEngine engine;
            engine.sensorType = c.type;
            engine.qualityMode = quality;
            engine.SetResolutionMode(c.mode);
            ASSERT_TRUE(engine.Initialize());
            EXPECT_EQ(engine.frameWidth, c.width);
            EXPECT_EQ(engine.frameHeight, c.height);
            int fullWidth = 0, fullHeight = 0;
            SensorFullSize(c.type, fullWidth, fullHeight);
            // Quality reads the full window; speed has the sensor deliver the frame.
            EXPECT_EQ(engine.RawStride(), quality ? fullWidth : c.width);
            EXPECT_EQ(engine.FrameBufferSize(),
                      quality ? std::uint32_t(fullWidth * fullHeight) : std::uint32_t(c.width * c.height));
            EXPECT_GE(engine.BufferBytes(), std::uint32_t(fullWidth * fullHeight));
            engine.StopAcquisition();
        }
    }
}

// --- Register writes of Initialize --------------------------------------

struct InitCase {
    const char *name;
    const char *config;
    bool quality;
    int mode;
    Writes readout; // between the reset pulse and the re-applied gain
};

Writes InitializeWrites(CameraEngine &engine) {
    midsim_ClearLog();
    EXPECT_TRUE(engine.Initialize());
    Writes writes = LoggedWrites();
    engine.StopAcquisition();
    return writes;
}

TEST_F(SetupTest, InitializeWritesTheReadoutTable) {
    const InitCase cases[] = {
        {"quality full", "sensor=1", true, kModeFull, {{0x20, 0x1104}}},
        {"quality half", "sensor=1", true, kModeHalf, {{0x20, 0x1104}}},
        {"quality quarter", "sensor=1", true, kModeQuarter, {{0x20, 0x1104}}},
        {"quality address full", "sensor=2 addressmode=1", true, kModeFull, {}},
        {"quality address half", "sensor=2 addressmode=1", true, kModeHalf, {}},
        {"quality address quarter", "sensor=2 addressmode=1", true, kModeQuarter, {}},
        {"speed full", "sensor=1", false, kModeFull, {{0x1E, 0x8000}, {0x20, 0x1104}}},
        {"speed half", "sensor=1", false, kModeHalf, {{0x1E, 0x8000}, {0x20, 0x111C}}},
        {"speed quarter", "sensor=1", false, kModeQuarter, {{0x1E, 0x800C}, {0x20, 0x1104}}},
        {"speed address full", "sensor=2 addressmode=1", false, kModeFull, {{0x22, 0x0000}, {0x23, 0x0000}}},
        {"speed address half", "sensor=2 addressmode=1", false, kModeHalf, {{0x22, 0x0011}, {0x23, 0x0011}}},
        {"speed address quarter", "sensor=2 addressmode=1", false, kModeQuarter, {{0x22, 0x0013}, {0x23, 0x0013}}},
    };
    for (const InitCase &c : cases) {
        SCOPED_TRACE(c.name);
        Configure((std::string("pace=free ") + c.config).c_str());
        CameraEngine engine;
        ASSERT_GT(engine.DetectSensorType(), 0);
        engine.qualityMode = c.quality;
        engine.SetResolutionMode(c.mode);
        Writes expected = {{0x0D, 1}, {0x0D, 0}};
        expected.insert(expected.end(), c.readout.begin(), c.readout.end());
        expected.insert(expected.end(), {{0x35, 0x49}, {0x0C, 0}, {0x09, 0}});
        EXPECT_EQ(InitializeWrites(engine), expected);
    }
}

TEST_F(SetupTest, InitializeOnVariant48) {
    // Without address mode register 0x20 is read back and bit 14 set; the
    // shutter delay then has its 550 minimum in quality mode.
    Configure("pace=free sensor=1 variant=48");
    CameraEngine engine;
    engine.DetectSensorType();
    EXPECT_EQ(InitializeWrites(engine),
              (Writes{{0x0D, 1}, {0x0D, 0}, {0x20, 0x1104}, {0x20, 0x5104}, {0x35, 0x49}, {0x0C, 550}, {0x09, 0}}));
    // With address mode (type 3) register 0x0A and 0x20 are written outright.
    Configure("pace=free sensor=3");
    CameraEngine wide;
    wide.DetectSensorType();
    wide.qualityMode = false;
    wide.SetResolutionMode(kModeHalf);
    EXPECT_EQ(InitializeWrites(wide), (Writes{{0x0D, 1},
                                              {0x0D, 0},
                                              {0x22, 0x0011},
                                              {0x23, 0x0011},
                                              {0x0A, 1},
                                              {0x20, 0x2000},
                                              {0x35, 0x49},
                                              {0x0C, 0},
                                              {0x09, 0}}));
}

TEST_F(SetupTest, SpeedCustomProgramsTheWindow) {
    CameraEngine engine;
    engine.qualityMode = false;
    engine.SetResolutionMode(kModeCustom);
    ASSERT_TRUE(engine.SetRegion(100, 60, 320, 240, nullptr));
    // Detection opens the library so the power-on window can be read first.
    engine.DetectSensorType();
    const int rowStart = midsim_PeekRegister(0, 0x01);
    const int columnStart = midsim_PeekRegister(0, 0x02);
    ASSERT_GE(rowStart, 0);
    Writes writes = InitializeWrites(engine);
    const Writes expected = {{0x0D, 1},
                             {0x0D, 0},
                             {0x04, 319},
                             {0x03, 239},
                             {0x01, rowStart + 60},
                             {0x02, columnStart + 100},
                             {0x1E, 0x8000},
                             {0x20, 0x1104},
                             {0x35, 0x49},
                             {0x0C, 0},
                             {0x09, 0}};
    EXPECT_EQ(writes, expected);
    int formats = 0;
    for (int i = 0; i < midsim_EventCount(); ++i) {
        MidsimEvent event{};
        if (midsim_GetEvent(i, &event) && event.kind == MIDSIM_FORMAT) {
            ++formats;
            EXPECT_EQ(event.width, 320);
            EXPECT_EQ(event.height, 240);
        }
    }
    EXPECT_EQ(formats, 1);
    // A region at the origin leaves the start registers alone.
    ASSERT_TRUE(engine.SetRegion(0, 0, 64, 48, nullptr));
    Writes origin = InitializeWrites(engine);
    EXPECT_EQ(origin[2], (RegisterWrite{0x04, 63}));
    EXPECT_EQ(origin[3], (RegisterWrite{0x03, 47}));
    EXPECT_EQ(origin[4], (RegisterWrite{0x1E, 0x8000}));
}

TEST_F(SetupTest, InitializeReappliesStoredGainAndShutter) {
    CameraEngine engine;
    engine.SetGain(50);
    engine.SetShutterDelay(300);
    engine.SetShutterWidth(1234);
    EXPECT_EQ(LoggedWrites().size(), 0u); // no camera yet: stored only
    Writes writes = InitializeWrites(engine);
    ASSERT_GE(writes.size(), 3u);
    EXPECT_EQ(Writes(writes.end() - 3, writes.end()), (Writes{{0x35, 0x53}, {0x0C, 300}, {0x09, 1234}}));
}

} // namespace
