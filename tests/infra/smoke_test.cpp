// Checks that the test toolchain gives a working C++ runtime in each build:
// standard threads and locks, and on Windows a program of the build's
// architecture with its runtime linked in.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

#include <gtest/gtest.h>

namespace {

TEST(Toolchain, ThreadsAndLocksWork) {
    std::mutex lock;
    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                std::lock_guard<std::mutex> guard(lock);
                ++counter;
            }
        });
    }
    for (auto &thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, 40000);
}

TEST(Toolchain, TimedWaitIsBounded) {
    std::mutex lock;
    std::condition_variable never;
    std::unique_lock<std::mutex> guard(lock);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(never.wait_for(guard, std::chrono::milliseconds(50), [] { return false; }));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));
}

#if defined(_WIN32)
TEST(Toolchain, WindowsProgramHasTheBuildsArchitectureAndStaticRuntime) {
    EXPECT_EQ(sizeof(void *), std::size_t{ORISCOPE_POINTER_SIZE});
    EXPECT_EQ(GetModuleHandleA("libstdc++-6.dll"), nullptr);
    EXPECT_EQ(GetModuleHandleA("libgcc_s_dw2-1.dll"), nullptr);
    EXPECT_EQ(GetModuleHandleA("libgcc_s_seh-1.dll"), nullptr);
    EXPECT_EQ(GetModuleHandleA("libwinpthread-1.dll"), nullptr);
}
#endif

// Lets exit_codes_test.sh prove that a failing test fails the run.
TEST(Deliberate, FailsWhenAsked) {
    if (std::getenv("ORISCOPE_INFRA_FAIL") != nullptr) {
        FAIL() << "failing on purpose (ORISCOPE_INFRA_FAIL is set)";
    }
}

} // namespace
