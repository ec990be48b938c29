// Shared fixture of the VEXALIB tests: the library loaded through its module
// boundary, the simulated camera library configured fresh for each test and
// the library's process-wide settings put back to their defaults.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/camera_engine.h"
#include "sim/midlib/midlib_sim.h"
#include "vexa_module.h"

namespace vexatest {

using Clock = std::chrono::steady_clock;
using RegisterWrite = std::pair<int, int>; // register, value

inline long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Register writes in the simulator's log since the last ClearLog.
std::vector<RegisterWrite> LoggedWrites();
int CountEvents(int kind);
// The last SetFrameFormat of the log (width, height); (-1, -1) when none.
std::pair<int, int> LastFrameFormat();

// Frame size the library derives from these settings (the host's sum).
struct FrameSize {
    int width = 0;
    int height = 0;
    std::size_t pixels() const { return std::size_t(width) * std::size_t(height); }
};
FrameSize ExpectedFrameSize(int sensorType, int mode, int regionWidth = 0, int regionHeight = 0);

// The frame camera `index` delivers now (static scenes: every frame), as
// many bytes as the current format holds.
std::vector<std::uint8_t> CameraFrame(int index, std::size_t bytes);

// What format 1 must give for `raw`: the library build's converter with
// these flips, packed to 24 bits (width x height x 3 bytes).
std::vector<std::uint8_t> ExpectedColour(const std::vector<std::uint8_t> &raw, FrameSize size, bool horizontalFlip,
                                         bool verticalFlip);

// Runs `call` on a helper thread and waits at most limitMs for it. A call
// that does not return cannot be cancelled, so the test program then ends
// with a failure instead of hanging.
void RunBounded(const char *what, int limitMs, const std::function<void()> &call);

class VexaTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Replaces the simulator's configuration; the library's camera is closed first.
    static void Configure(const char *config);
    // Fetches frames until one arrives (bounded); true when one did.
    static bool WaitForFrame(std::uint8_t *buffer, int format);

    const VexaApi &vexa = Vexa();
};

} // namespace vexatest
