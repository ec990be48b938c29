// A soak of the filter in real Wine graphs: 200 pause/run/stop cycles with
// the engine's settings and the pins' format copies changing in between;
// and cycles in which the camera is unplugged mid-stream and comes back while
// another thread changes settings and the property page is open. Every wait
// is bounded; afterwards memory, handles and live COM objects are where they
// were and the module may be unloaded.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "control/camera_page_resource.h"
#include "camera_settings.h"
#include "tests/control/window_driver.h"
#include "tests/filter/camera_graph.h"
#include "tests/filter/filter_test_support.h"
#include "tests/support/helper_thread.h"
#include "tests/filter/oriscope_dll.h"
#include "tests/support/process_handles.h"

#include <psapi.h> // after windows.h

namespace {

struct Resources {
    long long privateBytes = 0; // committed private memory
    long long handles = 0;
    long liveObjects = 0;
};

Resources Measure() {
    Resources r;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&counters),
                             sizeof counters))
        r.privateBytes = static_cast<long long>(counters.PagefileUsage); // Wine reports PrivateUsage as 0
    r.handles = CountHandles();
    r.liveObjects = ComModule::LiveObjectCount();
    return r;
}

bool Succeeded(HRESULT result) {
    return result == S_OK || result == S_FALSE;
}

inline constexpr GUID kIidCameraSettings = {
    0xe5d66f6d, 0x3d28, 0x4982, {0xaf, 0x6e, 0xd6, 0x4d, 0x29, 0x53, 0x38, 0x37}};

// Changes settings until `done` as an application and a person at the page
// would: through ICameraSettings, IAMVideoProcAmp and IAMCameraControl, and
// (when `page` is given) the page's gain box. Returns the first call that
// failed, empty when none did.
std::string ChangeSettingsUntil(const std::atomic<bool> &done, IBaseFilter *filter, HWND page, long &rounds) {
    ComPtr<ICameraSettings> s;
    ComPtr<IAMVideoProcAmp> procAmp;
    ComPtr<IAMCameraControl> cameraControl;
    if (filter->QueryInterface(kIidCameraSettings, s.putVoid()) != S_OK ||
        filter->QueryInterface(IID_IAMVideoProcAmp, procAmp.putVoid()) != S_OK ||
        filter->QueryInterface(IID_IAMCameraControl, cameraControl.putVoid()) != S_OK)
        return "a settings interface is missing";
    LONG shortest = 0, longest = 0, step = 0, byDefault = 0, caps = 0;
    if (cameraControl->GetRange(CameraControl_Exposure, &shortest, &longest, &step, &byDefault, &caps) != S_OK)
        return "IAMCameraControl::GetRange(Exposure) failed";
    for (int i = 0; !done; ++i, ++rounds) {
        float rate = 0.0f;
        LONG value = 0, flags = 0;
        const struct {
            const char *what;
            HRESULT result;
        } calls[] = {
            {"SetGain", s->SetGain(i % 100)},
            {"SetFlipHorizontal", s->SetFlipHorizontal(i % 2 == 0)},
            {"SetFlipVertical", s->SetFlipVertical(i % 3 == 0)},
            {"SetQualityMode", s->SetQualityMode(i % 4 != 1)},
            {"SetMonochrome", s->SetMonochrome(i % 5 == 0)},
            {"SetAutoColor", s->SetAutoColor(i % 7 == 0)},
            {"SetCaptureResolution", s->SetCaptureResolution(i % 3)},
            {"GetFrameRate", s->GetFrameRate(&rate)},
            {"IAMVideoProcAmp::Set", procAmp->Set(VideoProcAmp_Gain, (i * 7) % 100, VideoProcAmp_Flags_Manual)},
            // Short exposures only: a long one would slow the frames down.
            {"IAMCameraControl::Set",
             cameraControl->Set(CameraControl_Exposure, shortest + i % 2, CameraControl_Flags_Manual)},
            {"IAMCameraControl::Get", cameraControl->Get(CameraControl_Exposure, &value, &flags)},
        };
        for (const auto &call : calls)
            if (call.result != S_OK)
                return std::string(call.what) + " returned " + std::to_string(call.result);
        if (page != nullptr && i % 8 == 0) {
            SetText(GetDlgItem(page, IDC_GAIN), std::to_wstring(i % 100).c_str());
            Click(GetDlgItem(page, IDC_GAIN_SET)); // returns when the page has set it
        }
        Sleep(2); // two cores: leave the stream threads their share
    }
    return {};
}

class SoakTest : public FilterTest {
protected:
    void TearDown() override {
        graph.Release();
        captureBranch.Release();
        previewBranch.Release();
        FilterTest::TearDown();
    }
    void BuildGraph(IBaseFilter *filter) {
        ASSERT_EQ(graph.Create(), S_OK);
        ASSERT_EQ(graph.AddSource(filter), S_OK);
        ASSERT_EQ(graph.AddBranch(previewBranch, L"Preview grabber"), S_OK);
        ASSERT_EQ(graph.AddBranch(captureBranch, L"Capture grabber"), S_OK);
        ASSERT_EQ(graph.Render(PIN_CATEGORY_PREVIEW, previewBranch), S_OK);
        ASSERT_EQ(graph.Render(PIN_CATEGORY_CAPTURE, captureBranch), S_OK);
    }
    // Pause, run (with a pause in between on some cycles) and stop, waiting
    // each time for samples to flow.
    void StateCycle(int i) {
        const long preview = previewBranch.collector.samples;
        ASSERT_TRUE(Succeeded(graph.control->Pause())) << "cycle " << i;
        // A paused renderer takes one sample and holds it.
        ASSERT_TRUE(previewBranch.collector.WaitForSamples(preview + 1, 5000)) << "cycle " << i;
        ASSERT_TRUE(Succeeded(graph.control->Run())) << "cycle " << i;
        ASSERT_TRUE(previewBranch.collector.WaitForSamples(preview + 3, 5000)) << "cycle " << i;
        const long capture = captureBranch.collector.samples;
        ASSERT_TRUE(captureBranch.collector.WaitForSamples(capture + 2, 5000)) << "cycle " << i;
        if (i % 3 == 0) {
            ASSERT_TRUE(Succeeded(graph.control->Pause())) << "cycle " << i;
            ASSERT_TRUE(Succeeded(graph.control->Run())) << "cycle " << i;
        }
        ASSERT_EQ(graph.control->Stop(), S_OK) << "cycle " << i;
        ASSERT_EQ(midsim_OpenRecords(), 0) << "cycle " << i;
    }
    // Run, frames flow on both pins, the camera is unplugged after a few more
    // frames, the application stops the graph, and the camera comes back.
    // Every fourth cycle waits first for the preview stream to end, which
    // takes its two seconds without a frame; the others stop while the
    // preview pin is still waiting. (The capture pin repeats its last frame
    // while no new one comes, so only the preview's renderer reports the
    // end: the test takes EC_COMPLETE from each renderer, not the graph's
    // sum of them.)
    void UnplugCycle(int i) {
        ASSERT_TRUE(Succeeded(graph.control->Run())) << "cycle " << i;
        ASSERT_TRUE(previewBranch.collector.WaitForSamples(previewBranch.collector.samples + 3, 5000)) << "cycle " << i;
        ASSERT_TRUE(captureBranch.collector.WaitForSamples(captureBranch.collector.samples + 2, 5000)) << "cycle " << i;
        midsim_SetUnplugAfter(0, i % 3);
        if (i % 4 == 0) {
            ASSERT_TRUE(graph.WaitForEvent(EC_COMPLETE, 10000)) << "no end of stream after the unplug, cycle " << i;
            const long ended = previewBranch.collector.samples;
            Sleep(50);
            EXPECT_EQ(previewBranch.collector.samples, ended) << "frames after the end of stream, cycle " << i;
        } else {
            Sleep(100);
        }
        ASSERT_EQ(graph.control->Stop(), S_OK) << "cycle " << i;
        ASSERT_EQ(midsim_OpenRecords(), 0) << "cycle " << i;
        midsim_SetUnplugAfter(0, -1); // plugged in again: the next open finds it
    }
    // Settings as the control interface changes them, under the settings lock.
    static void ChangeSettings(CaptureSourceFilter *filter, int i) {
        platform::Lock settings(filter->settingsLock);
        CameraEngine &engine = filter->engine;
        engine.SetResolutionMode(i % 3);
        filter->SetPinFormatMode(i % 3); // the connections keep their types
        engine.SetQualityMode(i % 4 != 1);
        engine.SetGain(i * 7);
        engine.SetHorizontalFlip(i % 2 == 0);
        engine.SetVerticalFlip(i % 3 == 0);
        engine.SetMonochrome(i % 5 == 0);
        engine.SetAutoColor(i % 7 == 0);
    }

    CameraGraph graph;
    GrabberBranch captureBranch, previewBranch;
};

TEST_F(SoakTest, TwoHundredCyclesWithSettingsChanging) {
    Configure("pace=120 noise=3");
    CaptureSourceFilter *filter = NewFilter();
    // Connected at Half: Full frames are then larger than the preview's type.
    filter->SetPinFormatMode(kModeHalf);
    BuildGraph(BaseFilter(filter));
    ASSERT_FALSE(HasFatalFailure());

    constexpr int kWarmUp = 20, kCycles = 200;
    Resources before;
    const DWORD begin = GetTickCount();
    for (int i = 0; i < kCycles; ++i) {
        if (i == kWarmUp)
            before = Measure();
        ChangeSettings(filter, i);
        StateCycle(i);
        if (HasFatalFailure())
            return;
        {
            // Settings that act at once, changed while stopped and at the next run.
            platform::Lock settings(filter->settingsLock);
            filter->engine.SetGain(i);
        }
    }
    const Resources after = Measure();
    std::printf("%d cycles in %lu ms: %+lld private bytes, %+lld handles, %+ld live objects since cycle %d; "
                "%ld preview and %ld capture samples, %ld preview samples cropped\n",
                kCycles, GetTickCount() - begin, after.privateBytes - before.privateBytes,
                after.handles - before.handles, after.liveObjects - before.liveObjects, kWarmUp,
                long(previewBranch.collector.samples), long(captureBranch.collector.samples),
                filter->previewPin->CroppedSamples());
    // A frame buffer or a sample buffer leaked per cycle would add hundreds of megabytes.
    EXPECT_LT(after.privateBytes - before.privateBytes, 16LL << 20);
    EXPECT_LE(after.handles - before.handles, 4);
    EXPECT_EQ(after.liveObjects, before.liveObjects);
    EXPECT_GT(filter->previewPin->CroppedSamples(), 0) << "no cycle sent a frame larger than the preview's type";

    graph.Release();
    captureBranch.Release();
    previewBranch.Release();
}

TEST_F(SoakTest, UnplugAndReturnWithSettingsChangingAndThePageOpen) {
    Configure("pace=120 noise=3");
    OriscopeDll dll; // the page comes from the registered module, as a property frame finds it
    ASSERT_TRUE(dll.Load());
    ASSERT_EQ(dll.DllRegisterServer(), S_OK);
    CaptureSourceFilter *filter = NewFilter();
    filter->SetPinFormatMode(kModeHalf);
    BuildGraph(BaseFilter(filter));
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(graph.events->CancelDefaultHandling(EC_COMPLETE), S_OK);

    // The page in the system's property frame on a thread of its own, when
    // there is a display to show it on.
    const char *display = std::getenv("DISPLAY");
    HRESULT shown = S_OK;
    HelperThread frameThread([&] {
        if (display == nullptr || *display == '\0')
            return;
        OleInitialize(nullptr);
        IUnknown *objects[] = {BaseFilter(filter)};
        CLSID pageClasses[] = {kClsidPage};
        shown = OleCreatePropertyFrame(nullptr, 40, 40, L"Oriscope", 1, objects, 1, pageClasses, 0, 0, nullptr);
        OleUninitialize();
    });
    HWND frame = nullptr, page = nullptr;
    if (display != nullptr && *display != '\0') {
        frame = WaitForWindowWithControl(IDC_GAIN, 15000);
        ASSERT_NE(frame, nullptr) << "the property frame with the camera page did not appear";
        page = GetParent(FindDescendant(frame, IDC_GAIN));
    } else {
        std::printf("no display: the soak runs without the property page\n");
    }

    std::atomic<bool> done{false};
    std::string settingsProblem;
    long settingsRounds = 0;
    HelperThread settingsThread(
        [&] { settingsProblem = ChangeSettingsUntil(done, BaseFilter(filter), page, settingsRounds); });

    constexpr int kWarmUp = 4, kCycles = 24;
    Resources before;
    const DWORD begin = GetTickCount();
    for (int i = 0; i < kCycles && !HasFatalFailure(); ++i) {
        if (i == kWarmUp)
            before = Measure();
        UnplugCycle(i);
    }
    if (!HasFatalFailure()) {
        // Back after the last unplug: frames flow once more. (No ASSERT
        // before the settings thread is told to end.)
        EXPECT_TRUE(Succeeded(graph.control->Run()));
        EXPECT_TRUE(previewBranch.collector.WaitForSamples(previewBranch.collector.samples + 3, 5000));
        EXPECT_TRUE(captureBranch.collector.WaitForSamples(captureBranch.collector.samples + 2, 5000));
        EXPECT_EQ(graph.control->Stop(), S_OK);
    }
    const DWORD elapsed = GetTickCount() - begin;
    done = true;
    ASSERT_TRUE(settingsThread.Join(10000)) << "the settings thread is stuck";
    EXPECT_EQ(settingsProblem, "");
    const Resources after = Measure();
    if (frame != nullptr)
        PostMessageW(frame, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(frameThread.Join(10000)) << "the property frame did not close";
    EXPECT_EQ(shown, S_OK);
    ASSERT_FALSE(HasFatalFailure());

    std::printf("%d unplug cycles in %lu ms with %ld settings rounds%s: %lld private bytes (%+lld), %lld handles "
                "(%+lld), %+ld live objects since cycle %d; %ld preview and %ld capture samples\n",
                kCycles, elapsed, settingsRounds, page != nullptr ? " and the page open" : "", after.privateBytes,
                after.privateBytes - before.privateBytes, after.handles, after.handles - before.handles,
                after.liveObjects - before.liveObjects, kWarmUp, long(previewBranch.collector.samples),
                long(captureBranch.collector.samples));
    EXPECT_LT(after.privateBytes - before.privateBytes, 16LL << 20);
    EXPECT_LE(after.handles - before.handles, 4);
    EXPECT_EQ(after.liveObjects, before.liveObjects);

    graph.Release();
    captureBranch.Release();
    previewBranch.Release();
    EXPECT_EQ(dll.DllCanUnloadNow(), S_OK) << "the page or a factory of the module is still alive";
}

TEST_F(SoakTest, CyclesThroughTheModuleLeaveItUnloadable) {
    Configure("pace=120");
    OriscopeDll dll;
    ASSERT_TRUE(dll.Load());
    {
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(dll.DllGetClassObject(kClsidFilter, IID_IClassFactory, factory.putVoid()), S_OK);
        ComPtr<IBaseFilter> filter;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, filter.putVoid()), S_OK);
        BuildGraph(filter.get());
        ASSERT_FALSE(HasFatalFailure());
        for (int i = 0; i < 30; ++i) {
            if (i % 10 == 5)
                midsim_FailNextAcquires(0, 3, 5); // a few failed grabs between frames
            StateCycle(i);
            if (HasFatalFailure())
                return;
        }
        EXPECT_EQ(dll.DllCanUnloadNow(), S_FALSE) << "the filter is still alive";
        graph.Release();
        captureBranch.Release();
        previewBranch.Release();
    }
    EXPECT_EQ(dll.DllCanUnloadNow(), S_OK);
}

} // namespace
