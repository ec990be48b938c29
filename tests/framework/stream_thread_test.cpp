// The streaming thread's command channel and the source pin's thread protocol.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/platform.h"
#include "tests/framework/framework_test_support.h"
#include "tests/framework/test_source.h"

namespace {

// A worker that answers each command with ten times its value, peeking first
// to check that a peeked command stays in the slot, and ends on kCmdExit.
class EchoThread : public StreamThread {
public:
    std::atomic<int> peeksMatched{0};

protected:
    DWORD ThreadProc() override {
        for (;;) {
            DWORD peeked = 0xFFFF;
            while (!CheckRequest(&peeked))
                platform::sleepMs(1);
            const DWORD command = GetRequest();
            if (peeked == command)
                ++peeksMatched;
            Reply(static_cast<HRESULT>(command * 10));
            if (command == kCmdExit)
                return 7;
        }
    }
};

// A worker that ends without answering.
class SilentThread : public StreamThread {
protected:
    DWORD ThreadProc() override {
        GetRequest();
        return 0;
    }
};

TEST(StreamThreadChannel, NoThreadMeansFailure) {
    EchoThread thread;
    EXPECT_FALSE(thread.ThreadExists());
    EXPECT_EQ(thread.CallWorker(StreamThread::kCmdInit), E_FAIL);
    EXPECT_EQ(thread.Close(), 0u);
}

TEST(StreamThreadChannel, CommandsAreAnsweredInTurn) {
    EchoThread thread;
    ASSERT_TRUE(thread.Create());
    EXPECT_FALSE(thread.Create()); // one thread at a time
    EXPECT_EQ(thread.CallWorker(2), 20);
    EXPECT_EQ(thread.CallWorker(3), 30);
    EXPECT_EQ(thread.CallWorker(StreamThread::kCmdExit), 40);
    EXPECT_EQ(thread.Close(), 7u);
    EXPECT_EQ(thread.peeksMatched, 3);
    EXPECT_EQ(thread.CallWorker(1), E_FAIL);
}

TEST(StreamThreadChannel, SendersOnSeveralThreadsGetTheirOwnReplies) {
    EchoThread thread;
    ASSERT_TRUE(thread.Create());
    struct Sender {
        EchoThread *target;
        DWORD command;
        std::atomic<int> wrong{0};
        platform::Thread thread;
    };
    Sender senders[3] = {{&thread, 11, {}, {}}, {&thread, 12, {}, {}}, {&thread, 13, {}, {}}};
    for (auto &sender : senders) {
        ASSERT_TRUE(sender.thread.start(
            [](void *self) {
                auto *me = static_cast<Sender *>(self);
                for (int i = 0; i < 200; ++i)
                    if (me->target->CallWorker(me->command) != static_cast<HRESULT>(me->command * 10))
                        ++me->wrong;
            },
            &sender));
    }
    for (auto &sender : senders) {
        ASSERT_TRUE(sender.thread.join(20000)) << "a sender hung";
        EXPECT_EQ(sender.wrong, 0);
    }
    EXPECT_EQ(thread.CallWorker(StreamThread::kCmdExit), 40);
    thread.Close();
}

TEST(StreamThreadChannel, ThreadEndingWithoutReplyFailsTheCall) {
    SilentThread thread;
    ASSERT_TRUE(thread.Create());
    EXPECT_EQ(thread.CallWorker(StreamThread::kCmdInit), E_FAIL);
    thread.Close();
}

class SourceThreadTest : public SourceFilterTest {};

TEST_F(SourceThreadTest, ProtocolFromInitToExit) {
    TestSourcePin &pin = *source->pin;
    ASSERT_TRUE(pin.Create());
    // Nothing but INIT is accepted first.
    EXPECT_EQ(pin.CallWorker(StreamThread::kCmdPause), E_UNEXPECTED);
    EXPECT_EQ(pin.CallWorker(StreamThread::kCmdStop), E_UNEXPECTED);
    EXPECT_EQ(pin.threadCreates, 0);
    EXPECT_EQ(pin.CallWorker(StreamThread::kCmdInit), S_OK);
    EXPECT_EQ(pin.threadCreates, 1);
    EXPECT_EQ(pin.CallWorker(99), E_NOTIMPL);
    // PAUSE starts the buffer loop (no allocator here: it keeps retrying);
    // RUN is answered inside the loop, STOP ends it.
    EXPECT_EQ(pin.CallWorker(StreamThread::kCmdPause), S_OK);
    EXPECT_EQ(pin.CallWorker(StreamThread::kCmdRun), S_OK);
    EXPECT_EQ(pin.CallWorker(StreamThread::kCmdInit), E_UNEXPECTED);
    EXPECT_EQ(pin.CallWorker(StreamThread::kCmdStop), S_OK);
    EXPECT_EQ(pin.startPlays, 1);
    EXPECT_EQ(pin.CallWorker(StreamThread::kCmdStop), S_OK);
    EXPECT_EQ(pin.threadDestroys, 0);
    EXPECT_EQ(pin.CallWorker(StreamThread::kCmdExit), S_OK);
    EXPECT_EQ(pin.Close(), 0u);
    EXPECT_EQ(pin.threadDestroys, 1);
    EXPECT_EQ(pin.filled, 0);
    EXPECT_EQ(pin.CallWorker(StreamThread::kCmdInit), E_FAIL);
}

TEST_F(SourceThreadTest, FailedThreadCreateEndsTheThread) {
    TestSourcePin &pin = *source->pin;
    pin.threadCreateResult = E_ACCESSDENIED;
    ASSERT_TRUE(pin.Create());
    EXPECT_EQ(pin.CallWorker(StreamThread::kCmdInit), E_ACCESSDENIED);
    EXPECT_EQ(pin.Close(), 1u);
    EXPECT_EQ(pin.threadDestroys, 1);
}

} // namespace
