// The still pin in real Wine graphs: one full-size still per trigger,
// equal to the converter's picture of the camera's frame whatever the live
// mode, without time stamps and without costing the video pins their
// frames; IAMVideoControl's answers for every pin; the trigger queue's cap;
// and stops with a trigger pending or the pin waiting.
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "camera_settings.h"
#include "imaging/frame_converter.h"
#include "tests/filter/camera_graph.h"
#include "tests/filter/filter_test_support.h"

namespace {

// Published identifiers, written out so a wrong constant cannot agree with itself.
constexpr GUID kIidVideoControl = {0x6a2e0670, 0x28e4, 0x11d0, {0xa1, 0x8c, 0x00, 0xa0, 0xc9, 0x11, 0x89, 0x56}};
constexpr LONG kTrigger = 0x8;                                 // VideoControlFlag_Trigger
constexpr HRESULT kQueueFull = static_cast<HRESULT>(0x800700AA); // HRESULT_FROM_WIN32(ERROR_BUSY)

// Keeps a copy of every sample that reaches its grabber (stills are few).
class StillCollector : public GrabberCallback {
public:
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample *sample) override {
        REFERENCE_TIME start = 0, stop = 0;
        BYTE *data = nullptr;
        std::lock_guard<std::mutex> guard(lock);
        timed += sample->GetTime(&start, &stop) == S_OK;
        if (SUCCEEDED(sample->GetPointer(&data)))
            stills.emplace_back(data, data + sample->GetActualDataLength());
        ++count;
        return S_OK;
    }
    bool WaitFor(long wanted, DWORD timeoutMs) const {
        for (DWORD waited = 0; count < wanted; waited += 5) {
            if (waited >= timeoutMs)
                return false;
            Sleep(5);
        }
        return true;
    }
    std::vector<std::uint8_t> Still(std::size_t index) {
        std::lock_guard<std::mutex> guard(lock);
        return stills.at(index);
    }

    std::atomic<long> count{0};
    std::atomic<long> timed{0};

private:
    std::mutex lock;
    std::vector<std::vector<std::uint8_t>> stills;
};

class StillPinTest : public FilterTest {
protected:
    void TearDown() override {
        graph.Release();
        videoControl.reset();
        for (GrabberBranch *branch : {&captureBranch, &previewBranch, &stillBranch})
            branch->Release();
        FilterTest::TearDown();
    }
    // A filter for the camera `config` in a stopped graph, with the pins asked for connected.
    void Build(const char *config, bool capture, bool preview, bool still = true) {
        Configure(config);
        filter = NewFilter();
        settings = &filter->cameraSettings;
        ASSERT_EQ(BaseFilter(filter)->QueryInterface(kIidVideoControl, videoControl.putVoid()), S_OK);
        ASSERT_EQ(graph.Create(), S_OK);
        ASSERT_EQ(graph.AddSource(BaseFilter(filter)), S_OK);
        if (capture) {
            ASSERT_EQ(graph.AddBranch(captureBranch, L"Capture grabber"), S_OK);
            ASSERT_EQ(graph.Connect(filter->capturePin, captureBranch), S_OK);
        }
        if (preview) {
            ASSERT_EQ(graph.AddBranch(previewBranch, L"Preview grabber"), S_OK);
            ASSERT_EQ(graph.Connect(filter->previewPin, previewBranch), S_OK);
        }
        if (still) {
            ASSERT_EQ(graph.AddBranch(stillBranch, L"Still grabber"), S_OK);
            ComPtr<ISampleGrabber> grabber;
            ASSERT_EQ(stillBranch.grabber.queryTo(kIidSampleGrabber, grabber), S_OK);
            ASSERT_EQ(grabber->SetCallback(&stills, 0), S_OK);
            ASSERT_EQ(graph.Connect(filter->stillPin, stillBranch), S_OK);
        }
    }
    HRESULT Trigger() { return videoControl->SetMode(filter->stillPin, kTrigger); }
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
    ICameraSettings *settings = nullptr;
    ComPtr<IAMVideoControl> videoControl;
    CameraGraph graph;
    GrabberBranch captureBranch, previewBranch, stillBranch;
    StillCollector stills;
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
    for (long i = 1; i <= 3; ++i) {
        ASSERT_EQ(Trigger(), S_OK);
        ASSERT_TRUE(stills.WaitFor(i, 5000)) << "still " << i << " did not come";
    }
    Sleep(300);
    EXPECT_EQ(stills.count, 3) << "a trigger gave more than one still";
    EXPECT_EQ(stills.timed, 0) << "stills carry no time stamps";

    ConversionSettings full = ConversionSettings::FromEngine(filter->engine);
    full.resolutionMode = kModeFull;
    std::vector<std::uint8_t> raw = CurrentRawFrame();
    std::vector<std::uint8_t> expected(std::size_t(c.width) * std::size_t(c.height) * 4u);
    CameraEngine scratch; // takes the colour-correction offsets the conversion learns
    FrameConverter::convert(scratch, full, raw.data(), expected.data(), c.width, c.height, filter->engine.RawStride());
    for (std::size_t i = 0; i < 3; ++i) {
        const std::vector<std::uint8_t> still = stills.Still(i);
        ASSERT_EQ(still.size(), expected.size()) << "still " << i;
        std::size_t firstBad = 0;
        EXPECT_TRUE(SamePixels(still.data(), expected.data(), expected.size() / 4, &firstBad))
            << "still " << i << " differs first at pixel " << firstBad;
    }
}

INSTANTIATE_TEST_SUITE_P(
    LiveModes, StillPictureTest,
    testing::Values(StillCase{"HalfLiveBothVideoPins", "pace=30 static=1", kModeHalf, true, false, true, true, 1280, 1024},
                    StillCase{"CustomRegionLivePreviewOnly", "pace=30 static=1 sensor=3", kModeCustom, false, true,
                              false, true, 2048, 1536},
                    StillCase{"StillPinAlone", "pace=30 static=1 sensor=2", kModeFull, false, false, false, false,
                              1600, 1200}),
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
        EXPECT_TRUE(stills.WaitFor(triggers, 5000));
        graph.control->Stop();
        LONG newFrames = 0;
        EXPECT_EQ(captureStats->GetNumNotDropped(&newFrames), S_OK);
        return Counts{previewBranch.collector.samples + newFrames, captureBranch.collector.samples};
    };
    const Counts quiet = run(0);
    const Counts busy = run(10);
    EXPECT_EQ(stills.count, 10);
    EXPECT_GE(busy.taken * 100, quiet.taken * 85) << busy.taken << " frames taken with stills, " << quiet.taken
                                                  << " without";
    EXPECT_GE(busy.captureSamples * 3, quiet.captureSamples)
        << busy.captureSamples << " capture samples with stills, " << quiet.captureSamples << " without";
}

// More triggers at once than the queue holds: every accepted trigger gives
// exactly one still, the others are refused as busy.
TEST_F(StillPinTest, TriggerBurstIsQueuedUpToItsCap) {
    Build("pace=30 static=1", false, true);
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    ASSERT_TRUE(previewBranch.collector.WaitForSamples(2, 5000));
    long accepted = 0, refused = 0;
    for (int i = 0; i < 3 * StillPin::kMaxPendingStills; ++i) {
        const HRESULT result = Trigger();
        accepted += result == S_OK;
        refused += result == kQueueFull;
    }
    EXPECT_EQ(accepted + refused, 3 * StillPin::kMaxPendingStills) << "a trigger failed otherwise";
    EXPECT_GE(accepted, StillPin::kMaxPendingStills);
    ASSERT_TRUE(stills.WaitFor(accepted, 10000));
    Sleep(300);
    EXPECT_EQ(stills.count, accepted);
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
        EXPECT_EQ(stills.count, 0) << "a dropped trigger was delivered later";
    }
}

// Every IAMVideoControl method with valid, boundary, foreign and null
// arguments, stopped and running. Only the preview and the still pin are
// connected; the capture pin answers as an unconnected pin.
TEST_F(StillPinTest, VideoControlAnswersByTheDocumentation) {
    Build("pace=30 static=1", false, true);
    CaptureSourceFilter *other = NewFilter();
    ComPtr<IAMVideoControl> otherControl;
    ASSERT_EQ(BaseFilter(other)->QueryInterface(kIidVideoControl, otherControl.putVoid()), S_OK);
    IAMVideoControl *vc = videoControl.get();
    IPin *capture = filter->capturePin, *preview = filter->previewPin, *still = filter->stillPin;
    IPin *foreign = other->stillPin;
    const SIZE full{1280, 1024}, captureFull{1600, 1200}, half{640, 512};
    LONG value = -1, count = -1;
    LONGLONG rate = -1, maxRate = -1;
    LONGLONG *list = nullptr;

    struct Row {
        const char *name;
        std::function<HRESULT()> call;
        HRESULT expected;
        std::function<bool()> check; // the out value, when the call succeeds
    };
    auto is = [&](LONG expected) { return std::function<bool()>([&value, expected] { return value == expected; }); };
    auto check = [](const char *phase, const std::vector<Row> &rows) {
        for (const Row &row : rows) {
            SCOPED_TRACE(std::string(phase) + ": " + row.name);
            EXPECT_EQ(row.call(), row.expected);
            if (row.check && row.expected == S_OK) {
                EXPECT_TRUE(row.check());
            }
        }
    };
    const std::vector<Row> anyState = {
        {"caps of the still pin", [&] { return vc->GetCaps(still, &value); }, S_OK, is(kTrigger)},
        {"caps of a video pin", [&] { return vc->GetCaps(preview, &value); }, S_OK, is(0)},
        {"caps of an unconnected pin", [&] { return vc->GetCaps(capture, &value); }, S_OK, is(0)},
        {"caps of a foreign pin", [&] { return vc->GetCaps(foreign, &value); }, E_INVALIDARG, {}},
        {"caps of no pin", [&] { return vc->GetCaps(nullptr, &value); }, E_INVALIDARG, {}},
        {"caps without a result", [&] { return vc->GetCaps(still, nullptr); }, E_POINTER, {}},
        {"trigger on a video pin", [&] { return vc->SetMode(preview, kTrigger); }, E_INVALIDARG, {}},
        {"flip on the still pin", [&] { return vc->SetMode(still, 0x1); }, E_INVALIDARG, {}},
        {"no flags on the still pin", [&] { return vc->SetMode(still, 0); }, S_OK, {}},
        {"no flags on a video pin", [&] { return vc->SetMode(capture, 0); }, S_OK, {}},
        {"trigger on a foreign pin", [&] { return vc->SetMode(foreign, kTrigger); }, E_INVALIDARG, {}},
        {"trigger on an unconnected still pin", [&] { return otherControl->SetMode(foreign, kTrigger); },
         VFW_E_NOT_CONNECTED, {}},
        {"mode of the idle still pin", [&] { return vc->GetMode(still, &value); }, S_OK, is(0)},
        {"mode of a foreign pin", [&] { return vc->GetMode(foreign, &value); }, E_INVALIDARG, {}},
        {"mode without a result", [&] { return vc->GetMode(still, nullptr); }, E_POINTER, {}},
        {"current rate of an unconnected pin", [&] { return vc->GetCurrentActualFrameRate(capture, &rate); },
         VFW_E_NOT_CONNECTED, {}},
        {"current rate without a result", [&] { return vc->GetCurrentActualFrameRate(preview, nullptr); }, E_POINTER,
         {}},
        {"maximum of an unconnected pin", [&] { return vc->GetMaxAvailableFrameRate(capture, 0, captureFull, &rate); },
         VFW_E_NOT_CONNECTED, {}},
        {"maximum for a capture index past the last",
         [&] { return vc->GetMaxAvailableFrameRate(capture, 3, captureFull, &rate); }, E_INVALIDARG, {}},
        {"maximum for a size the pin does not offer",
         [&] { return vc->GetMaxAvailableFrameRate(still, 0, half, &rate); }, E_INVALIDARG, {}},
        {"maximum for a second preview format", [&] { return vc->GetMaxAvailableFrameRate(preview, 1, full, &rate); },
         E_INVALIDARG, {}},
        {"maximum of a foreign pin", [&] { return vc->GetMaxAvailableFrameRate(foreign, 0, full, &rate); },
         E_INVALIDARG, {}},
        {"maximum without a result", [&] { return vc->GetMaxAvailableFrameRate(still, 0, full, nullptr); }, E_POINTER,
         {}},
        {"list without a count", [&] { return vc->GetFrameRateList(still, 0, full, nullptr, &list); }, E_POINTER, {}},
        {"list for index -1", [&] { return vc->GetFrameRateList(still, -1, full, &count, &list); }, E_INVALIDARG, {}},
        {"list of a foreign pin", [&] { return vc->GetFrameRateList(foreign, 0, full, &count, &list); }, E_INVALIDARG,
         {}},
    };
    check("stopped", anyState);
    check("stopped", {
                         {"trigger while stopped", [&] { return vc->SetMode(still, kTrigger); }, VFW_E_WRONG_STATE, {}},
                         {"current rate while stopped", [&] { return vc->GetCurrentActualFrameRate(preview, &rate); },
                          VFW_E_NOT_RUNNING, {}},
                         {"maximum while stopped", [&] { return vc->GetMaxAvailableFrameRate(still, 0, full, &rate); },
                          VFW_E_NOT_RUNNING, {}},
                     });

    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    ASSERT_TRUE(previewBranch.collector.WaitForSamples(15, 5000)); // the rate average fills
    check("running", anyState);
    // The rates against the engine's own timing as ICameraSettings reports it.
    float framesPerSecond = 0;
    int exposureMs = 0, frameMs = 0;
    ASSERT_EQ(settings->GetFrameRate(&framesPerSecond), S_OK);
    ASSERT_EQ(settings->GetExposureTiming(&exposureMs, &frameMs), S_OK);
    ASSERT_GT(frameMs, 0);
    const LONGLONG measured = LONGLONG(1e7 / framesPerSecond);
    check("running",
          {
              {"current rate of the preview pin", [&] { return vc->GetCurrentActualFrameRate(preview, &rate); }, S_OK,
               [&] { return rate > measured * 8 / 10 && rate < measured * 12 / 10; }},
              {"maximum of the still pin", [&] { return vc->GetMaxAvailableFrameRate(still, 0, full, &maxRate); },
               S_OK, [&] { return maxRate >= frameMs * 10000LL && maxRate < (frameMs + 1) * 10000LL; }},
              {"maximum of the preview pin", [&] { return vc->GetMaxAvailableFrameRate(preview, 0, full, &rate); },
               S_OK, [&] { return rate == maxRate; }},
              {"list count only", [&] { return vc->GetFrameRateList(still, 0, full, &count, nullptr); }, S_OK,
               [&] { return count == 1; }},
              {"list", [&] { return vc->GetFrameRateList(preview, 0, full, &count, &list); }, S_OK,
               [&] {
                   const bool good = count == 1 && list != nullptr && list[0] == maxRate;
                   CoTaskMemFree(list);
                   return good;
               }},
          });
    graph.control->Stop();

    // Speed readout below full size delivers no full frame to make a still of.
    ASSERT_EQ(settings->SetQualityMode(false), S_OK);
    ASSERT_EQ(settings->SetCaptureResolution(kModeHalf), S_OK);
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    ASSERT_TRUE(previewBranch.collector.WaitForSamples(2, 5000));
    EXPECT_EQ(vc->SetMode(still, kTrigger), VFW_E_WRONG_STATE);
}

} // namespace
