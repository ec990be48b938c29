// End to end through Wine's own DirectShow: regsvr32 registers Oriscope.dll,
// the system device enumerator lists and binds "Orvex Oriscope capture", the
// capture graph builder renders its preview and capture pins into sample
// grabbers, and the pictures, sizes and time stamps that arrive are checked;
// unregistering removes every entry again.
#include "tests/filter/camera_graph.h"
#include "tests/filter/filter_test_support.h"
#include "tests/filter/oriscope_dll.h"

namespace {

constexpr int kWidth = 1280, kHeight = 1024; // the default camera at Full

class DeviceGraphTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { registered = RunRegsvr32(L"/s") == 0; }
    static void TearDownTestSuite() { RunRegsvr32(L"/u /s"); }

    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        ASSERT_TRUE(registered) << "regsvr32 could not register Oriscope.dll";
        ASSERT_EQ(midsim_Configure("pace=60 static=1"), 0);
    }
    void TearDown() override {
        graph.Release();
        captureBranch.Release();
        previewBranch.Release();
        CoFreeUnusedLibraries();
        // Everything of the module is released: it may be unloaded.
        if (HMODULE module = GetModuleHandleW(L"Oriscope.dll")) {
            auto canUnload = ModuleExport<OriscopeDll::NoArgumentFn>(module, "DllCanUnloadNow");
            ASSERT_NE(canUnload, nullptr);
            EXPECT_EQ(canUnload(), S_OK);
        }
        EXPECT_EQ(midsim_OpenRecords(), 0);
        CoUninitialize();
    }
    // Binds the device and renders both pins by category into grabbers.
    void BuildGraph() {
        ComPtr<IMoniker> device = FindVideoInputDevice(L"Orvex Oriscope capture");
        ASSERT_TRUE(device) << "the device enumerator does not list the filter";
        ComPtr<IBaseFilter> filter;
        ASSERT_EQ(device->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.putVoid()), S_OK);
        ASSERT_EQ(graph.Create(), S_OK);
        ASSERT_EQ(graph.AddSource(filter.get()), S_OK);
        ASSERT_EQ(graph.AddBranch(previewBranch, L"Preview grabber"), S_OK);
        ASSERT_EQ(graph.AddBranch(captureBranch, L"Capture grabber"), S_OK);
        const HRESULT preview = graph.Render(PIN_CATEGORY_PREVIEW, previewBranch);
        EXPECT_TRUE(preview == S_OK || preview == VFW_S_NOPREVIEWPIN) << std::hex << preview;
        ASSERT_EQ(graph.Render(PIN_CATEGORY_CAPTURE, captureBranch), S_OK);
    }
    static bool Succeeded(HRESULT result) { return result == S_OK || result == S_FALSE; }

    static inline bool registered = false;
    CameraGraph graph;
    GrabberBranch captureBranch, previewBranch;
};

TEST_F(DeviceGraphTest, DeviceEnumeratorListsAndBindsTheFilter) {
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, DeviceEntryKey()));
    ComPtr<IMoniker> device = FindVideoInputDevice(L"Orvex Oriscope capture");
    ASSERT_TRUE(device);
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(device->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.putVoid()), S_OK);
    CLSID classId{};
    ASSERT_EQ(filter->GetClassID(&classId), S_OK);
    EXPECT_TRUE(IsEqualGUID(classId, kClsidFilter));
    EXPECT_TRUE(PinNamed(filter.get(), L"~Capture"));
    EXPECT_TRUE(PinNamed(filter.get(), L"Preview"));
}

TEST_F(DeviceGraphTest, BothPinsRenderedByCategoryDeliverTheCamerasPicture) {
    BuildGraph();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(Succeeded(graph.control->Run()));
    ASSERT_TRUE(previewBranch.collector.WaitForSamples(3, 10000)) << "no preview samples";
    ASSERT_TRUE(captureBranch.collector.WaitForSamples(3, 10000)) << "no capture samples";

    const std::vector<std::uint8_t> expected = ExpectedPicture(CurrentRawFrame(), kWidth, kHeight, kWidth);
    std::vector<std::uint8_t> preview, capture;
    ASSERT_TRUE(previewBranch.collector.CopyNextSample(preview, 5000));
    ASSERT_TRUE(captureBranch.collector.CopyNextSample(capture, 5000));
    ASSERT_EQ(preview.size(), std::size_t(kWidth * kHeight * 4));
    std::size_t bad = 0;
    EXPECT_TRUE(SamePixels(preview.data(), expected.data(), std::size_t(kWidth) * kHeight, &bad)) << "pixel " << bad;
    // The capture pin's type is 1600 x 1200 whatever the sensor: its samples
    // have that size and begin with the camera's 1280 x 1024 picture.
    ASSERT_EQ(capture.size(), std::size_t(1600 * 1200 * 4));
    EXPECT_TRUE(SamePixels(capture.data(), expected.data(), std::size_t(kWidth) * kHeight, &bad)) << "pixel " << bad;
    ASSERT_EQ(graph.control->Stop(), S_OK);

    // Capture time stamps: frame number times 142,857 from the filter's creation on.
    const auto times = captureBranch.collector.Times();
    ASSERT_FALSE(times.empty());
    REFERENCE_TIME expectedStart = 0;
    for (const auto &[start, stop] : times) {
        ASSERT_EQ(start, expectedStart);
        ASSERT_EQ(stop, start + 142857);
        expectedStart = stop;
    }
}

TEST_F(DeviceGraphTest, StopRunPauseCyclesKeepDeliveringAndTheStampsRunOn) {
    BuildGraph();
    ASSERT_FALSE(HasFatalFailure());
    REFERENCE_TIME expectedStart = 0;
    for (int cycle = 0; cycle < 4; ++cycle) {
        SCOPED_TRACE(cycle);
        const long previewBefore = previewBranch.collector.samples;
        ASSERT_TRUE(Succeeded(graph.control->Run()));
        ASSERT_TRUE(previewBranch.collector.WaitForSamples(previewBefore + 3, 10000));
        ASSERT_TRUE(Succeeded(graph.control->Pause()));
        EXPECT_EQ(graph.State(), State_Paused);
        ASSERT_TRUE(Succeeded(graph.control->Run()));
        EXPECT_EQ(graph.State(), State_Running);
        ASSERT_TRUE(captureBranch.collector.WaitForSamples(captureBranch.collector.samples + 3, 10000));
        ASSERT_EQ(graph.control->Stop(), S_OK);
        EXPECT_EQ(graph.State(), State_Stopped);
        EXPECT_EQ(midsim_OpenRecords(), 0) << "the camera stayed open after Stop";
        for (const auto &[start, stop] : captureBranch.collector.Times()) {
            ASSERT_EQ(start, expectedStart);
            expectedStart = stop;
        }
        captureBranch.collector.Clear();
    }
}

// Last: unregistering through regsvr32 removes every entry.
TEST_F(DeviceGraphTest, UnregisteringRemovesEveryEntry) {
    ASSERT_EQ(RunRegsvr32(L"/u /s"), 0);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(kClsidFilter)));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(kClsidPage)));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, DeviceEntryKey()));
    EXPECT_FALSE(FindVideoInputDevice(L"Orvex Oriscope capture"));
    registered = RunRegsvr32(L"/s") == 0; // leave the state the suite found
    EXPECT_TRUE(registered);
}

} // namespace
