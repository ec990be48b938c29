// The still pin in real Wine graphs: one full-size still per trigger,
// equal to the converter's picture of the camera's frame whatever the live
// mode, without time stamps and without costing the video pins their
// frames; IAMVideoControl's answers for every pin and the trigger queue's
// cap; and stops with a trigger pending or the pin waiting.
#include <iterator>
#include <string>
#include <vector>

#include "camera_settings.h"
#include "imaging/frame_converter.h"
#include "tests/filter/camera_graph.h"
#include "tests/filter/filter_test_support.h"

namespace {

// Published identifiers, written out so a wrong constant cannot agree with itself.
constexpr GUID kIidVideoControl = {0x6a2e0670, 0x28e4, 0x11d0, {0xa1, 0x8c, 0x00, 0xa0, 0xc9, 0x11, 0x89, 0x56}};
constexpr LONG kTrigger = 0x8;                                   // VideoControlFlag_Trigger
constexpr HRESULT kQueueFull = static_cast<HRESULT>(0x800700AA); // HRESULT_FROM_WIN32(ERROR_BUSY)

class StillPinTest : public FilterTest {
protected:
    void TearDown() override {
        graph.Release();
        videoControl.reset();
        settingsRef.reset();
        stillGrabber.reset();
        for (GrabberBranch *branch : {&captureBranch, &previewBranch, &stillBranch})
            branch->Release();
        FilterTest::TearDown();
    }
    // A filter for the camera `config` in a stopped graph with the still pin
    // and the video pins asked for connected; the still grabber keeps the last still.
    void Build(const char *config, bool capture, bool preview) {
        Configure(config);
        filter = NewFilter();
        ASSERT_EQ(BaseFilter(filter)->QueryInterface(IID_ICameraSettings, settingsRef.putVoid()), S_OK);
        settings = settingsRef.get();
        ASSERT_EQ(BaseFilter(filter)->QueryInterface(kIidVideoControl, videoControl.putVoid()), S_OK);
        ASSERT_EQ(graph.Create(), S_OK);
        ASSERT_EQ(graph.AddSource(BaseFilter(filter)), S_OK);
        const struct {
            CameraOutputPin *pin;
            GrabberBranch *branch;
            const wchar_t *name;
        } branches[] = {{capture ? filter->capturePin : nullptr, &captureBranch, L"Capture grabber"},
                        {preview ? filter->previewPin : nullptr, &previewBranch, L"Preview grabber"},
                        {filter->stillPin, &stillBranch, L"Still grabber"}};
        for (const auto &b : branches) {
            if (b.pin != nullptr) {
                ASSERT_EQ(graph.AddBranch(*b.branch, b.name), S_OK);
                ASSERT_EQ(graph.Connect(b.pin, *b.branch), S_OK);
            }
        }
        ASSERT_EQ(stillBranch.grabber.queryTo(kIidSampleGrabber, stillGrabber), S_OK);
        ASSERT_EQ(stillGrabber->SetBufferSamples(TRUE), S_OK);
    }
    HRESULT Trigger() { return videoControl->SetMode(filter->stillPin, kTrigger); }
    long Stills() const { return stillBranch.collector.samples; }
    // Runs the graph for `ms`, triggering `triggers` stills evenly within it.
    void RunFor(DWORD ms, int triggers) {
        ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
        for (int i = 0; i < triggers; ++i) {
            Sleep(ms / DWORD(triggers + 1));
            ASSERT_EQ(Trigger(), S_OK);
        }
        Sleep(ms - ms / DWORD(triggers + 1) * DWORD(triggers));
    }

    CaptureSourceFilter *filter = nullptr;
    ComPtr<ICameraSettings> settingsRef;
    ICameraSettings *settings = nullptr;
    ComPtr<IAMVideoControl> videoControl;
    ComPtr<ISampleGrabber> stillGrabber;
    CameraGraph graph;
    GrabberBranch captureBranch, previewBranch, stillBranch;
};

struct StillCase {
    const char *name;
    const char *camera;
    int liveMode;
    bool flipHorizontal, flipVertical;
    bool capturePin, previewPin;
    int width, height; // the sensor's full size
};

class StillPictureTest : public StillPinTest, public testing::WithParamInterface<StillCase> {};

// Three triggers while the video pins stream: exactly three stills, each the
// converter's full-size picture of the camera's (static) frame with the live
// flips, whatever size the video pins show.
TEST_P(StillPictureTest, EachTriggerGivesOneFullSizeStillOfTheNewestFrame) {
    const StillCase &c = GetParam();
    Build(c.camera, c.capturePin, c.previewPin);
    ASSERT_EQ(settings->SetFlipHorizontal(c.flipHorizontal), S_OK);
    ASSERT_EQ(settings->SetFlipVertical(c.flipVertical), S_OK);
    if (c.liveMode == kModeCustom) {
        ASSERT_EQ(settings->SetRegionEx(100, 60, 400, 300, 1, nullptr), S_OK);
    }
    ASSERT_EQ(settings->SetCaptureResolution(c.liveMode), S_OK);
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    if (c.previewPin) {
        ASSERT_TRUE(previewBranch.collector.WaitForSamples(2, 5000));
    }
    ConversionSettings full = ConversionSettings::FromEngine(filter->engine);
    full.resolutionMode = kModeFull;
    std::vector<std::uint8_t> raw = CurrentRawFrame();
    std::vector<std::uint8_t> expected(std::size_t(c.width) * std::size_t(c.height) * 4u), still(expected.size());
    CameraEngine scratch; // takes the colour-correction offsets the conversion learns
    FrameConverter::convert(scratch, full, raw.data(), expected.data(), c.width, c.height, filter->engine.RawStride());
    for (long i = 1; i <= 3; ++i) {
        ASSERT_EQ(Trigger(), S_OK);
        ASSERT_TRUE(stillBranch.collector.WaitForSamples(i, 5000)) << "still " << i << " did not come";
        long bytes = long(still.size());
        ASSERT_EQ(stillGrabber->GetCurrentBuffer(&bytes, reinterpret_cast<long *>(still.data())), S_OK);
        ASSERT_EQ(std::size_t(bytes), expected.size());
        std::size_t firstBad = 0;
        EXPECT_TRUE(SamePixels(still.data(), expected.data(), expected.size() / 4, &firstBad))
            << "still " << i << " differs first at pixel " << firstBad;
    }
    Sleep(300);
    EXPECT_EQ(Stills(), 3) << "a trigger gave more than one still";
    EXPECT_EQ(stillBranch.collector.untimed, 3) << "stills carry no time stamps";
}

INSTANTIATE_TEST_SUITE_P(LiveModes, StillPictureTest,
                         testing::Values(StillCase{"HalfLiveBothVideoPins", "pace=30 static=1", kModeHalf, true, false,
                                                   true, true, 1280, 1024},
                                         StillCase{"CustomRegionLivePreviewOnly", "pace=30 static=1 sensor=3",
                                                   kModeCustom, false, true, false, true, 2048, 1536},
                                         StillCase{"StillPinAlone", "pace=30 static=1 sensor=2", kModeFull, false,
                                                   false, false, false, 1600, 1200}),
                         [](const testing::TestParamInfo<StillCase> &row) { return std::string(row.param.name); });

// The same run length with and without stills, both video pins streaming.
// Each camera frame goes to whichever video pin asks first, and the
// free-running capture pin often wins the consumer lock, so each pin's own
// count swings widely from run to run; the frames they took between them
// (preview samples plus the capture pin's samples with a new frame) follow
// the camera. A still converts the frame the pins hold, so it should cost
// them no frame: the bound allows 15 % for the runs' start and end and the
// scheduling of two shared cores, less than the ~20 % a still pin that took
// a frame per still would cost. The capture pin's samples, bound by the
// processor that the stills and everything else on the machine share, must
// keep a third of their rate.
TEST_F(StillPinTest, StillsCostTheVideoPinsNoMoreThanNoise) {
    Build("pace=30 static=1", true, true);
    ComPtr<IAMDroppedFrames> captureStats;
    ASSERT_EQ(filter->capturePin->QueryInterface(IID_IAMDroppedFrames, captureStats.putVoid()), S_OK);
    struct Counts {
        long taken = 0, captureSamples = 0;
    };
    auto run = [&](int triggers) {
        previewBranch.collector.Clear();
        captureBranch.collector.Clear();
        RunFor(1500, triggers);
        EXPECT_TRUE(stillBranch.collector.WaitForSamples(triggers, 5000));
        graph.control->Stop();
        LONG newFrames = 0;
        EXPECT_EQ(captureStats->GetNumNotDropped(&newFrames), S_OK);
        return Counts{previewBranch.collector.samples + newFrames, captureBranch.collector.samples};
    };
    const Counts quiet = run(0);
    const Counts busy = run(10);
    EXPECT_EQ(Stills(), 10);
    EXPECT_GE(busy.taken * 100, quiet.taken * 85)
        << busy.taken << " frames taken with stills, " << quiet.taken << " without";
    EXPECT_GE(busy.captureSamples * 3, quiet.captureSamples)
        << busy.captureSamples << " capture samples with stills, " << quiet.captureSamples << " without";
}

// Stop returns promptly whether the still pin waits for a trigger or holds
// one it cannot serve yet (the camera delivers nothing), and a pending
// trigger is dropped: the next run does not deliver it.
TEST_F(StillPinTest, StopIsPromptAndDropsAPendingTrigger) {
    Build("pace=30 static=1", false, false);
    for (bool pending : {false, true}) {
        SCOPED_TRACE(pending ? "trigger pending" : "pin waiting");
        midsim_FailNextAcquires(0, 1000000000, 2);
        ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
        Sleep(100);
        if (pending) {
            ASSERT_EQ(Trigger(), S_OK);
            Sleep(50);
            LONG mode = 0;
            ASSERT_EQ(videoControl->GetMode(filter->stillPin, &mode), S_OK);
            EXPECT_EQ(mode, kTrigger) << "the trigger should wait for a frame";
        }
        const DWORD begin = GetTickCount();
        ASSERT_EQ(graph.control->Stop(), S_OK);
        EXPECT_LT(GetTickCount() - begin, 500u) << "Stop took too long";
        LONG mode = -1;
        ASSERT_EQ(videoControl->GetMode(filter->stillPin, &mode), S_OK);
        EXPECT_EQ(mode, 0);
        midsim_FailNextAcquires(0, 0, 2);
        ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
        Sleep(500);
        ASSERT_EQ(graph.control->Stop(), S_OK);
        EXPECT_EQ(Stills(), 0) << "a dropped trigger was delivered later";
    }
}

// Every IAMVideoControl method with valid, boundary, foreign and null
// arguments, stopped and running, and a burst of triggers. Only the preview
// and the still pin are connected; the capture pin answers as unconnected.
enum Method { kCaps, kSetMode, kGetMode, kCurrent, kMaximum, kList };
enum PinChoice { kCapture, kPreview, kStill, kForeign, kNoPin };
struct Row {
    Method method;
    PinChoice pin;
    LONG arg; // SetMode's flags, or the format index
    SIZE size;
    bool nullOut; // the out-pointer (GetFrameRateList: the count) is null
    HRESULT expected;
};
// The capture pin's formats are GetStreamCaps' (the sensor's sizes), not its default 1600 x 1200 type.
constexpr SIZE kFull{1280, 1024}, kDefaultCapture{1600, 1200}, kHalf{640, 512};
constexpr Row kAnyState[] = {
    {kCaps, kCapture, 0, {}, false, S_OK},
    {kCaps, kForeign, 0, {}, false, E_INVALIDARG},
    {kCaps, kNoPin, 0, {}, false, E_INVALIDARG},
    {kCaps, kStill, 0, {}, true, E_POINTER},
    {kSetMode, kPreview, kTrigger, {}, false, E_INVALIDARG},
    {kSetMode, kStill, 0x1, {}, false, E_INVALIDARG},
    {kSetMode, kStill, 0, {}, false, S_OK},
    {kSetMode, kCapture, 0, {}, false, S_OK},
    {kSetMode, kForeign, kTrigger, {}, false, E_INVALIDARG},
    {kGetMode, kForeign, 0, {}, false, E_INVALIDARG},
    {kGetMode, kStill, 0, {}, true, E_POINTER},
    {kCurrent, kCapture, 0, {}, false, VFW_E_NOT_CONNECTED},
    {kCurrent, kPreview, 0, {}, true, E_POINTER},
    {kMaximum, kCapture, 0, kFull, false, VFW_E_NOT_CONNECTED},
    {kMaximum, kCapture, 3, kFull, false, E_INVALIDARG},
    {kMaximum, kCapture, 0, kDefaultCapture, false, E_INVALIDARG},
    {kMaximum, kStill, 0, kHalf, false, E_INVALIDARG},
    {kMaximum, kPreview, 1, kFull, false, E_INVALIDARG},
    {kMaximum, kForeign, 0, kFull, false, E_INVALIDARG},
    {kMaximum, kStill, 0, kFull, true, E_POINTER},
    {kList, kStill, 0, kFull, true, E_POINTER},
    {kList, kStill, -1, kFull, false, E_INVALIDARG},
    {kList, kForeign, 0, kFull, false, E_INVALIDARG},
};
constexpr Row kStopped[] = {
    {kSetMode, kStill, kTrigger, {}, false, VFW_E_WRONG_STATE},
    {kCurrent, kPreview, 0, {}, false, VFW_E_NOT_RUNNING},
    {kMaximum, kStill, 0, kFull, false, VFW_E_NOT_RUNNING},
};

TEST_F(StillPinTest, VideoControlAnswersByTheDocumentation) {
    Build("pace=30 static=1", false, true);
    CaptureSourceFilter *other = NewFilter();
    IPin *pins[] = {filter->capturePin, filter->previewPin, filter->stillPin, other->stillPin, nullptr};
    IAMVideoControl *vc = videoControl.get();
    LONG value = -1, count = -1;
    LONGLONG rate = -1;
    LONGLONG *list = nullptr;
    auto call = [&](const Row &row) {
        IPin *pin = pins[row.pin];
        switch (row.method) {
        case kCaps:
            return vc->GetCaps(pin, row.nullOut ? nullptr : &value);
        case kSetMode:
            return vc->SetMode(pin, row.arg);
        case kGetMode:
            return vc->GetMode(pin, row.nullOut ? nullptr : &value);
        case kCurrent:
            return vc->GetCurrentActualFrameRate(pin, row.nullOut ? nullptr : &rate);
        case kMaximum:
            return vc->GetMaxAvailableFrameRate(pin, row.arg, row.size, row.nullOut ? nullptr : &rate);
        default:
            return vc->GetFrameRateList(pin, row.arg, row.size, row.nullOut ? nullptr : &count, &list);
        }
    };
    auto check = [&](const char *phase, const Row *rows, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            SCOPED_TRACE(testing::Message() << phase << " row " << i);
            EXPECT_EQ(call(rows[i]), rows[i].expected);
        }
    };
    check("stopped", kAnyState, std::size(kAnyState));
    check("stopped", kStopped, std::size(kStopped));
    ComPtr<IAMVideoControl> otherControl;
    ASSERT_EQ(BaseFilter(other)->QueryInterface(kIidVideoControl, otherControl.putVoid()), S_OK);
    EXPECT_EQ(otherControl->SetMode(other->stillPin, kTrigger), VFW_E_NOT_CONNECTED);

    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    ASSERT_TRUE(previewBranch.collector.WaitForSamples(15, 5000)); // the rate average fills
    check("running", kAnyState, std::size(kAnyState));
    const LONG caps[] = {0, 0, kTrigger};
    for (int pin : {kCapture, kPreview, kStill}) {
        ASSERT_EQ(vc->GetCaps(pins[pin], &value), S_OK);
        EXPECT_EQ(value, caps[pin]);
        ASSERT_EQ(vc->GetMode(pins[pin], &value), S_OK);
        EXPECT_EQ(value, 0) << "no still pending";
    }
    // The rates against the engine's own timing as ICameraSettings reports it.
    float framesPerSecond = 0;
    int exposureMs = 0, frameMs = 0;
    ASSERT_EQ(settings->GetFrameRate(&framesPerSecond), S_OK);
    ASSERT_EQ(settings->GetExposureTiming(&exposureMs, &frameMs), S_OK);
    ASSERT_EQ(vc->GetCurrentActualFrameRate(pins[kPreview], &rate), S_OK);
    const double measured = 1e7 / framesPerSecond;
    EXPECT_NEAR(double(rate), measured, measured / 5);
    LONGLONG maximum = 0;
    ASSERT_EQ(vc->GetMaxAvailableFrameRate(pins[kStill], 0, kFull, &maximum), S_OK);
    EXPECT_GE(maximum, frameMs * 10000LL);
    EXPECT_LT(maximum, (frameMs + 1) * 10000LL);
    ASSERT_EQ(vc->GetMaxAvailableFrameRate(pins[kPreview], 0, kFull, &rate), S_OK);
    EXPECT_EQ(rate, maximum);
    ASSERT_EQ(vc->GetFrameRateList(pins[kStill], 0, kFull, &count, nullptr), S_OK);
    EXPECT_EQ(count, 1);
    ASSERT_EQ(vc->GetFrameRateList(pins[kPreview], 0, kFull, &count, &list), S_OK);
    ASSERT_EQ(count, 1);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list[0], maximum);
    CoTaskMemFree(list);

    // More triggers at once than the queue holds: each accepted one gives
    // exactly one still, the others are refused as busy.
    long accepted = 0, refused = 0;
    for (int i = 0; i < 3 * StillPin::kMaxPendingStills; ++i) {
        const HRESULT result = Trigger();
        accepted += result == S_OK;
        refused += result == kQueueFull;
    }
    EXPECT_EQ(accepted + refused, 3 * StillPin::kMaxPendingStills) << "a trigger failed otherwise";
    EXPECT_GE(accepted, StillPin::kMaxPendingStills);
    ASSERT_TRUE(stillBranch.collector.WaitForSamples(accepted, 10000));
    Sleep(300);
    EXPECT_EQ(Stills(), accepted);
    graph.control->Stop();

    // Speed readout below full size delivers no full frame to make a still of.
    ASSERT_EQ(settings->SetQualityMode(false), S_OK);
    ASSERT_EQ(settings->SetCaptureResolution(kModeHalf), S_OK);
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    EXPECT_EQ(vc->SetMode(pins[kStill], kTrigger), VFW_E_WRONG_STATE);
}

} // namespace
