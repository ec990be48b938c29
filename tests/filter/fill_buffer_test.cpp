// FillBuffer of both pins, called as the streaming thread calls it, into
// samples whose buffers end at an inaccessible page: the converted picture,
// the capture pin's time stamps, cropping of frames larger than the sample,
// the preview pin's end of stream and its still hand-off.
#include <cstdio>
#include <cstring>
#include <string>
#include <atomic>
#include <thread>

#include "camera_settings.h"
#include "imaging/still_image.h"
#include "tests/filter/camera_graph.h"
#include "tests/filter/filter_test_support.h"

namespace {

class FillBufferTest : public FilterTest {
protected:
    void SetUp() override {
        FilterTest::SetUp();
        filter = NewFilter();
        engine = &filter->engine;
    }
    void TearDown() override {
        engine->StopAcquisition();
        graph.Release();
        captureBranch.Release();
        previewBranch.Release();
        FilterTest::TearDown();
    }
    // Connects both pins to grabbers in a stopped Wine graph, with the pins'
    // format copies set to `mode` for `sensorType`.
    void Connect(int sensorType, int mode) {
        filter->previewPin->SetFormatSensorType(sensorType);
        filter->SetPinFormatMode(mode);
        ASSERT_EQ(graph.Create(), S_OK);
        ASSERT_EQ(graph.AddSource(BaseFilter(filter)), S_OK);
        ASSERT_EQ(graph.AddBranch(captureBranch, L"Capture grabber"), S_OK);
        ASSERT_EQ(graph.AddBranch(previewBranch, L"Preview grabber"), S_OK);
        ASSERT_EQ(graph.Connect(filter->capturePin, captureBranch), S_OK);
        ASSERT_EQ(graph.Connect(filter->previewPin, previewBranch), S_OK);
    }
    // Opens the camera with the engine's settings and starts acquisition,
    // as the filter's Pause does, without starting the pins' threads.
    void StartCamera() {
        ASSERT_TRUE(engine->Initialize());
        engine->StartAcquisition();
        ASSERT_TRUE(engine->IsRunning());
    }
    // The picture the converter makes of the camera's current (static) frame.
    std::vector<std::uint8_t> Expected() {
        return ExpectedPicture(CurrentRawFrame(), engine->frameWidth, engine->frameHeight, engine->RawStride(), engine);
    }

    CaptureSourceFilter *filter = nullptr;
    CameraEngine *engine = nullptr;
    CameraGraph graph;
    GrabberBranch captureBranch, previewBranch;
};

TEST_F(FillBufferTest, BothPinsConvertTheFrameAndOnlyTheCapturePinStampsIt) {
    engine->SetResolutionMode(kModeHalf);
    Connect(1, kModeHalf);
    StartCamera();
    ASSERT_EQ(engine->frameWidth, 640);
    const std::vector<std::uint8_t> expected = Expected();
    for (int i = 0; i < 3; ++i) {
        GuardedSample sample(640 * 512 * 4);
        ASSERT_EQ(filter->capturePin->FillBuffer(&sample), S_OK);
        std::size_t bad = 0;
        EXPECT_TRUE(SamePixels(sample.data(), expected.data(), 640 * 512, &bad)) << "pixel " << bad;
        ASSERT_TRUE(sample.timeSet);
        EXPECT_EQ(sample.start, REFERENCE_TIME(i) * 142857);
        EXPECT_EQ(sample.stop, REFERENCE_TIME(i + 1) * 142857);
        EXPECT_TRUE(sample.syncPoint);
    }
    EXPECT_EQ(filter->capturePin->FrameNumber(), 3);

    GuardedSample preview(640 * 512 * 4);
    ASSERT_EQ(filter->previewPin->FillBuffer(&preview), S_OK);
    std::size_t bad = 0;
    EXPECT_TRUE(SamePixels(preview.data(), expected.data(), 640 * 512, &bad)) << "pixel " << bad;
    EXPECT_FALSE(preview.timeSet);
    EXPECT_TRUE(preview.syncPoint);
    EXPECT_EQ(filter->capturePin->CroppedSamples() + filter->previewPin->CroppedSamples(), 0);
}

TEST_F(FillBufferTest, CapturePinRepeatsItsPictureUntilTheFrameOrASettingChanges) {
    ComPtr<ICameraSettings> settings;
    ASSERT_EQ(BaseFilter(filter)->QueryInterface(IID_ICameraSettings, settings.putVoid()), S_OK);
    Connect(1, kModeFull);
    StartCamera();
    CapturePin *pin = filter->capturePin;
    const LONG bytes = 1280 * 1024 * 4;
    GuardedSample sample(bytes);
    ASSERT_EQ(pin->FillBuffer(&sample), S_OK);
    // No camera frame from here on; a frame already published may still be taken once.
    midsim_SetUnplugAfter(0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !engine->IsRunning(); }, 5000));
    ASSERT_EQ(pin->FillBuffer(&sample), S_OK);
    // The (static) frame the buffer holds; a gain change alters only frames to come.
    const std::vector<std::uint8_t> raw = CurrentRawFrame();

    // What each change does to the next two samples: the first is converted
    // again unless the change leaves the picture alone, the second repeats.
    struct Change {
        const char *name;
        HRESULT (*apply)(ICameraSettings *settings);
        bool picture;
    };
    const Change changes[] = {
        {"none", [](ICameraSettings *) { return S_OK; }, false},
        {"gain (a sensor setting: the frame is the same)", [](ICameraSettings *s) { return s->SetGain(40); }, false},
        {"horizontal flip", [](ICameraSettings *s) { return s->SetFlipHorizontal(1); }, true},
        {"monochrome", [](ICameraSettings *s) { return s->SetMonochrome(1); }, true},
        {"grid", [](ICameraSettings *s) { return s->SetGrid(1, 3, 2); }, true},
    };
    for (const Change &change : changes) {
        SCOPED_TRACE(change.name);
        ASSERT_EQ(change.apply(settings.get()), S_OK);
        const std::vector<std::uint8_t> expected = ExpectedPicture(raw, 1280, 1024, engine->RawStride(), engine);
        for (int i = 0; i < 2; ++i) {
            const long repeated = pin->RepeatedSamples();
            std::memset(sample.data(), 0x5A, std::size_t(bytes));
            ASSERT_EQ(pin->FillBuffer(&sample), S_OK);
            EXPECT_EQ(pin->RepeatedSamples() - repeated, i == 0 && change.picture ? 0 : 1) << "sample " << i;
            std::size_t bad = 0;
            EXPECT_TRUE(SamePixels(sample.data(), expected.data(), 1280 * 1024, &bad))
                << "sample " << i << " pixel " << bad;
        }
    }
}

TEST_F(FillBufferTest, PreviewPinGetsTheFrameTheCapturePinTookFirst) {
    Connect(1, kModeFull);
    StartCamera();
    const std::vector<std::uint8_t> expected = Expected();
    GuardedSample sample(1280 * 1024 * 4);
    midsim_SetUnplugAfter(0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !engine->IsRunning(); }, 5000));
    // The capture pin takes the last frame the camera published; none follows.
    ASSERT_EQ(filter->capturePin->FillBuffer(&sample), S_OK);
    const DWORD begin = GetTickCount();
    ASSERT_EQ(filter->previewPin->FillBuffer(&sample), S_OK) << "the preview pin lost the frame";
    EXPECT_LT(GetTickCount() - begin, 1000u) << "the preview pin waited for a new frame";
    std::size_t bad = 0;
    EXPECT_TRUE(SamePixels(sample.data(), expected.data(), 1280 * 1024, &bad)) << "pixel " << bad;
}

TEST_F(FillBufferTest, UnconnectedPinLeavesTheSampleAlone) {
    StartCamera();
    GuardedSample sample(64);
    EXPECT_EQ(filter->capturePin->FillBuffer(&sample), S_OK);
    EXPECT_EQ(filter->previewPin->FillBuffer(&sample), S_OK);
    EXPECT_FALSE(sample.timeSet);
    EXPECT_FALSE(sample.syncPoint);
    EXPECT_EQ(sample.data()[0], 0xA5);
    EXPECT_EQ(filter->capturePin->FrameNumber(), 0);
    EXPECT_EQ(filter->capturePin->FillBuffer(nullptr), S_OK) << "an unconnected pin checks nothing else";
}

TEST_F(FillBufferTest, NullSampleIsAPointerError) {
    Connect(1, kModeFull);
    StartCamera();
    EXPECT_EQ(filter->capturePin->FillBuffer(nullptr), E_POINTER);
    EXPECT_EQ(filter->previewPin->FillBuffer(nullptr), E_POINTER);
}

TEST_F(FillBufferTest, FrameLargerThanTheSampleIsCroppedToTheConnectionType) {
    // The capture pin offers 1600 x 1200 in Full, but this camera delivers 2048 x 1536.
    Configure("pace=free static=1 sensor=3");
    ASSERT_EQ(engine->DetectSensorType(), 3);
    Connect(3, kModeFull);
    StartCamera();
    ASSERT_EQ(engine->frameWidth, 2048);
    const std::vector<std::uint8_t> expected = Expected();

    GuardedSample sample(1600 * 1200 * 4);
    ASSERT_EQ(filter->capturePin->FillBuffer(&sample), S_OK);
    EXPECT_EQ(filter->capturePin->CroppedSamples(), 1);
    for (int row = 0; row < 1200; row += 97) {
        std::size_t bad = 0;
        EXPECT_TRUE(SamePixels(sample.data() + row * 1600 * 4, expected.data() + row * 2048 * 4, 1600, &bad))
            << "row " << row << " pixel " << bad;
    }
    EXPECT_EQ(sample.start, 0);

    // A sample smaller than its own connection type is filled only as far as it goes.
    GuardedSample tiny(1000);
    ASSERT_EQ(filter->capturePin->FillBuffer(&tiny), S_OK);
    EXPECT_EQ(filter->capturePin->CroppedSamples(), 2);
    GuardedSample previewTiny(7);
    ASSERT_EQ(filter->previewPin->FillBuffer(&previewTiny), S_OK);
}

TEST_F(FillBufferTest, PreviewTypeBehindTheSettingIsCropped) {
    // Connected at Quarter; the engine then opens the camera in Full.
    Connect(1, kModeQuarter);
    StartCamera();
    ASSERT_EQ(engine->frameWidth, 1280);
    const std::vector<std::uint8_t> expected = Expected();
    GuardedSample sample(320 * 256 * 4);
    ASSERT_EQ(filter->previewPin->FillBuffer(&sample), S_OK);
    EXPECT_EQ(filter->previewPin->CroppedSamples(), 1);
    for (int row = 0; row < 256; ++row) {
        std::size_t bad = 0;
        ASSERT_TRUE(SamePixels(sample.data() + row * 320 * 4, expected.data() + row * 1280 * 4, 320, &bad))
            << "row " << row << " pixel " << bad;
    }
}

TEST_F(FillBufferTest, PreviewEndsItsStreamAfterTwoSecondsWithoutFrames) {
    Connect(1, kModeFull);
    StartCamera();
    GuardedSample sample(1280 * 1024 * 4);
    ASSERT_EQ(filter->previewPin->FillBuffer(&sample), S_OK) << "frames arrive while the camera is plugged in";
    midsim_SetUnplugAfter(0, 0);
    // A frame may still be waiting; after it, the pin waits about two seconds in vain.
    HRESULT result = S_OK;
    DWORD took = 0;
    for (int i = 0; i < 3 && result == S_OK; ++i) {
        const DWORD begin = GetTickCount();
        result = filter->previewPin->FillBuffer(&sample);
        took = GetTickCount() - begin;
    }
    EXPECT_EQ(result, S_FALSE);
    EXPECT_GE(took, 1900u) << "the pin gave up before 2000 sleeps of 1 ms";
    // The capture pin never waits: it repeats the frame it has.
    EXPECT_EQ(filter->capturePin->FillBuffer(&sample), S_OK);
}

TEST_F(FillBufferTest, PreviewPinServesAStillFromTheFrameItConverted) {
    Connect(1, kModeFull);
    StartCamera();
    const std::string path = testing::TempDir() + "oriscope-filter-still.bmp";
    std::remove(path.c_str());
    std::atomic<bool> requesterDone{false};
    std::thread requester([&] {
        engine->CaptureStillToFile(path.c_str());
        requesterDone = true;
    });
    GuardedSample sample(1280 * 1024 * 4);
    const bool served = WaitUntil(
        [&] {
            EXPECT_EQ(filter->previewPin->FillBuffer(&sample), S_OK);
            return requesterDone.load();
        },
        8000);
    requester.join();
    ASSERT_TRUE(served);
    FILE *file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr) << "no still file";
    std::fseek(file, 0, SEEK_END);
    EXPECT_EQ(std::uint64_t(std::ftell(file)), BmpFileSize(1280, 1024));
    std::fclose(file);
    std::remove(path.c_str());
}

TEST_F(FillBufferTest, CapturePinNeverServesAStill) {
    Connect(1, kModeFull);
    StartCamera();
    engine->stillTimeoutMs = 300;
    const std::string path = testing::TempDir() + "oriscope-filter-unserved.bmp";
    std::remove(path.c_str());
    std::atomic<bool> requesterDone{false};
    std::thread requester([&] {
        engine->CaptureStillToFile(path.c_str());
        requesterDone = true;
    });
    GuardedSample sample(1280 * 1024 * 4);
    EXPECT_TRUE(WaitUntil(
        [&] {
            EXPECT_EQ(filter->capturePin->FillBuffer(&sample), S_OK);
            return requesterDone.load();
        },
        5000));
    requester.join();
    FILE *file = std::fopen(path.c_str(), "rb");
    EXPECT_EQ(file, nullptr) << "the capture pin wrote a still";
    if (file != nullptr)
        std::fclose(file);
}

TEST_F(FillBufferTest, ConversionHoldsTheConsumerBuffer) {
    // While another consumer holds the engine's consumer lock, a pin can
    // neither exchange nor convert the shared consumer buffer.
    Connect(1, kModeFull);
    StartCamera();
    GuardedSample sample(1280 * 1024 * 4);
    std::atomic<bool> filled{false};
    engine->consumerLock.enter();
    std::thread pin([&] {
        filter->capturePin->FillBuffer(&sample);
        filled = true;
    });
    Sleep(150);
    EXPECT_FALSE(filled);
    engine->consumerLock.leave();
    EXPECT_TRUE(WaitUntil([&] { return filled.load(); }, 5000));
    pin.join();
}

} // namespace
