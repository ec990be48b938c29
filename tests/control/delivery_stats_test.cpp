// The filter's live-source flag and the capture pin's IAMDroppedFrames in a
// running graph: the counts add up to the samples that arrived downstream,
// only new camera frames count as delivered, and a new start counts afresh.
#include "tests/control/control_test_support.h"

namespace {

using DeliveryStatsTest = ControlTest;

TEST_F(DeliveryStatsTest, FilterReportsASource) {
    IBaseFilter *filter = NewFilter();
    ComPtr<IAMFilterMiscFlags> flags;
    ASSERT_EQ(filter->QueryInterface(IID_IAMFilterMiscFlags, flags.putVoid()), S_OK);
    EXPECT_EQ(flags->GetMiscFlags(), ULONG(AM_FILTER_MISC_FLAGS_IS_SOURCE));
    ComPtr<IAMDroppedFrames> none;
    EXPECT_EQ(PinNamed(filter, L"Preview")->QueryInterface(IID_IAMDroppedFrames, none.putVoid()), E_NOINTERFACE);
}

TEST_F(DeliveryStatsTest, CapturePinCountsWhatItDelivers) {
    IBaseFilter *filter = NewFilter();
    ComPtr<IAMDroppedFrames> stats;
    ASSERT_EQ(PinNamed(filter, L"~Capture")->QueryInterface(IID_IAMDroppedFrames, stats.putVoid()), S_OK);
    LONG dropped = -1, delivered = -1, average = -1, copied = -1, frames[4] = {};
    EXPECT_EQ(stats->GetNumDropped(nullptr), E_POINTER);
    EXPECT_EQ(stats->GetNumNotDropped(nullptr), E_POINTER);
    EXPECT_EQ(stats->GetAverageFrameSize(nullptr), E_POINTER);
    EXPECT_EQ(stats->GetDroppedInfo(4, nullptr, &copied), E_POINTER);
    EXPECT_EQ(stats->GetDroppedInfo(0, frames, &copied), E_INVALIDARG);
    EXPECT_EQ(stats->GetDroppedInfo(4, frames, &copied), E_NOTIMPL);
    EXPECT_EQ(copied, 0);
    ASSERT_EQ(stats->GetAverageFrameSize(&average), S_OK);
    EXPECT_EQ(average, 0);

    // Without a clock the capture pin runs far ahead of the 30 fps camera:
    // most samples repeat the last frame and count as dropped.
    GrabberGraph graph;
    ASSERT_TRUE(graph.Build(filter, L"~Capture"));
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        graph.collector.samples = 0;
        ASSERT_TRUE(graph.Run());
        ASSERT_TRUE(graph.collector.WaitForSamples(60, 10000));
        ASSERT_TRUE(WaitUntil([&] { return SUCCEEDED(stats->GetNumNotDropped(&delivered)) && delivered >= 5; }, 10000));
        const int cameraFrames = midsim_FramesDelivered(0);
        graph.Stop();
        ASSERT_EQ(stats->GetNumDropped(&dropped), S_OK);
        ASSERT_EQ(stats->GetNumNotDropped(&delivered), S_OK);
        // The sample in flight when the graph stopped may be seen on one side only.
        EXPECT_NEAR(dropped + delivered, graph.collector.samples.load(), 1);
        EXPECT_GT(dropped, delivered);
        EXPECT_LE(delivered, cameraFrames + 2); // a new frame at most once
        ASSERT_EQ(stats->GetAverageFrameSize(&average), S_OK);
        EXPECT_EQ(average, 1600 * 1200 * 4);
    }
    graph.Release();
}

} // namespace
