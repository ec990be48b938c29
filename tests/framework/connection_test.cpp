// How the output pin agrees a type and an allocator with a downstream pin,
// and how its streaming thread treats the downstream pin's answers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "tests/framework/fake_input_pin.h"
#include "tests/framework/framework_test_support.h"
#include "tests/framework/test_source.h"

namespace {

class ConnectionTest : public SourceFilterTest {
protected:
    void SetUp() override {
        SourceFilterTest::SetUp();
        peer = new FakeInputPin;
    }
    void TearDown() override {
        if (peer != nullptr)
            peer->Disconnect(); // drops its reference on our pin
        if (filter != nullptr) {
            filter->Stop();
            source->pin->Disconnect();
            EXPECT_EQ(filter->Release(), 0u);
            filter = nullptr;
        }
        // The peer goes before the fixture counts the live objects.
        if (peer != nullptr) {
            EXPECT_EQ(peer->Release(), 0u);
        }
        SourceFilterTest::TearDown();
    }
    HRESULT Connect(const AM_MEDIA_TYPE *type = nullptr) { return source->pin->Connect(peer, type); }
    REFERENCE_TIME ConnectedTag() const {
        const auto *info = source->pin->ConnectionType().formatAs<VIDEOINFOHEADER>();
        return info != nullptr ? info->AvgTimePerFrame : -1;
    }
    // Waits (bounded) for the counter to reach `count`.
    static bool Reaches(const std::atomic<long> &counter, long count) {
        for (int i = 0; i < 500 && counter < count; ++i)
            platform::sleepMs(10);
        return counter >= count;
    }

    FakeInputPin *peer = nullptr;
};

TEST_F(ConnectionTest, DownstreamTypesComeFirst) {
    // The RGB24 type fails our check and is never proposed.
    peer->offered = {TaggedType(1, MEDIASUBTYPE_RGB24), TaggedType(2), TaggedType(3)};
    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(peer->proposed, (std::vector<REFERENCE_TIME>{2}));
    EXPECT_EQ(ConnectedTag(), 2);
    EXPECT_EQ(peer->connected, static_cast<IPin *>(source->pin));
    EXPECT_TRUE(MediaTypesEqual(peer->connectionType, source->pin->ConnectionType()));
}

TEST_F(ConnectionTest, OwnTypesFollowWhenDownstreamRefusesItsOwn) {
    peer->offered = {TaggedType(2)};
    peer->acceptedFrames = {kTestFrameTime};
    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(peer->proposed, (std::vector<REFERENCE_TIME>{2, kTestFrameTime}));
    EXPECT_EQ(ConnectedTag(), kTestFrameTime);
}

TEST_F(ConnectionTest, NoCommonTypeLeavesBothUnconnected) {
    peer->offered = {TaggedType(2)};
    peer->acceptNothing = true;
    EXPECT_EQ(Connect(), VFW_E_NO_ACCEPTABLE_TYPES);
    // Its own type, then both of ours.
    EXPECT_EQ(peer->proposed, (std::vector<REFERENCE_TIME>{2, kTestFrameTime, kTestFrameTime}));
    EXPECT_FALSE(source->pin->IsConnected());
    EXPECT_TRUE(source->pin->ConnectionType().empty());
    EXPECT_EQ(source->pin->Allocator(), nullptr);
    EXPECT_EQ(source->pin->InputPin(), nullptr);
}

TEST_F(ConnectionTest, PartialTypeLimitsTheCandidates) {
    peer->offered = {TaggedType(2)};
    AM_MEDIA_TYPE partial{};
    partial.majortype = MEDIATYPE_Video;
    partial.subtype = MEDIASUBTYPE_RGB24;
    EXPECT_EQ(Connect(&partial), VFW_E_NO_ACCEPTABLE_TYPES);
    EXPECT_TRUE(peer->proposed.empty());
    partial.subtype = MEDIASUBTYPE_RGB32;
    ASSERT_EQ(Connect(&partial), S_OK);
    EXPECT_EQ(ConnectedTag(), 2);
}

TEST_F(ConnectionTest, CompleteTypeIsProposedAsGiven) {
    peer->offered = {TaggedType(2)};
    MediaType wanted = TaggedType(9);
    ASSERT_EQ(Connect(&wanted), S_OK);
    EXPECT_EQ(peer->proposed, (std::vector<REFERENCE_TIME>{9}));
    source->pin->Disconnect();
    peer->Disconnect();
    peer->acceptNothing = true;
    EXPECT_EQ(Connect(&wanted), VFW_E_TYPE_NOT_ACCEPTED);
}

TEST_F(ConnectionTest, DownstreamWithoutMemInputCannotConnect) {
    peer->memInput = false;
    EXPECT_EQ(Connect(), VFW_E_NO_TRANSPORT);
    EXPECT_TRUE(peer->proposed.empty());
}

TEST_F(ConnectionTest, DownstreamAllocatorIsUsedWithItsRequirements) {
    ASSERT_EQ(MemAllocator::Create(&peer->allocator), S_OK);
    peer->haveRequirements = true;
    peer->requirements = {5, 0, 0, 0};
    ASSERT_EQ(Connect(), S_OK);
    TestSourcePin &pin = *source->pin;
    EXPECT_EQ(pin.decideCalls, 1);
    EXPECT_EQ(pin.lastRequest.cBuffers, 5);
    EXPECT_EQ(pin.lastRequest.cbAlign, 1); // 0 becomes 1
    EXPECT_EQ(pin.ownAllocator, nullptr);
    EXPECT_EQ(pin.Allocator(), peer->allocator);
    EXPECT_EQ(peer->notified, peer->allocator);
    EXPECT_EQ(peer->notifiedReadOnly, FALSE);
    ALLOCATOR_PROPERTIES properties{};
    ASSERT_EQ(peer->allocator->GetProperties(&properties), S_OK);
    EXPECT_EQ(properties.cBuffers, 5);
    EXPECT_GE(properties.cbBuffer, kTestFrameBytes);
}

TEST_F(ConnectionTest, UnsuitableDownstreamAllocatorFallsBackToOurs) {
    // A committed allocator refuses new properties, so DecideBufferSize fails with it.
    ASSERT_EQ(MemAllocator::Create(&peer->allocator), S_OK);
    ALLOCATOR_PROPERTIES small{1, 16, 1, 0}, actual{};
    ASSERT_EQ(peer->allocator->SetProperties(&small, &actual), S_OK);
    ASSERT_EQ(peer->allocator->Commit(), S_OK);
    ASSERT_EQ(Connect(), S_OK);
    TestSourcePin &pin = *source->pin;
    EXPECT_EQ(pin.decideCalls, 2);
    ASSERT_NE(pin.ownAllocator, nullptr);
    EXPECT_EQ(pin.Allocator(), pin.ownAllocator);
    EXPECT_EQ(peer->notified, pin.ownAllocator);
    EXPECT_EQ(peer->notifiedReadOnly, FALSE);
    // The record changed by the first attempt is handed on: 0 buffers became 2.
    EXPECT_EQ(pin.lastRequest.cBuffers, 2);
    peer->allocator->Decommit();
}

TEST_F(ConnectionTest, RefusedAllocatorFailsTheConnection) {
    peer->notifyResult = E_ACCESSDENIED;
    EXPECT_EQ(Connect(), VFW_E_NO_ACCEPTABLE_TYPES);
    EXPECT_FALSE(source->pin->IsConnected());
    EXPECT_EQ(source->pin->Allocator(), nullptr);
    // Each of our two types was accepted, then let go when the allocator failed.
    EXPECT_EQ(peer->proposed.size(), 2u);
    EXPECT_EQ(peer->disconnects, 2);
    EXPECT_EQ(peer->connected, nullptr);
}

TEST_F(ConnectionTest, StateRulesOfConnection) {
    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(Connect(), VFW_E_ALREADY_CONNECTED);
    ASSERT_EQ(filter->Pause(), S_OK);
    EXPECT_EQ(source->pin->Disconnect(), VFW_E_NOT_STOPPED);
    ASSERT_EQ(filter->Stop(), S_OK);
    ASSERT_EQ(source->pin->Disconnect(), S_OK);
    peer->Disconnect();
    ASSERT_EQ(filter->Pause(), S_OK);
    EXPECT_EQ(Connect(), VFW_E_NOT_STOPPED);
    ASSERT_EQ(filter->Stop(), S_OK);
}

TEST_F(ConnectionTest, RefusedDeliveryStopsPushingUntilTheNextStart) {
    peer->refuseAfter = 3;
    ASSERT_EQ(Connect(), S_OK);
    ASSERT_EQ(filter->Pause(), S_OK);
    ASSERT_TRUE(Reaches(peer->received, 4));
    platform::sleepMs(100);
    EXPECT_EQ(peer->received, 4); // the refusal ended the loop
    EXPECT_EQ(peer->endOfStreams, 0);
    // Running sends no new command to the thread: still quiet.
    ASSERT_EQ(filter->Run(0), S_OK);
    platform::sleepMs(50);
    EXPECT_EQ(peer->received, 4);
    ASSERT_EQ(filter->Stop(), S_OK);
    EXPECT_FALSE(source->pin->ThreadExists());
    peer->refuseAfter = -1;
    ASSERT_EQ(filter->Pause(), S_OK);
    ASSERT_TRUE(Reaches(peer->received, 20));
    ASSERT_EQ(filter->Stop(), S_OK);
}

TEST_F(ConnectionTest, EndOfStreamAndErrorsReachTheDownstreamPin) {
    source->pin->samplesBeforeEnd = 2;
    ASSERT_EQ(Connect(), S_OK);
    ASSERT_EQ(filter->Pause(), S_OK);
    ASSERT_TRUE(Reaches(peer->endOfStreams, 1));
    EXPECT_EQ(peer->received, 2);
    ASSERT_EQ(filter->Stop(), S_OK);

    // Outside a graph the abort event has nowhere to go; the stream still ends.
    source->pin->samplesBeforeEnd = -1;
    source->pin->failure = E_FAIL;
    source->pin->samplesBeforeFailure = 1;
    ASSERT_EQ(filter->Pause(), S_OK);
    ASSERT_TRUE(Reaches(peer->endOfStreams, 2));
    EXPECT_EQ(peer->received, 3);
    ASSERT_EQ(filter->Stop(), S_OK);
}

TEST_F(ConnectionTest, ActivationOfAnActivePinAndAFailedThreadStart) {
    ASSERT_EQ(Connect(), S_OK);
    ASSERT_EQ(filter->Pause(), S_OK);
    EXPECT_EQ(source->pin->Active(), S_FALSE); // the filter is active already
    ASSERT_EQ(filter->Stop(), S_OK);
    source->pin->threadCreateResult = E_ACCESSDENIED;
    EXPECT_EQ(filter->Pause(), E_ACCESSDENIED);
    FILTER_STATE state;
    EXPECT_EQ(filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    EXPECT_FALSE(source->pin->ThreadExists());
    IMediaSample *sample = nullptr;
    // Undone: the allocator is decommitted again.
    EXPECT_EQ(source->pin->Allocator()->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_NOT_COMMITTED);
}

TEST_F(ConnectionTest, RapidStartStopCyclesNeverHang) {
    ASSERT_EQ(Connect(), S_OK);
    struct Cycler {
        IBaseFilter *filter;
        std::atomic<long> *received;
        std::atomic<int> failures{0};
        platform::Thread thread;
    } cycler{filter, &peer->received, {}, {}};
    ASSERT_TRUE(cycler.thread.start(
        [](void *self) {
            auto *me = static_cast<Cycler *>(self);
            for (int i = 0; i < 200; ++i) {
                // Stop at once, or after the stream got going, or while running.
                if (me->filter->Pause() != S_OK)
                    ++me->failures;
                if (i % 3 == 1) {
                    const long target = *me->received + 1;
                    for (int wait = 0; wait < 1000 && *me->received < target; ++wait)
                        platform::sleepMs(1);
                }
                if (i % 3 == 2 && me->filter->Run(0) != S_OK)
                    ++me->failures;
                if (me->filter->Stop() != S_OK)
                    ++me->failures;
            }
        },
        &cycler));
    if (!cycler.thread.join(60000)) {
        // A hung Stop cannot be undone from here: end the program as a failure.
        std::fputs("RapidStartStopCyclesNeverHang: start/stop cycles hung\n", stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
    EXPECT_EQ(cycler.failures, 0);
    EXPECT_EQ(source->pin->threadCreates, 200);
    EXPECT_EQ(source->pin->threadDestroys, 200);
    EXPECT_FALSE(source->pin->ThreadExists());
}

} // namespace
