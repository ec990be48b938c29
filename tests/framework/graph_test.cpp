// The test source inside Wine's own DirectShow: connection by the graph,
// our allocator behind the Sample Grabber, samples while running and paused,
// state cycles, end of stream and streaming errors reported to the graph.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/framework/framework_test_support.h"
#include "tests/framework/test_source.h"
#include "tests/framework/wine_graph.h"

namespace {

class GraphTest : public FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        HRESULT hr = S_OK;
        source = new TestSourceFilter(nullptr, &hr);
        ASSERT_EQ(hr, S_OK);
        IBaseFilter *filter = nullptr;
        ASSERT_EQ(source->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void **>(&filter)), S_OK);
        const bool built = graph.Build(filter);
        filter->Release(); // the graph holds it now
        ASSERT_TRUE(built) << "cannot build a Wine filter graph";
    }
    void TearDown() override {
        graph.Release();
        FrameworkTest::TearDown();
    }
    void ConnectAll() {
        ASSERT_EQ(graph.ConnectSource(), S_OK);
        ASSERT_EQ(graph.ConnectRenderer(), S_OK);
    }
    // Samples keep arriving: `count` more within the time limit.
    bool Flowing(long count = 5) { return graph.callback.WaitForSamples(graph.callback.samples + count, 5000); }
    // No sample arrives for a while.
    bool Quiet() {
        const long before = graph.callback.samples;
        platform::sleepMs(150);
        return graph.callback.samples == before;
    }

    TestSourceFilter *source = nullptr; // owned by the graph
    GrabberGraph graph;
};

TEST_F(GraphTest, GraphConnectsWithOurOwnAllocator) {
    ConnectAll();
    TestSourcePin &pin = *source->pin;
    ASSERT_TRUE(pin.IsConnected());
    MediaType expected;
    ASSERT_EQ(MakeTestMediaType(expected), S_OK);
    EXPECT_TRUE(MediaTypesEqual(pin.ConnectionType(), expected));
    // The grabber offers no allocator: the pin made its own and sized it.
    ASSERT_NE(pin.ownAllocator, nullptr);
    EXPECT_EQ(pin.Allocator(), pin.ownAllocator);
    EXPECT_EQ(pin.lastRequest.cbAlign, 1);
    ALLOCATOR_PROPERTIES properties{};
    ASSERT_EQ(pin.Allocator()->GetProperties(&properties), S_OK);
    EXPECT_GE(properties.cbBuffer, kTestFrameBytes);
    EXPECT_GE(properties.cBuffers, 1);

    AM_MEDIA_TYPE connected{};
    ASSERT_EQ(graph.sourceOut->ConnectionMediaType(&connected), S_OK);
    EXPECT_TRUE(MediaTypesEqual(connected, expected));
    FreeMediaTypeFields(connected);
    IPin *peer = nullptr;
    ASSERT_EQ(graph.sourceOut->ConnectedTo(&peer), S_OK);
    EXPECT_EQ(peer, graph.grabberIn);
    peer->Release();
}

TEST_F(GraphTest, RunDeliversCheckedSamplesAndStopEndsThem) {
    ConnectAll();
    const HRESULT run = graph.control->Run();
    EXPECT_TRUE(run == S_OK || run == S_FALSE) << std::hex << run;
    ASSERT_TRUE(Flowing(10)) << "no samples reached the grabber";
    OAFilterState state = State_Stopped;
    EXPECT_TRUE(SUCCEEDED(graph.control->GetState(1000, &state)));
    EXPECT_EQ(state, State_Running);
    ASSERT_EQ(graph.control->Stop(), S_OK);
    EXPECT_FALSE(source->pin->ThreadExists());
    EXPECT_TRUE(Quiet());
    EXPECT_EQ(graph.callback.badPattern, 0);
    EXPECT_EQ(graph.callback.outOfOrder, 0);
    EXPECT_EQ(graph.callback.wrongLength, 0);
    EXPECT_EQ(graph.callback.withoutTime, 0);
    EXPECT_EQ(source->pin->threadCreates, 1);
    EXPECT_EQ(source->pin->threadDestroys, 1);
}

TEST_F(GraphTest, StopRunPauseCycles) {
    ConnectAll();
    for (int cycle = 0; cycle < 5; ++cycle) {
        ASSERT_TRUE(SUCCEEDED(graph.control->Run())) << "cycle " << cycle;
        ASSERT_TRUE(Flowing()) << "cycle " << cycle;
        ASSERT_TRUE(SUCCEEDED(graph.control->Pause())) << "cycle " << cycle;
        ASSERT_TRUE(SUCCEEDED(graph.control->Run())) << "cycle " << cycle;
        ASSERT_TRUE(Flowing()) << "cycle " << cycle;
        ASSERT_EQ(graph.control->Stop(), S_OK) << "cycle " << cycle;
        ASSERT_TRUE(Quiet()) << "cycle " << cycle;
    }
    // Paused straight from stopped: a live source streams at once.
    ASSERT_TRUE(SUCCEEDED(graph.control->Pause()));
    FILTER_STATE state;
    EXPECT_EQ(source->GetState(0, &state), VFW_S_CANT_CUE);
    EXPECT_EQ(state, State_Paused);
    ASSERT_EQ(graph.control->Stop(), S_OK);
    EXPECT_EQ(source->pin->threadCreates, 6);
    EXPECT_EQ(source->pin->threadDestroys, 6);
    EXPECT_EQ(graph.callback.badPattern, 0);
    EXPECT_EQ(graph.callback.outOfOrder, 0);
}

TEST_F(GraphTest, FillBufferEndingTheStreamCompletesTheGraph) {
    source->pin->samplesBeforeEnd = 5;
    ConnectAll();
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    EXPECT_TRUE(WaitForEvent(graph.events, EC_COMPLETE, 5000)) << "no EC_COMPLETE";
    EXPECT_TRUE(Quiet());
    EXPECT_EQ(graph.callback.samples, 5);
    // The thread waits for the next command; Stop ends it.
    EXPECT_TRUE(source->pin->ThreadExists());
    ASSERT_EQ(graph.control->Stop(), S_OK);
    EXPECT_FALSE(source->pin->ThreadExists());
    // A new start streams again.
    source->pin->samplesBeforeEnd = -1;
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    ASSERT_TRUE(Flowing());
    ASSERT_EQ(graph.control->Stop(), S_OK);
}

TEST_F(GraphTest, FillBufferFailureAbortsWithItsResult) {
    source->pin->samplesBeforeFailure = 3;
    source->pin->failure = E_ACCESSDENIED;
    ConnectAll();
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    LONG_PTR param = 0;
    ASSERT_TRUE(WaitForEvent(graph.events, EC_ERRORABORT, 5000, &param)) << "no EC_ERRORABORT";
    EXPECT_EQ(static_cast<HRESULT>(param), E_ACCESSDENIED);
    EXPECT_EQ(graph.callback.samples, 3);
    ASSERT_EQ(graph.control->Stop(), S_OK);
    EXPECT_FALSE(source->pin->ThreadExists());
}

TEST_F(GraphTest, ConnectionRulesOfTheOutputPin) {
    IPin *out = graph.sourceOut;
    IPin *peer = reinterpret_cast<IPin *>(Garbage());
    EXPECT_EQ(out->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(peer, nullptr);
    AM_MEDIA_TYPE type{};
    EXPECT_EQ(out->ConnectionMediaType(&type), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(out->Connect(nullptr, nullptr), E_POINTER);
    EXPECT_EQ(out->Disconnect(), S_FALSE);
    // Two outputs cannot connect.
    EXPECT_EQ(out->Connect(graph.grabberOut, nullptr), VFW_E_INVALID_DIRECTION);
    // A complete type the pin refuses, then one it accepts.
    MediaType wrong;
    ASSERT_EQ(MakeTestMediaType(wrong, 64, 48), S_OK);
    EXPECT_EQ(graph.ConnectSource(&wrong), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_FALSE(source->pin->IsConnected());
    AM_MEDIA_TYPE partial{};
    partial.majortype = MEDIATYPE_Video;
    ASSERT_EQ(graph.ConnectSource(&partial), S_OK);
    EXPECT_TRUE(IsEqualGUID(source->pin->ConnectionType().subtype, MEDIASUBTYPE_RGB32));
    EXPECT_EQ(out->Connect(graph.grabberIn, nullptr), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(out->ReceiveConnection(graph.grabberIn, &partial), E_UNEXPECTED);
    // Stream control calls do not belong on an output pin.
    EXPECT_EQ(out->EndOfStream(), E_UNEXPECTED);
    EXPECT_EQ(out->BeginFlush(), E_UNEXPECTED);
    EXPECT_EQ(out->EndFlush(), E_UNEXPECTED);

    ASSERT_EQ(graph.ConnectRenderer(), S_OK);
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    EXPECT_EQ(out->Disconnect(), VFW_E_NOT_STOPPED);
    ASSERT_EQ(graph.control->Stop(), S_OK);
    ASSERT_EQ(graph.graph->Disconnect(out), S_OK);
    EXPECT_FALSE(source->pin->IsConnected());
    EXPECT_EQ(source->pin->Allocator(), nullptr);
    EXPECT_TRUE(source->pin->ConnectionType().empty());
    ASSERT_EQ(graph.graph->Disconnect(graph.grabberIn), S_OK);
    // Connecting again works.
    ASSERT_EQ(graph.ConnectSource(), S_OK);
}

TEST_F(GraphTest, SmartTeeOffersItsAllocator) {
    IBaseFilter *tee = CreateFilter(CLSID_SmartTee);
    ASSERT_NE(tee, nullptr);
    ASSERT_EQ(graph.graph->AddFilter(tee, L"Tee"), S_OK);
    IPin *teeIn = FindPin(tee, PINDIR_INPUT);
    ASSERT_NE(teeIn, nullptr);
    EXPECT_EQ(graph.graph->ConnectDirect(graph.sourceOut, teeIn, nullptr), S_OK);
    // Its own allocator passed our DecideBufferSize: ours was never made.
    EXPECT_EQ(source->pin->ownAllocator, nullptr);
    EXPECT_NE(source->pin->Allocator(), nullptr);
    EXPECT_EQ(source->pin->decideCalls, 1);
    teeIn->Release();
    tee->Release();
}

} // namespace
