// The acquisition thread, the three-buffer hand-off, the frame-rate average,
// unplugging and the engine's side of the still hand-shake.
#include <cstring>
#include <thread>

#include "engine_test_support.h"

using namespace enginetest;

namespace {

class AcquisitionTest : public EngineTest {};

// Waits (bounded) until pred() holds.
template <typename Pred> bool WaitFor(Pred pred, std::uint32_t timeoutMs = 5000) {
    const std::uint32_t start = platform::tickCount();
    while (!pred()) {
        if (platform::tickCount() - start > timeoutMs) {
            return false;
        }
        platform::sleepMs(1);
    }
    return true;
}

TEST_F(AcquisitionTest, ConsumerTakesEachFrameOnceAndKeepsItsBuffer) {
    std::uint8_t a[4] = {}, b[4] = {}, c[4] = {};
    CameraEngine engine;
    engine.latestFrame = a;
    std::uint8_t *producer = b;
    std::uint8_t *consumer = c;
    EXPECT_FALSE(engine.ExchangeFrame(consumer, false)); // nothing published yet
    EXPECT_EQ(consumer, c);
    EXPECT_TRUE(engine.ExchangeFrame(producer, true));
    EXPECT_EQ(producer, a); // the producer takes back the previous latest
    EXPECT_TRUE(engine.ExchangeFrame(consumer, false));
    EXPECT_EQ(consumer, b);
    EXPECT_FALSE(engine.ExchangeFrame(consumer, false)); // no new grab in between
    EXPECT_EQ(consumer, b);
    // A frame nobody took is overwritten by the next one.
    EXPECT_TRUE(engine.ExchangeFrame(producer, true));
    EXPECT_TRUE(engine.ExchangeFrame(producer, true));
    EXPECT_TRUE(engine.ExchangeFrame(consumer, false));
    EXPECT_FALSE(engine.ExchangeFrame(consumer, false));
    engine.latestFrame = nullptr;
}

// A producer publishes numbered frames while two consumers take them: no
// consumer ever sees a frame twice or an older frame after a newer one, and
// the buffers always hold whole frames (never one being written).
TEST_F(AcquisitionTest, ConcurrentHandOffDeliversNewestFramesOnce) {
    constexpr int kFrames = 20000;
    constexpr std::size_t kSize = 64;
    std::vector<std::uint8_t> storage(3 * kSize);
    CameraEngine engine;
    engine.latestFrame = &storage[0];
    std::uint8_t *produced = &storage[kSize];
    std::uint8_t *consumed = &storage[2 * kSize];
    std::atomic<bool> done{false};
    std::atomic<int> failures{0};
    std::atomic<int> taken{0};

    std::thread producer([&] {
        for (std::uint32_t n = 1; n <= kFrames; ++n) {
            std::memset(produced, static_cast<int>(n & 0xFF), kSize);
            std::memcpy(produced, &n, sizeof n);
            engine.ExchangeFrame(produced, true);
        }
        done = true;
    });
    std::thread consumer([&] {
        std::uint32_t last = 0;
        // Consumers share one consumer buffer, serialised as the pins are.
        while (!done || taken == 0) {
            platform::Lock lock(engine.consumerLock);
            if (!engine.ExchangeFrame(consumed, false)) {
                continue;
            }
            std::uint32_t n = 0;
            std::memcpy(&n, consumed, sizeof n);
            if (n <= last || consumed[kSize - 1] != (n & 0xFF)) {
                ++failures;
            }
            last = n;
            ++taken;
        }
    });
    producer.join();
    consumer.join();
    EXPECT_EQ(failures, 0);
    EXPECT_GT(taken, 0);
    engine.latestFrame = nullptr;
}

TEST_F(AcquisitionTest, FramesFlowAndStopJoinsTheThread) {
    CameraEngine engine;
    ASSERT_TRUE(engine.Initialize());
    engine.StartAcquisition();
    ASSERT_TRUE(engine.IsRunning());
    engine.StartAcquisition(); // already running: nothing happens
    int frames = 0;
    ASSERT_TRUE(WaitFor([&] {
        frames += engine.ExchangeFrame(engine.consumerBuffer, false) ? 1 : 0;
        return frames >= 5;
    }));
    EXPECT_TRUE(engine.StopAcquisition());
    EXPECT_FALSE(engine.IsRunning());
    EXPECT_EQ(engine.grabBuffer, nullptr);
    EXPECT_EQ(midsim_OpenRecords(), 0);
    EXPECT_GT(engine.frameRate, 0.0f);
}

TEST_F(AcquisitionTest, StartWithoutInitializeIsRefused) {
    CameraEngine engine;
    engine.StartAcquisition();
    EXPECT_FALSE(engine.IsRunning());
    engine.cameraNumber = 2;
    EXPECT_FALSE(engine.Initialize());
    engine.StartAcquisition();
    EXPECT_FALSE(engine.IsRunning());
    engine.StopAcquisition();
}

TEST_F(AcquisitionTest, StartStopCyclesLeaveNothingBehind) {
    CameraEngine engine;
    for (int cycle = 0; cycle < 30; ++cycle) {
        ASSERT_TRUE(engine.Initialize());
        engine.StartAcquisition();
        if (cycle % 3 == 0) {
            WaitFor([&] { return engine.ExchangeFrame(engine.consumerBuffer, false); }, 2000);
        }
        engine.SetGain(cycle);
        engine.StopAcquisition();
    }
    EXPECT_EQ(midsim_OpenRecords(), 0);
    EXPECT_EQ(CountEvents(MIDSIM_START), CountEvents(MIDSIM_STOP));
}

TEST_F(AcquisitionTest, UnplugEndsTheThreadAndStopStillCloses) {
    Configure("pace=free unplug_after=5");
    CameraEngine engine;
    ASSERT_TRUE(engine.Initialize());
    engine.StartAcquisition();
    ASSERT_TRUE(engine.threadEndedEvent.wait(5000)) << "thread did not end after the camera was unplugged";
    EXPECT_FALSE(engine.IsRunning());
    EXPECT_EQ(midsim_FramesDelivered(0), 5);
    // The buffers stay for a consumer that may still be converting one.
    EXPECT_NE(engine.consumerBuffer, nullptr);
    EXPECT_TRUE(engine.ExchangeFrame(engine.consumerBuffer, false));
    EXPECT_FALSE(engine.ExchangeFrame(engine.consumerBuffer, false));
    EXPECT_EQ(SharedCameraTable().openCount, 1);
    // A still request no longer waits for a consumer.
    std::uint8_t buffer[16];
    EXPECT_FALSE(engine.CaptureStillToBuffer(buffer, sizeof buffer, true, false));
    EXPECT_TRUE(engine.StopAcquisition());
    EXPECT_EQ(SharedCameraTable().openCount, 0);
    EXPECT_EQ(midsim_OpenRecords(), 0);
}

TEST_F(AcquisitionTest, TransientFailuresAreRetried) {
    CameraEngine engine;
    ASSERT_TRUE(engine.Initialize());
    midsim_FailNextAcquires(0, 50, 7);
    engine.StartAcquisition();
    EXPECT_TRUE(WaitFor([&] { return engine.ExchangeFrame(engine.consumerBuffer, false); }));
    EXPECT_TRUE(engine.IsRunning());
    engine.StopAcquisition();
}

// --- Frame rate -----------------------------------------------------------

std::atomic<int> tickCalls{0};
std::uint32_t FortyMsTicks() {
    // 40, 80, ..., 400, then 400 again (two frames within one tick), then 440...
    const int call = tickCalls++;
    if (call < 10) {
        return std::uint32_t(40 * (call + 1));
    }
    if (call == 10) {
        return 400;
    }
    return std::uint32_t(400 + 40 * (call - 10));
}

TEST_F(AcquisitionTest, FrameRateAverageOfTheLastTenIntervals) {
    tickCalls = 0;
    platform::seams::setTickSource(&FortyMsTicks);
    Configure("pace=free unplug_after=10");
    CameraEngine engine;
    ASSERT_TRUE(engine.Initialize());
    engine.StartAcquisition();
    ASSERT_TRUE(engine.threadEndedEvent.wait(5000));
    // The first interval counts from tick 0 of the new engine.
    EXPECT_EQ(engine.frameRate, 25.0f);
    EXPECT_EQ(engine.frameIntervalMs, 40u);
    for (float slot : engine.frameRateRing) {
        EXPECT_EQ(slot, 25.0f);
    }
    engine.StopAcquisition();

    // Next run: the eleventh frame comes within the same tick as the tenth.
    Configure("pace=free unplug_after=2");
    ASSERT_TRUE(engine.Initialize());
    engine.StartAcquisition();
    ASSERT_TRUE(engine.threadEndedEvent.wait(5000));
    engine.StopAcquisition();
    EXPECT_EQ(engine.frameRateRing[9], 50.0f); // doubled
    EXPECT_EQ(engine.frameRateRing[0], 50.0f); // and copied
    // Then a 40 ms interval measured from the previous run's last frame.
    EXPECT_EQ(engine.frameRateRing[1], 25.0f);
    EXPECT_EQ(engine.frameIntervalMs, 40u);
    EXPECT_EQ(engine.frameRatePos, 2);
    EXPECT_EQ(engine.frameRate, (25.0f * 8 + 50.0f + 50.0f) * 0.1f);
}

// --- Still hand-shake (engine side) -----------------------------------------

// Stands in for the preview pin: takes frames and serves still requests.
class StillConsumer {
public:
    explicit StillConsumer(CameraEngine &target) : engine(target), worker([this] { Run(); }) {}
    ~StillConsumer() {
        stop = true;
        worker.join();
    }
    std::atomic<int> served{0};
    std::atomic<int> refused{0};

private:
    void Run() {
        while (!stop) {
            engine.ExchangeFrame(engine.consumerBuffer, false);
            if (!engine.ClaimStillRequest(1)) {
                continue;
            }
            if (engine.stillToBufferPending) {
                if (engine.stillBufferSize < 8) {
                    ++refused; // too small: the pending flag stays set
                } else {
                    std::memset(engine.stillBuffer, 0xAB, engine.stillBufferSize);
                    engine.stillToBufferPending = false;
                    ++served;
                }
            } else {
                ++served; // a file still; the path stays valid while we serve
                EXPECT_STREQ(engine.stillFilePath, "still.bmp");
            }
            engine.FinishStill();
        }
    }
    CameraEngine &engine;
    std::atomic<bool> stop{false};
    std::thread worker;
};

TEST_F(AcquisitionTest, StillRequestsAreServedByTheConsumer) {
    CameraEngine engine;
    ASSERT_TRUE(engine.Initialize());
    engine.StartAcquisition();
    {
        StillConsumer consumer(engine);
        std::uint8_t buffer[16] = {};
        EXPECT_TRUE(engine.CaptureStillToBuffer(buffer, sizeof buffer, true, false));
        EXPECT_EQ(buffer[15], 0xAB);
        EXPECT_FALSE(engine.stillToBufferPending);
        std::uint8_t small[4] = {};
        EXPECT_FALSE(engine.CaptureStillToBuffer(small, sizeof small, true, false));
        EXPECT_EQ(small[0], 0);
        EXPECT_FALSE(engine.stillToBufferPending); // the requester cleared it
        engine.CaptureStillToFile("still.bmp");
        EXPECT_EQ(consumer.served, 2);
        EXPECT_EQ(consumer.refused, 1);
    }
    engine.StopAcquisition();
}

TEST_F(AcquisitionTest, UnservedStillRequestGivesUp) {
    CameraEngine engine;
    std::uint8_t buffer[16] = {};
    // Not running: returns at once.
    EXPECT_FALSE(engine.CaptureStillToBuffer(buffer, sizeof buffer, true, false));
    engine.CaptureStillToFile("still.bmp");
    EXPECT_FALSE(engine.stillRequestEvent.wait(0));

    ASSERT_TRUE(engine.Initialize());
    engine.StartAcquisition();
    engine.stillTimeoutMs = 200;
    const std::uint32_t start = platform::tickCount();
    EXPECT_FALSE(engine.CaptureStillToBuffer(buffer, sizeof buffer, true, false));
    engine.CaptureStillToFile("still.bmp");
    EXPECT_LT(platform::tickCount() - start, 3000u);
    EXPECT_FALSE(engine.stillRequestEvent.wait(0)); // withdrawn
    EXPECT_FALSE(engine.stillToBufferPending);
    // A withdrawn request is not served later.
    EXPECT_FALSE(engine.ClaimStillRequest(1));
    engine.StopAcquisition();
}

TEST_F(AcquisitionTest, StopWhileAStillWaitsReleasesTheRequester) {
    CameraEngine engine;
    ASSERT_TRUE(engine.Initialize());
    engine.StartAcquisition();
    std::uint8_t buffer[16] = {};
    std::atomic<bool> returned{false};
    std::thread requester([&] {
        engine.CaptureStillToBuffer(buffer, sizeof buffer, true, false);
        returned = true;
    });
    ASSERT_TRUE(WaitFor([&] { return engine.stillRequestEvent.wait(0); }, 2000));
    engine.running = false; // what a stop does first
    EXPECT_TRUE(WaitFor([&] { return returned.load(); }, 2000));
    requester.join();
    engine.StopAcquisition();
}

} // namespace
