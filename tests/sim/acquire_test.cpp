// Frame delivery: unplugging, transient faults, pacing, wake-ups on stop and
// close, and concurrent use from several threads.
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "tests/sim/sim_test_support.h"

namespace simtest {
namespace {

using Clock = std::chrono::steady_clock;
using Acquire = SimTest;

std::uint16_t tryFrame(CameraRecord *camera, std::vector<std::uint8_t> &buffer) {
    buffer.resize(camera->sensor->frameBufferSize);
    return camera->AcquireFrame(camera, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
}

long long millisecondsFor(CameraRecord *camera, int frames) {
    std::vector<std::uint8_t> buffer;
    const auto start = Clock::now();
    for (int i = 0; i < frames; ++i) {
        EXPECT_EQ(tryFrame(camera, buffer), kMiSuccess);
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST_F(Acquire, UnplugAfterNFramesIsForGood) {
    openStarted("pace=free unplug_after=5");
    setFormat(16, 16);
    std::vector<std::uint8_t> buffer;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(tryFrame(camera(), buffer), kMiSuccess) << i;
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(tryFrame(camera(), buffer), kMiCameraGone);
    }
    EXPECT_EQ(midsim_FramesDelivered(0), 5);
    midsim_SetUnplugAfter(0, -1);
    EXPECT_EQ(tryFrame(camera(), buffer), kMiCameraGone) << "an unplugged camera does not come back";

    mi_CloseCameras();
    reopen();
    camera()->StartCamera(camera());
    EXPECT_EQ(tryFrame(camera(), buffer), kMiSuccess) << "a new open finds it again";
}

TEST_F(Acquire, UnplugSetOnAnOpenCameraCountsFromNow) {
    openStarted("pace=free");
    setFormat(16, 16);
    std::vector<std::uint8_t> buffer;
    EXPECT_EQ(tryFrame(camera(), buffer), kMiSuccess);
    EXPECT_EQ(tryFrame(camera(), buffer), kMiSuccess);
    midsim_SetUnplugAfter(0, 2);
    EXPECT_EQ(tryFrame(camera(), buffer), kMiSuccess);
    EXPECT_EQ(tryFrame(camera(), buffer), kMiSuccess);
    EXPECT_EQ(tryFrame(camera(), buffer), kMiCameraGone);

    openStarted("pace=free cameras=2");
    midsim_SetUnplugAfter(1, 0);
    camera(1)->StartCamera(camera(1));
    EXPECT_EQ(tryFrame(camera(1), buffer), kMiCameraGone);
    EXPECT_EQ(tryFrame(camera(0), buffer), kMiSuccess);
}

TEST_F(Acquire, TransientFaultsThenFramesAgain) {
    openStarted("pace=free");
    setFormat(16, 16);
    std::vector<std::uint8_t> buffer;
    midsim_FailNextAcquires(0, 3, 7);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(tryFrame(camera(), buffer), 7);
    }
    EXPECT_EQ(tryFrame(camera(), buffer), kMiSuccess);
    EXPECT_EQ(midsim_FramesDelivered(0), 1);
    for (const std::uint16_t reserved : {kMiSuccess, kMiCameraGone}) {
        midsim_FailNextAcquires(0, 1, reserved);
        const std::uint16_t status = tryFrame(camera(), buffer);
        EXPECT_NE(status, kMiSuccess);
        EXPECT_NE(status, kMiCameraGone);
    }
    EXPECT_EQ(tryFrame(camera(), buffer), kMiSuccess);
}

TEST_F(Acquire, OnlyAStartedCameraDelivers) {
    open("pace=free");
    setFormat(16, 16);
    std::vector<std::uint8_t> buffer;
    std::uint16_t status = tryFrame(camera(), buffer);
    EXPECT_NE(status, kMiSuccess);
    EXPECT_NE(status, kMiCameraGone);
    camera()->StartCamera(camera());
    EXPECT_EQ(tryFrame(camera(), buffer), kMiSuccess);
    camera()->StopCamera(camera());
    status = tryFrame(camera(), buffer);
    EXPECT_NE(status, kMiSuccess);
    EXPECT_NE(status, kMiCameraGone);
    EXPECT_NE(camera()->AcquireFrame(camera(), nullptr, 16), kMiSuccess);
}

TEST_F(Acquire, FixedPaceDeliversAtThatRate) {
    openStarted("pace=100");
    setFormat(64, 64);
    const long long ms = millisecondsFor(camera(), 10);
    EXPECT_GE(ms, 50);
    EXPECT_LE(ms, 1000);
}

TEST_F(Acquire, SensorPaceFollowsTheTimingRegisters) {
    // A 64 x 64 window with a 1200-row shutter: (63 + 9 + 226) x 1200 clocks
    // at 12 MHz, about 30 ms a frame.
    openStarted("");
    write(0x03, 63);
    write(0x04, 63);
    write(0x09, 1199);
    setFormat(64, 64);
    camera()->StopCamera(camera());
    camera()->StartCamera(camera());
    const long long ms = millisecondsFor(camera(), 5);
    EXPECT_GE(ms, 75);
    EXPECT_LE(ms, 1500);
}

TEST_F(Acquire, FreePaceDoesNotWait) {
    openStarted("pace=1");
    midsim_SetPace(0, 0);
    setFormat(64, 64);
    EXPECT_LT(millisecondsFor(camera(), 20), 1000) << "a 1 fps camera would take 20 s";
}

// A paced wait ends when the camera stops or the library closes, so an
// engine's shutdown is not held up for a whole frame time.
TEST_F(Acquire, StopAndCloseEndAPacedWait) {
    openStarted("pace=1");
    setFormat(16, 16);
    std::vector<std::uint8_t> buffer(256);
    CameraRecord *c = camera();
    const MiAcquireFrame acquire = c->AcquireFrame;
    for (const bool close : {false, true}) {
        SCOPED_TRACE(close);
        c->StartCamera(c);
        auto pending = std::async(std::launch::async, [&] { return acquire(c, buffer.data(), 256); });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (close) {
            mi_CloseCameras();
        } else {
            c->StopCamera(c);
        }
        ASSERT_EQ(pending.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        const std::uint16_t status = pending.get();
        EXPECT_NE(status, kMiSuccess);
        if (close) {
            EXPECT_EQ(status, kMiCameraGone);
        }
    }
}

// One thread acquires while others change registers and query the library,
// as an engine's acquisition thread and its property page do.
TEST_F(Acquire, ConcurrentUseIsSafe) {
    openStarted("cameras=2 pace=free noise=4 hotpixels=3");
    setFormat(160, 128, 0);
    camera(1)->StartCamera(camera(1));
    setFormat(160, 128, 1);
    std::atomic<bool> done{false};
    auto grabber = [this](int index) {
        std::vector<std::uint8_t> buffer;
        for (int i = 0; i < 200; ++i) {
            EXPECT_EQ(tryFrame(camera(index), buffer), kMiSuccess);
        }
    };
    auto tweaker = [this, &done] {
        for (int i = 0; !done; ++i) {
            write(0x35, 0x40 + i % 0x26);
            write(0x09, i % 3000);
            write(0x02, 0x14 + 2 * (i % 8));
            std::uint16_t value = 0;
            camera(1)->GetSensorRegister(camera(1), kBus, 0x35, &value);
            std::vector<std::uint8_t> rendered(160 * 128);
            midsim_RenderFrame(0, rendered.data(), static_cast<std::uint32_t>(rendered.size()));
            midsim_FramesDelivered(1);
            midsim_EventCount();
            midsim_PeekRegister(0, 0x35);
        }
    };
    auto first = std::async(std::launch::async, grabber, 0);
    auto second = std::async(std::launch::async, grabber, 1);
    auto changes = std::async(std::launch::async, tweaker);
    const bool grabbed = first.wait_for(std::chrono::seconds(60)) == std::future_status::ready &&
                         second.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    done = true;
    ASSERT_TRUE(grabbed);
    ASSERT_EQ(changes.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(midsim_FramesDelivered(0), 200);
    EXPECT_EQ(midsim_FramesDelivered(1), 200);
}

} // namespace
} // namespace simtest
