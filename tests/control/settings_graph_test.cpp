// ICameraSettings in a running graph: picture settings as they show in the
// preview frames that reach a Sample Grabber, the frame rate, sensor
// detection refused under a running acquisition, and the camera's registers.
#include <windows.h>

#include <array>
#include <atomic>
#include <cmath>
#include <vector>

#include "tests/control/control_test_support.h"

namespace {

// A filter in Quarter resolution (320 x 256 frames) whose preview pin runs
// into a grabber; `base` is a frame with every picture setting at its default.
class RunningTest : public ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        if (HasFatalFailure())
            return;
        filter = NewFilter(&settings);
        ASSERT_NE(settings, nullptr);
        ASSERT_EQ(settings->SetCaptureResolution(2), S_OK);
        ASSERT_TRUE(graph.Build(filter));
        ASSERT_EQ(graph.width, 320);
        ASSERT_EQ(graph.height, 256);
        ASSERT_TRUE(graph.Run());
        ASSERT_TRUE(graph.FreshFrame(base));
    }
    void TearDown() override {
        graph.Release();
        ControlTest::TearDown();
    }

    // Compares the interior of `frame` with `expected(row, column)` (3 bytes);
    // reports the first difference.
    template <typename Expected>::testing::AssertionResult Interior(const Frame &frame, Expected expected) {
        for (int row = 1; row < frame.height - 1; ++row)
            for (int column = 1; column < frame.width - 1; ++column) {
                const std::uint8_t *actual = frame.Pixel(row, column);
                const std::array<std::uint8_t, 3> want = expected(row, column);
                if (actual[0] != want[0] || actual[1] != want[1] || actual[2] != want[2])
                    return ::testing::AssertionFailure()
                           << "pixel (" << row << ", " << column << ") is " << int(actual[0]) << "," << int(actual[1])
                           << "," << int(actual[2]) << ", expected " << int(want[0]) << "," << int(want[1]) << ","
                           << int(want[2]);
            }
        return ::testing::AssertionSuccess();
    }
    std::array<std::uint8_t, 3> Base(int row, int column) const {
        const std::uint8_t *p = base.Pixel(row, column);
        return {p[0], p[1], p[2]};
    }
    static std::array<std::uint8_t, 3> Inverted(std::array<std::uint8_t, 3> p) {
        return {std::uint8_t(~p[0]), std::uint8_t(~p[1]), std::uint8_t(~p[2])};
    }

    IBaseFilter *filter = nullptr;
    ICameraSettings *settings = nullptr;
    GrabberGraph graph;
    Frame base;
};

TEST_F(RunningTest, FlipsMirrorThePicture) {
    Frame frame;
    ASSERT_EQ(settings->SetFlipHorizontal(true), S_OK);
    ASSERT_TRUE(graph.FreshFrame(frame));
    EXPECT_TRUE(Interior(frame, [&](int r, int c) { return Base(r, frame.width - 1 - c); }));
    ASSERT_EQ(settings->SetFlipHorizontal(false), S_OK);
    ASSERT_EQ(settings->SetFlipVertical(true), S_OK);
    ASSERT_TRUE(graph.FreshFrame(frame));
    EXPECT_TRUE(Interior(frame, [&](int r, int c) { return Base(frame.height - 1 - r, c); }));
    ASSERT_EQ(settings->SetFlipVertical(false), S_OK);
    ASSERT_TRUE(graph.FreshFrame(frame));
    EXPECT_TRUE(Interior(frame, [&](int r, int c) { return Base(r, c); }));
}

TEST_F(RunningTest, MonochromeAndRawView) {
    Frame frame;
    ASSERT_EQ(settings->SetMonochrome(true), S_OK);
    ASSERT_TRUE(graph.FreshFrame(frame));
    EXPECT_TRUE(Interior(frame, [&](int r, int c) {
        const std::uint8_t *p = base.Pixel(r, c);
        const auto grey = std::uint8_t((p[0] + p[1] + p[2]) / 3);
        return std::array<std::uint8_t, 3>{grey, grey, grey};
    }));
    // Raw view: every pixel is its own raw sample (every fourth sample of
    // every fourth row at Quarter), mirrored left to right as always.
    std::vector<std::uint8_t> raw(16u << 20);
    ASSERT_GT(midsim_RenderFrame(0, raw.data(), static_cast<std::uint32_t>(raw.size())), 0);
    ASSERT_EQ(settings->SetRawView(true), S_OK);
    ASSERT_TRUE(graph.FreshFrame(frame));
    EXPECT_TRUE(Interior(frame, [&](int r, int c) {
        const std::uint8_t sample = raw[std::size_t(4 * r) * 1280u + std::size_t(4 * (frame.width - 1 - c))];
        return std::array<std::uint8_t, 3>{sample, sample, sample};
    }));
    ASSERT_EQ(settings->SetRawView(false), S_OK);
    ASSERT_TRUE(graph.FreshFrame(frame));
    EXPECT_TRUE(Interior(frame, [&](int r, int c) { return Base(r, c); }));
}

TEST_F(RunningTest, GridInvertsTheMiddleLinesAndBadCountsDrawNothing) {
    Frame frame;
    ASSERT_EQ(settings->SetGrid(true, 2, 2), S_OK);
    ASSERT_TRUE(graph.FreshFrame(frame));
    const int middleRow = frame.height / 2;
    const int middleColumn = frame.width - 1 - frame.width / 2; // index width / 2 before mirroring
    EXPECT_TRUE(Interior(frame, [&](int r, int c) {
        return (r == middleRow || c == middleColumn) ? Inverted(Base(r, c)) : Base(r, c);
    }));
    // Counts below 1, and cells narrower than a pixel, leave the picture alone.
    const int badCounts[][2] = {{0, 2}, {2, 0}, {-1, -1}, {100000, 2}, {2, 100000}};
    for (const auto &counts : badCounts) {
        ASSERT_EQ(settings->SetGrid(true, counts[0], counts[1]), S_OK);
        ASSERT_TRUE(graph.FreshFrame(frame)) << counts[0] << " x " << counts[1];
        EXPECT_TRUE(Interior(frame, [&](int r, int c) { return Base(r, c); })) << counts[0] << " x " << counts[1];
    }
}

TEST_F(RunningTest, OverlayIsDrawnAndAReplacedOneIsNoLongerRead) {
    const int width = graph.width, height = graph.height;
    const SIZE_T bytes = SIZE_T(width) * SIZE_T(height) * 4u;
    Frame frame;
    for (int round = 0; round < 3; ++round) {
        // A fresh allocation each round, freed as soon as SetOverlay lets go
        // of it: a conversion still reading it would fault.
        auto *image = static_cast<std::uint8_t *>(VirtualAlloc(nullptr, bytes, MEM_COMMIT, PAGE_READWRITE));
        ASSERT_NE(image, nullptr);
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c) {
                std::uint8_t *p = image + (SIZE_T(r) * SIZE_T(width) + SIZE_T(c)) * 4u;
                const bool marked = r >= 20 && r < 40 && c >= 10 && c < 60;
                p[0] = 1;
                p[1] = 2;
                p[2] = 3;
                p[3] = marked ? 0xFF : 0xFE; // 0xFE is not an overlay pixel
            }
        const bool copy = round != 1;
        ASSERT_EQ(settings->SetOverlay(image, true, copy), S_OK);
        ASSERT_TRUE(graph.FreshFrame(frame));
        EXPECT_TRUE(Interior(frame,
                             [&](int r, int c) {
                                 const bool marked = r >= 20 && r < 40 && c >= 10 && c < 60;
                                 if (!marked)
                                     return Base(r, c);
                                 return copy ? std::array<std::uint8_t, 3>{1, 2, 3} : Inverted(Base(r, c));
                             }))
            << "round " << round;
        ASSERT_EQ(settings->SetOverlay(nullptr, false, false), S_OK);
        VirtualFree(image, 0, MEM_RELEASE);
    }
    // Enabled without an image: nothing to draw, frames go on.
    ASSERT_EQ(settings->SetOverlay(nullptr, true, true), S_OK);
    ASSERT_TRUE(graph.FreshFrame(frame));
    EXPECT_TRUE(Interior(frame, [&](int r, int c) { return Base(r, c); }));
}

TEST_F(RunningTest, BlankingAndAutoColor) {
    Frame frame;
    ASSERT_EQ(settings->SetBlankOutput(true), S_OK);
    ASSERT_TRUE(graph.FreshFrame(frame));
    EXPECT_TRUE(Interior(frame, [](int, int) { return std::array<std::uint8_t, 3>{0, 0, 0}; }));
    ASSERT_EQ(settings->SetBlankOutput(false), S_OK);

    // The correction learns blue and red offsets frame by frame and leaves green alone.
    ASSERT_EQ(settings->SetAutoColor(true), S_OK);
    ASSERT_TRUE(graph.collector.WaitForSamples(graph.collector.samples + 12, 10000));
    ASSERT_TRUE(graph.FreshFrame(frame));
    bool blueOrRedMoved = false;
    EXPECT_TRUE(Interior(frame, [&](int r, int c) {
        const std::uint8_t *p = frame.Pixel(r, c);
        const std::array<std::uint8_t, 3> was = Base(r, c);
        blueOrRedMoved = blueOrRedMoved || p[0] != was[0] || p[2] != was[2];
        return std::array<std::uint8_t, 3>{p[0], was[1], p[2]};
    }));
    EXPECT_TRUE(blueOrRedMoved) << "twelve frames with automatic colour correction changed no blue or red value";
}

TEST_F(RunningTest, FrameRateFollowsTheCamerasPace) {
    // The average runs over ten frame intervals: give it a second and a half.
    ASSERT_TRUE(graph.collector.WaitForSamples(graph.collector.samples + 45, 10000));
    float rate = 0.0f;
    ASSERT_EQ(settings->GetFrameRate(&rate), S_OK);
    // Plausibility only: 30 paced frames per second, whatever else the machine does.
    // The rate is a mean of per-interval rates, which jitter inflates: a frame
    // fetched late comes at once and the next one on the sensor's own cadence,
    // so a busy machine has read 46 here. A unit or arithmetic fault is far off.
    EXPECT_GT(rate, 15.0f);
    EXPECT_LT(rate, 150.0f);
    int exposureMs = -1, frameMs = -1;
    EXPECT_EQ(settings->GetExposureTiming(&exposureMs, &frameMs), S_OK);
    EXPECT_GT(frameMs, 0);
    EXPECT_GE(exposureMs, 0);
}

TEST_F(RunningTest, SensorDetectionIsRefusedWithoutTouchingTheCamera) {
    midsim_ClearLog();
    ASSERT_EQ(settings->SetSensorType(), VFW_E_NOT_STOPPED);
    int type = 0;
    ASSERT_EQ(settings->GetSensorType(&type), S_OK);
    EXPECT_EQ(type, 1);
    for (int i = 0; i < midsim_EventCount(); ++i) {
        MidsimEvent event{};
        ASSERT_TRUE(midsim_GetEvent(i, &event));
        EXPECT_TRUE(event.kind != MIDSIM_OPEN && event.kind != MIDSIM_CLOSE && event.kind != MIDSIM_START &&
                    event.kind != MIDSIM_STOP)
            << "sensor detection reached the camera (event kind " << event.kind << ")";
    }
    // The stream is unharmed.
    Frame frame;
    ASSERT_TRUE(graph.FreshFrame(frame));
    EXPECT_TRUE(Interior(frame, [&](int r, int c) { return Base(r, c); }));
}

// A host that makes a second filter while the first streams (as device
// enumeration does): the new filter learns the sensor without opening,
// starting or stopping the camera in use, and the stream goes on.
TEST_F(RunningTest, ANewFilterDoesNotDisturbTheCameraInUse) {
    midsim_ClearLog();
    IBaseFilter *second = NewFilter();
    int width = 0, height = 0;
    ASSERT_TRUE(OfferedSize(PinNamed(second, L"Preview").get(), width, height));
    EXPECT_EQ(width, 1280);
    for (int i = 0; i < midsim_EventCount(); ++i) {
        MidsimEvent event{};
        ASSERT_TRUE(midsim_GetEvent(i, &event));
        EXPECT_TRUE(event.kind == MIDSIM_READ) << "the probe reached the camera (event kind " << event.kind << ")";
    }
    EXPECT_EQ(midsim_CameraStarted(0), 1);
    Frame frame;
    ASSERT_TRUE(graph.FreshFrame(frame));
    EXPECT_TRUE(Interior(frame, [&](int r, int c) { return Base(r, c); }));
}

// The standard controls reach the running sensor: the gain register, and a
// shutter width whose exposure (as the engine times it) is the one asked for.
TEST_F(RunningTest, StandardControlsProgramTheSensor) {
    ComPtr<IAMVideoProcAmp> procAmp;
    ComPtr<IAMCameraControl> cameraControl;
    ASSERT_EQ(filter->QueryInterface(IID_IAMVideoProcAmp, procAmp.putVoid()), S_OK);
    ASSERT_EQ(filter->QueryInterface(IID_IAMCameraControl, cameraControl.putVoid()), S_OK);
    for (LONG gain : {0L, 50L, 99L}) {
        ASSERT_EQ(procAmp->Set(VideoProcAmp_Gain, gain, VideoProcAmp_Flags_Manual), S_OK);
        EXPECT_EQ(midsim_PeekRegister(0, 0x35), 64 + 39 * gain / 100);
    }
    for (LONG exposure : {-6L, -3L, -1L, 0L}) {
        SCOPED_TRACE(exposure);
        ASSERT_EQ(cameraControl->Set(CameraControl_Exposure, exposure, CameraControl_Flags_Manual), S_OK);
        int width = 0, exposureMs = 0, frameMs = 0;
        ASSERT_EQ(settings->GetShutterWidth(&width), S_OK);
        EXPECT_EQ(midsim_PeekRegister(0, 0x09), width);
        ASSERT_EQ(settings->GetExposureTiming(&exposureMs, &frameMs), S_OK);
        EXPECT_NEAR(std::log2(exposureMs / 1000.0), double(exposure), 0.5);
        LONG value = 0, flags = 0;
        ASSERT_EQ(cameraControl->Get(CameraControl_Exposure, &value, &flags), S_OK);
        EXPECT_EQ(value, exposure);
    }
}

TEST_F(RunningTest, RegistersAndCameraIdWhileTheCameraIsOpen) {
    int value = 0;
    ASSERT_EQ(settings->GetRegVal(&value, 0x00), S_OK);
    EXPECT_EQ(value, 0x8411); // chip version of sensor type 1
    ASSERT_EQ(settings->SetRegVal(0x60, 1234), S_OK);
    EXPECT_EQ(midsim_PeekRegister(0, 0x60), 1234);
    ASSERT_EQ(settings->GetRegVal(&value, 0x60), S_OK);
    EXPECT_EQ(value, 1234);
    int serial = 0;
    ASSERT_EQ(settings->GetCamSN(&serial), S_OK);
    EXPECT_EQ(serial, 20240001);
}

// One thread of the many-threads test: changes and reads gain and grid.
struct SettingsHammer {
    ICameraSettings *settings;
    std::atomic<int> badReads{0};

    static DWORD WINAPI Run(void *argument) {
        auto *self = static_cast<SettingsHammer *>(argument);
        for (int i = 0; i < 300; ++i) {
            self->settings->SetGain(10 + i % 50);
            self->settings->SetGrid(i % 2 == 0, 2 + i % 3, 2 + i % 3);
            int gain = 0, columns = 0, rows = 0;
            CameraFlag enabled = false;
            self->settings->GetGain(&gain);
            self->settings->GetGrid(&enabled, &columns, &rows);
            if (gain < 10 || gain >= 60 || columns < 2 || columns > 4)
                ++self->badReads;
        }
        return 0;
    }
};

TEST_F(RunningTest, CallsFromManyThreadsAreSerialised) {
    // Four threads change and read settings while frames flow; every read
    // must see a value some thread wrote, and the stream must go on.
    SettingsHammer shared{settings};
    HANDLE threads[4];
    for (HANDLE &thread : threads)
        thread = CreateThread(nullptr, 0, &SettingsHammer::Run, &shared, 0, nullptr);
    EXPECT_LT(WaitForMultipleObjects(4, threads, TRUE, 30000), WAIT_OBJECT_0 + 4) << "threads still busy after 30 s";
    for (HANDLE thread : threads)
        CloseHandle(thread);
    EXPECT_EQ(shared.badReads, 0);
    ASSERT_EQ(settings->SetGrid(false, 2, 2), S_OK);
    Frame frame;
    ASSERT_TRUE(graph.FreshFrame(frame));
}

} // namespace
