// A soak of the filter in real Wine graphs: 200 pause/run/stop cycles with
// the engine's settings and the pins' format copies changing in between,
// every wait bounded, after which memory, handles and live COM objects are
// where they were and the module may be unloaded.
#include <cstdio>

#include "tests/filter/camera_graph.h"
#include "tests/filter/filter_test_support.h"
#include "tests/filter/oriscope_dll.h"

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
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    r.handles = handles;
    r.liveObjects = ComModule::LiveObjectCount();
    return r;
}

bool Succeeded(HRESULT result) {
    return result == S_OK || result == S_FALSE;
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
