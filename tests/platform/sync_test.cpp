// Events, threads and critical sections of the platform layer, driven from
// several threads at once. Every wait is bounded so a fault fails, not hangs.
#include "platform/platform.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

using platform::Event;
using platform::Thread;

// Long enough never to expire on a loaded machine, short enough to fail fast.
constexpr std::uint32_t kBoundMs = 5000;

std::uint32_t elapsedMs(std::chrono::steady_clock::time_point since) {
    const auto elapsed = std::chrono::steady_clock::now() - since;
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

// ---------------------------------------------------------------------------
TEST(Event, StartsNonSignalledAndTimesOut) {
    Event event;
    EXPECT_FALSE(event.wait(0));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(event.wait(120));
    // The timeout is honoured, not cut short (slack for coarse system ticks).
    EXPECT_GE(elapsedMs(start), 90u);
}

TEST(Event, StaysSetUntilReset) {
    Event event;
    event.set();
    EXPECT_TRUE(event.wait(0));
    EXPECT_TRUE(event.wait(kBoundMs)); // a wait does not consume the signal
    event.set();                       // setting twice changes nothing
    EXPECT_TRUE(event.wait(0));
    event.reset();
    EXPECT_FALSE(event.wait(0));
    EXPECT_FALSE(event.wait(20));
    event.reset();
    EXPECT_FALSE(event.wait(0));
}

struct WaitState {
    Event event;
    Event done;
    std::uint32_t timeoutMs = Event::kInfinite;
    std::atomic<bool> result{false};
};

void waitOnEvent(void *argument) {
    auto *state = static_cast<WaitState *>(argument);
    state->result = state->event.wait(state->timeoutMs);
    state->done.set();
}

TEST(Event, SetFromAnotherThreadEndsAnInfiniteWait) {
    auto state = std::make_unique<WaitState>();
    Thread waiter;
    ASSERT_TRUE(waiter.start(waitOnEvent, state.get()));
    EXPECT_FALSE(state->done.wait(50)); // still waiting: nothing has set it
    state->event.set();
    const bool ended = state->done.wait(kBoundMs);
    EXPECT_TRUE(ended);
    if (!ended) {
        state.release(); // the waiter may still use it; leak rather than free under it
        return;
    }
    EXPECT_TRUE(state->result);
    EXPECT_TRUE(waiter.join(kBoundMs));
}

TEST(Event, OneSetReleasesEveryWaiter) {
    constexpr int kWaiters = 4;
    struct Waiters {
        Event gate;
        std::atomic<int> released{0};
        Thread threads[kWaiters];
    };
    auto waiters = std::make_unique<Waiters>();
    for (Thread &thread : waiters->threads) {
        auto entry = [](void *argument) {
            auto *shared = static_cast<Waiters *>(argument);
            if (shared->gate.wait(Event::kInfinite))
                ++shared->released;
        };
        ASSERT_TRUE(thread.start(entry, waiters.get()));
    }
    platform::sleepMs(30); // let them block; a waiter arriving later must pass too
    waiters->gate.set();
    bool allEnded = true;
    for (Thread &thread : waiters->threads)
        allEnded = thread.join(kBoundMs) && allEnded;
    EXPECT_EQ(waiters->released.load(), kWaiters);
    if (!allEnded) {
        waiters.release(); // waiters still blocked on the gate keep their state
        FAIL() << "a waiter was not released";
    }
}

// ---------------------------------------------------------------------------
struct Gate {
    Event release;
    Event entered;
    std::atomic<std::uint32_t> seenId{0};
    std::atomic<bool> released{false};
};

void enterAndHold(void *argument) {
    auto *gate = static_cast<Gate *>(argument);
    gate->seenId = platform::currentThreadId();
    gate->entered.set();
    gate->released = gate->release.wait(kBoundMs);
}

TEST(Thread, JoinTimesOutWhileRunningAndSucceedsAfter) {
    Gate gate;
    Thread thread;
    EXPECT_FALSE(thread.started());
    ASSERT_TRUE(thread.start(enterAndHold, &gate));
    EXPECT_TRUE(thread.started());
    ASSERT_TRUE(gate.entered.wait(kBoundMs));
    EXPECT_FALSE(thread.join(0));
    EXPECT_FALSE(thread.join(30));
    gate.release.set();
    EXPECT_TRUE(thread.join(kBoundMs));
    EXPECT_TRUE(gate.released);
    EXPECT_TRUE(thread.join(0)); // joining an ended thread again is harmless
}

TEST(Thread, IdentifiesItsThread) {
    Gate gate;
    gate.release.set();
    Thread thread;
    EXPECT_EQ(thread.id(), 0u);
    ASSERT_TRUE(thread.start(enterAndHold, &gate));
    ASSERT_TRUE(thread.join(kBoundMs));
    EXPECT_NE(thread.id(), 0u);
    EXPECT_EQ(gate.seenId.load(), thread.id());
    EXPECT_NE(platform::currentThreadId(), thread.id());
    EXPECT_EQ(platform::currentThreadId(), platform::currentThreadId());
}

TEST(Thread, RestartsOnTheSameObject) {
    Gate first, second;
    first.release.set();
    second.release.set();
    Thread thread;
    ASSERT_TRUE(thread.start(enterAndHold, &first));
    ASSERT_TRUE(thread.join(kBoundMs));
    const std::uint32_t firstId = thread.id();
    ASSERT_TRUE(thread.start(enterAndHold, &second));
    ASSERT_TRUE(thread.join(kBoundMs));
    EXPECT_TRUE(second.released);
    EXPECT_EQ(second.seenId.load(), thread.id());
    EXPECT_NE(firstId, 0u);
}

TEST(Thread, JoinWithoutAThreadOrOnItselfDoesNotBlock) {
    Thread idle;
    EXPECT_TRUE(idle.join(0));

    struct Self {
        Thread thread;
        Event go;
        std::atomic<int> result{-1};
    } self;
    auto entry = [](void *argument) {
        auto *s = static_cast<Self *>(argument);
        if (s->go.wait(kBoundMs))
            s->result = s->thread.join(Event::kInfinite) ? 1 : 0;
    };
    ASSERT_TRUE(self.thread.start(entry, &self));
    self.go.set(); // the thread now sees its own id in the object
    ASSERT_TRUE(self.thread.join(kBoundMs));
    EXPECT_EQ(self.result.load(), 0);
}

TEST(Thread, RunsOnAfterTheObjectIsDestroyed) {
    auto gate = std::make_shared<Gate>();
    {
        Thread thread;
        ASSERT_TRUE(thread.start(enterAndHold, gate.get()));
        ASSERT_TRUE(gate->entered.wait(kBoundMs));
    } // destroyed while the thread still waits
    gate->release.set();
    // The detached thread finishes its work; wait for that, bounded.
    const auto start = std::chrono::steady_clock::now();
    while (!gate->released && elapsedMs(start) < kBoundMs)
        platform::sleepMs(1);
    EXPECT_TRUE(gate->released);
    platform::sleepMs(20); // let it return before the gate goes away
}

TEST(Thread, RejectsAMissingEntry) {
    Thread thread;
    EXPECT_FALSE(thread.start(nullptr, nullptr));
    EXPECT_FALSE(thread.started());
}

// ---------------------------------------------------------------------------
struct SectionProbe {
    platform::CriticalSection *section;
    Event entered;
};

void enterSection(void *argument) {
    auto *probe = static_cast<SectionProbe *>(argument);
    probe->section->enter();
    probe->entered.set();
    probe->section->leave();
}

// Holds the section twice over on its own thread, so a section that is not
// recursive deadlocks there and the test fails instead of hanging.
struct Reentry {
    platform::CriticalSection section;
    Event reentered;
    Event release;
};

void enterTwiceAndHold(void *argument) {
    auto *reentry = static_cast<Reentry *>(argument);
    reentry->section.enter();
    reentry->section.enter();
    { platform::Lock nested(reentry->section); }
    reentry->section.leave();
    reentry->reentered.set();
    reentry->release.wait(kBoundMs);
    reentry->section.leave();
}

TEST(CriticalSection, IsRecursiveAndCountsEntries) {
    auto reentry = std::make_unique<Reentry>();
    Thread owner;
    ASSERT_TRUE(owner.start(enterTwiceAndHold, reentry.get()));
    if (!reentry->reentered.wait(kBoundMs)) {
        reentry.release(); // the owner is stuck inside; leave it its state
        FAIL() << "the owner could not enter the section again";
    }

    SectionProbe probe{&reentry->section, {}};
    Thread other;
    ASSERT_TRUE(other.start(enterSection, &probe));
    // The owner still holds one entry, so the other thread stays out.
    EXPECT_FALSE(probe.entered.wait(50));
    reentry->release.set();
    EXPECT_TRUE(probe.entered.wait(kBoundMs));
    EXPECT_TRUE(owner.join(kBoundMs));
    EXPECT_TRUE(other.join(kBoundMs));
}

struct Counter {
    platform::CriticalSection section;
    Event go;
    long value = 0;
};

void incrementMany(void *argument) {
    auto *counter = static_cast<Counter *>(argument);
    counter->go.wait(kBoundMs); // start together so the threads overlap
    for (int i = 0; i < 20000; ++i) {
        platform::Lock lock(counter->section);
        // Read, let others run, write back: without exclusion updates get lost.
        const long seen = counter->value;
        if (i % 16 == 0)
            std::this_thread::yield();
        counter->value = seen + 1;
    }
}

TEST(Lock, ExcludesOtherThreads) {
    constexpr int kThreads = 4;
    Counter counter;
    Thread threads[kThreads];
    for (Thread &thread : threads)
        ASSERT_TRUE(thread.start(incrementMany, &counter));
    counter.go.set();
    for (Thread &thread : threads)
        ASSERT_TRUE(thread.join(6 * kBoundMs));
    platform::Lock lock(counter.section);
    EXPECT_EQ(counter.value, kThreads * 20000L);
}

} // namespace
