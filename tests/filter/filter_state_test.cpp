// The filter's states bound to the camera inside real Wine graphs: pause
// opens and starts it, stop closes it, a missing camera keeps the filter
// stopped, the capture pin's time stamps run on across stops, and the
// preview stream ends by itself when the camera goes away.
#include "tests/filter/camera_graph.h"
#include "tests/filter/filter_test_support.h"

namespace {

class FilterStateTest : public FilterTest {
protected:
    void SetUp() override {
        FilterTest::SetUp();
        filter = NewFilter();
        ASSERT_EQ(graph.Create(), S_OK);
        ASSERT_EQ(graph.AddSource(BaseFilter(filter)), S_OK);
        ASSERT_EQ(graph.AddBranch(captureBranch, L"Capture grabber"), S_OK);
        ASSERT_EQ(graph.AddBranch(previewBranch, L"Preview grabber"), S_OK);
    }
    void TearDown() override {
        graph.Release();
        captureBranch.Release();
        previewBranch.Release();
        FilterTest::TearDown();
    }
    void ConnectBoth() {
        ASSERT_EQ(graph.Connect(filter->capturePin, captureBranch), S_OK);
        ASSERT_EQ(graph.Connect(filter->previewPin, previewBranch), S_OK);
    }
    FILTER_STATE FilterState(HRESULT *result = nullptr) {
        FILTER_STATE state = State_Running;
        const HRESULT got = BaseFilter(filter)->GetState(0, &state);
        if (result != nullptr)
            *result = got;
        return state;
    }
    static bool Succeeded(HRESULT result) { return result == S_OK || result == S_FALSE; }

    CaptureSourceFilter *filter = nullptr;
    CameraGraph graph;
    GrabberBranch captureBranch, previewBranch;
};

TEST_F(FilterStateTest, PauseWithoutACameraReturnsSFalseAndStaysStopped) {
    ConnectBoth();
    for (const char *config : {"fail=nocamera", "fail=open"}) {
        SCOPED_TRACE(config);
        Configure(config);
        EXPECT_EQ(filter->Pause(), S_FALSE);
        HRESULT result = E_FAIL;
        EXPECT_EQ(FilterState(&result), State_Stopped);
        EXPECT_EQ(result, S_OK);
        EXPECT_FALSE(filter->cameraOpened);
        EXPECT_FALSE(filter->capturePin->ThreadExists());
        // Run after a failed pause stops the filter again.
        EXPECT_EQ(filter->Run(0), S_OK);
        EXPECT_EQ(FilterState(), State_Stopped);
        EXPECT_EQ(midsim_CameraStarted(0), 0);
    }
    EXPECT_EQ(captureBranch.collector.samples, 0);
}

TEST_F(FilterStateTest, PauseOpensTheCameraAndStreamsStopClosesIt) {
    ConnectBoth();
    ASSERT_TRUE(Succeeded(graph.control->Pause()));
    HRESULT result = S_OK;
    EXPECT_EQ(FilterState(&result), State_Paused);
    EXPECT_EQ(result, VFW_S_CANT_CUE) << "a live source cannot cue while paused";
    EXPECT_TRUE(filter->cameraOpened);
    EXPECT_EQ(midsim_CameraStarted(0), 1);
    EXPECT_TRUE(filter->engine.IsRunning());
    // Both pins push as soon as they are active, in paused as in running; a
    // paused renderer holds the first sample until it runs.
    EXPECT_TRUE(captureBranch.collector.WaitForSamples(1, 5000));
    EXPECT_TRUE(previewBranch.collector.WaitForSamples(1, 5000));

    ASSERT_TRUE(Succeeded(graph.control->Run()));
    EXPECT_EQ(FilterState(&result), State_Running);
    EXPECT_EQ(result, S_OK);
    const long before = previewBranch.collector.samples;
    EXPECT_TRUE(previewBranch.collector.WaitForSamples(before + 3, 5000));

    ASSERT_EQ(graph.control->Stop(), S_OK);
    EXPECT_EQ(FilterState(), State_Stopped);
    EXPECT_FALSE(filter->cameraOpened);
    EXPECT_FALSE(filter->capturePin->ThreadExists());
    EXPECT_FALSE(filter->previewPin->ThreadExists());
    EXPECT_EQ(midsim_CameraStarted(0), 0);
    EXPECT_EQ(midsim_OpenRecords(), 0);
    const long stopped = captureBranch.collector.samples;
    Sleep(100);
    EXPECT_EQ(captureBranch.collector.samples, stopped) << "samples after Stop returned";
}

TEST_F(FilterStateTest, SamplesHaveThePictureSize) {
    ConnectBoth();
    ASSERT_TRUE(Succeeded(graph.control->Run()));
    ASSERT_TRUE(previewBranch.collector.WaitForSamples(2, 5000));
    ASSERT_TRUE(captureBranch.collector.WaitForSamples(2, 5000));
    EXPECT_EQ(previewBranch.collector.lastLength, 1280 * 1024 * 4);
    EXPECT_EQ(captureBranch.collector.lastLength, 1600 * 1200 * 4);
}

TEST_F(FilterStateTest, CaptureTimeStampsRunOnAcrossStopAndRun) {
    ASSERT_EQ(graph.Connect(filter->capturePin, captureBranch), S_OK);
    REFERENCE_TIME expectedStart = 0;
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        captureBranch.collector.Clear();
        ASSERT_TRUE(Succeeded(graph.control->Run()));
        ASSERT_TRUE(captureBranch.collector.WaitForSamples(5, 5000));
        ASSERT_EQ(graph.control->Stop(), S_OK);
        const auto times = captureBranch.collector.Times();
        ASSERT_FALSE(times.empty());
        EXPECT_EQ(captureBranch.collector.untimed, 0);
        for (const auto &[start, stop] : times) {
            ASSERT_EQ(start, expectedStart);
            ASSERT_EQ(stop, start + 142857);
            expectedStart = stop;
        }
    }
    EXPECT_EQ(REFERENCE_TIME(filter->capturePin->FrameNumber()) * 142857, expectedStart);
}

TEST_F(FilterStateTest, PreviewStreamEndsWhenTheCameraGoesAwayAndResumesAfterARestart) {
    ASSERT_EQ(graph.Connect(filter->previewPin, previewBranch), S_OK);
    ASSERT_TRUE(Succeeded(graph.control->Run()));
    ASSERT_TRUE(previewBranch.collector.WaitForSamples(3, 5000));
    midsim_SetUnplugAfter(0, 0);
    EXPECT_TRUE(graph.WaitForEvent(EC_COMPLETE, 10000)) << "no end of stream after the camera went away";
    const long ended = previewBranch.collector.samples;
    Sleep(200);
    EXPECT_EQ(previewBranch.collector.samples, ended);

    // A stop closes the library; the next pause opens it again and frames flow.
    ASSERT_EQ(graph.control->Stop(), S_OK);
    midsim_SetUnplugAfter(0, -1);
    ASSERT_TRUE(Succeeded(graph.control->Run()));
    EXPECT_TRUE(previewBranch.collector.WaitForSamples(ended + 3, 5000));
}

TEST_F(FilterStateTest, UnconnectedFilterPausesAndStopsWithoutThreads) {
    EXPECT_EQ(filter->Pause(), S_OK);
    EXPECT_EQ(midsim_CameraStarted(0), 1);
    EXPECT_FALSE(filter->capturePin->ThreadExists());
    EXPECT_EQ(filter->Run(0), S_OK);
    EXPECT_EQ(FilterState(), State_Running);
    EXPECT_EQ(filter->Stop(), S_OK);
    EXPECT_EQ(midsim_OpenRecords(), 0);
    // Run from stopped passes through Pause.
    EXPECT_EQ(filter->Run(0), S_OK);
    EXPECT_EQ(FilterState(), State_Running);
    EXPECT_TRUE(filter->cameraOpened);
    EXPECT_EQ(filter->Stop(), S_OK);
}

} // namespace
