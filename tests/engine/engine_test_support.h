// Shared fixture for the engine tests: a freshly configured simulated camera
// library, observable OS seams and the register log in a readable form.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "engine/camera_engine.h"
#include "sim/midlib/midlib_sim.h"

namespace enginetest {

using RegisterWrite = std::pair<int, int>; // register, value

// Register writes in the simulator's log since the last ClearLog.
inline std::vector<RegisterWrite> LoggedWrites() {
    std::vector<RegisterWrite> writes;
    for (int i = 0; i < midsim_EventCount(); ++i) {
        MidsimEvent event{};
        if (midsim_GetEvent(i, &event) && event.kind == MIDSIM_WRITE) {
            writes.emplace_back(event.reg, event.value);
        }
    }
    return writes;
}

inline int CountEvents(int kind) {
    int count = 0;
    for (int i = 0; i < midsim_EventCount(); ++i) {
        MidsimEvent event{};
        if (midsim_GetEvent(i, &event) && event.kind == kind) {
            ++count;
        }
    }
    return count;
}

inline std::string LastSensorDataPath() {
    char path[300] = {};
    midsim_LastSensorDataPath(path, sizeof path);
    return path;
}

// Beeps and message boxes observed through the platform seams.
struct Observed {
    static inline std::atomic<int> beeps{0};
    static inline std::atomic<int> otherBeeps{0};
    static inline std::vector<std::pair<std::string, std::string>> boxes;
    static inline std::vector<unsigned> exits;
    static inline bool missingSystemDirectory = false;

    static void Beep(std::uint32_t hz, std::uint32_t ms) { (hz == 300 && ms == 100 ? beeps : otherBeeps)++; }
    static void Box(const std::string &text, const std::string &caption) { boxes.emplace_back(text, caption); }
    static void Exit(unsigned code) { exits.push_back(code); }
    static bool SystemDirectory(std::wstring &directory, unsigned) {
        if (missingSystemDirectory) {
            return false;
        }
        directory = L"C:\\windows\\system32";
        return true;
    }
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        Observed::beeps = 0;
        Observed::otherBeeps = 0;
        Observed::boxes.clear();
        Observed::exits.clear();
        Observed::missingSystemDirectory = false;
        platform::seams::setBeepHook(&Observed::Beep);
        platform::seams::setMessageBoxHook(&Observed::Box);
        platform::seams::setExitHook(&Observed::Exit);
        platform::seams::setSystemDirectoryHook(&Observed::SystemDirectory);
        Configure("pace=free");
    }
    void TearDown() override {
        // Every test must leave the process-wide table closed.
        EXPECT_EQ(SharedCameraTable().openCount, 0);
        platform::seams::setBeepHook(nullptr);
        platform::seams::setMessageBoxHook(nullptr);
        platform::seams::setExitHook(nullptr);
        platform::seams::setSystemDirectoryHook(nullptr);
        platform::seams::setTickSource(nullptr);
    }
    static void Configure(const char *config) {
        ASSERT_EQ(midsim_Configure(config), 0) << config;
        midsim_ClearLog();
    }
};

} // namespace enginetest
