// A soak of VEXALIB through its module boundary: 200 initialise, start, get,
// stop cycles with every setting changing, and cycles in which the camera is
// unplugged mid-stream and comes back; after either the process holds no
// more memory, handles or threads than after the first cycles.
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "vexa_test_support.h"

#if defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include "tests/support/process_handles.h"
#else
#include <dirent.h>
#include <malloc.h>
#endif

using namespace vexatest;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers keep freed memory in quarantine; the leak checker covers
// memory there instead.
constexpr bool kMeasureHeap = false;
#else
constexpr bool kMeasureHeap = true;
#endif

struct Resources {
    long long heapBytes = 0; // bytes the process has allocated and not freed
    long long handles = 0;   // open handles (Windows) or file descriptors
    long long threads = 0;
};

#if defined(_WIN32)
long long CountThreads() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    long long count = 0;
    THREADENTRY32 thread{};
    thread.dwSize = sizeof thread;
    for (BOOL more = Thread32First(snapshot, &thread); more; more = Thread32Next(snapshot, &thread)) {
        count += thread.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    }
    CloseHandle(snapshot);
    return count;
}

Resources Measure() {
    Resources r;
    // The commit charge (private bytes); Wine leaves PrivateUsage at 0.
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        r.heapBytes = static_cast<long long>(counters.PagefileUsage);
    }
    r.handles = CountHandles();
    r.threads = CountThreads();
    return r;
}
#else
long long CountEntries(const char *directory) {
    long long count = 0;
    if (DIR *dir = opendir(directory)) {
        while (readdir(dir) != nullptr) {
            ++count;
        }
        closedir(dir);
    }
    return count;
}

Resources Measure() {
    Resources r;
    r.heapBytes = static_cast<long long>(mallinfo2().uordblks);
    r.handles = CountEntries("/proc/self/fd");
    r.threads = CountEntries("/proc/self/task");
    return r;
}
#endif

class SoakTest : public VexaTest {
protected:
    // One cycle; `i` picks the settings.
    void Cycle(int i) {
        // Another camera (1280 x 1024 or 1600 x 1200) every third cycle,
        // detected anew; mostly small frames, so the soak stays quick under
        // the sanitizers.
        const int camera = 1 + (i / 3) % 2;
        const int sensorType = camera == 1 ? 1 : 2;
        const int modes[] = {kModeCustom, kModeQuarter, kModeHalf, kModeCustom, kModeQuarter, kModeFull};
        const int mode = modes[i % 6];
        vexa.VexaSetCameraNumber(camera);
        if (i % 3 == 0) {
            vexa.VexaSetSensorType();
        }
        vexa.VexaSetCaptureResolution(mode);
        vexa.VexaSetRegion(2 * (i % 7), i % 5, 64 + i, 48 + 2 * i);
        vexa.VexaSetGain(i * 7 - 300);
        vexa.VexaSetFlipHorizontal(i % 3 == 0);
        vexa.VexaSetFlipVertical(i % 5 == 0);
        ASSERT_EQ(vexa.VexaInitialize(), 1) << "cycle " << i;
        if (i % 10 == 3) {
            ASSERT_EQ(vexa.VexaInitialize(), 1) << "cycle " << i; // twice in a row
        }
        vexa.VexaSetShutterWidth(i * 97);
        vexa.VexaSetShutterDelay(-i);
        vexa.VexaSetRegVal(0x2B, i);
        const FrameSize size = ExpectedFrameSize(sensorType, mode, 64 + i, 48 + 2 * i);
        std::vector<std::uint8_t> buffer(size.pixels() * 4);
        if (i % 4 == 1) {
            ASSERT_EQ(vexa.VexaGetSingleBitmap(buffer.data(), 0, i % 8 == 1 ? 0 : 1, 3), 1) << "cycle " << i;
        }
        ASSERT_EQ(vexa.VexaStart(), 1) << "cycle " << i;
        const int formats[] = {VEXA_FORMAT_RAW, VEXA_FORMAT_COLOUR, 7};
        ASSERT_TRUE(WaitForFrame(buffer.data(), formats[i % 3])) << "cycle " << i;
        vexa.VexaSetGain(i);
        vexa.VexaSetFlipHorizontal(i % 2);
        ASSERT_TRUE(WaitForFrame(i % 6 == 0 ? nullptr : buffer.data(), formats[(i + 1) % 3])) << "cycle " << i;
        if (i % 50 == 7 && mode != kModeFull) {
            vexa.VexaCaptureStillImage(still.c_str());
        }
        // End in each of the ways a host may end.
        if (i % 3 == 2) {
            vexa.VexaUnload();
        } else {
            vexa.VexaStop();
        }
        vexa.VexaUnload();
    }
    std::string still = ::testing::TempDir() + "vexa-soak.bmp";
};

// Prints and checks what changed since `before`.
void ExpectNothingLeft(const char *soak, int cycles, int warmUp, const Resources &before) {
    Resources after = Measure();
    // A thread just joined can still be listed for a moment while the system
    // reaps it: give the count up to a second to settle.
    for (int tries = 0; tries < 100 && after.threads > before.threads; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        after = Measure();
    }
    std::printf("%s, after %d cycles: %lld heap bytes (%+lld), %lld handles (%+lld), %lld threads (%+lld) since "
                "cycle %d\n",
                soak, cycles, after.heapBytes, after.heapBytes - before.heapBytes, after.handles,
                after.handles - before.handles, after.threads, after.threads - before.threads, warmUp);
    // A leaked frame buffer per cycle would add hundreds of megabytes.
    if (kMeasureHeap) {
        EXPECT_LT(after.heapBytes - before.heapBytes, 8LL << 20);
    }
    EXPECT_LE(after.handles - before.handles, 4);
    EXPECT_LE(after.threads - before.threads, 0);
}

TEST_F(SoakTest, TwoHundredCyclesWithEverySettingChanging) {
    Configure("pace=200 sensor=1,2");
    constexpr int kWarmUp = 20;
    constexpr int kCycles = 200;
    Resources before;
    for (int i = 0; i < kCycles; ++i) {
        if (i == kWarmUp) {
            before = Measure();
        }
        Cycle(i);
        if (HasFatalFailure()) {
            return;
        }
        ASSERT_EQ(midsim_OpenRecords(), 0) << "cycle " << i;
    }
    std::remove(still.c_str());
    ExpectNothingLeft("settings soak", kCycles, kWarmUp, before);
}

// Initialise, start, frames flow, the camera goes away after a few more
// frames, the frames stop, stop; the next cycle's initialise finds the
// camera back and frames flow again.
TEST_F(SoakTest, UnplugAndReturnCycles) {
    Configure("pace=200");
    constexpr int kWarmUp = 2;
    constexpr int kCycles = 30;
    vexa.VexaSetCaptureResolution(kModeQuarter);
    std::vector<std::uint8_t> buffer(ExpectedFrameSize(1, kModeQuarter).pixels() * 4);
    Resources before;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i <= kCycles; ++i) {
        if (i == kWarmUp) {
            before = Measure();
        }
        ASSERT_EQ(vexa.VexaInitialize(), 1) << "cycle " << i;
        ASSERT_EQ(vexa.VexaStart(), 1) << "cycle " << i;
        ASSERT_TRUE(WaitForFrame(buffer.data(), VEXA_FORMAT_COLOUR)) << "no frames after the return, cycle " << i;
        ASSERT_TRUE(WaitForFrame(buffer.data(), VEXA_FORMAT_RAW)) << "cycle " << i;
        if (i == kCycles) {
            break; // the last return only shows that frames flow again
        }
        midsim_SetUnplugAfter(0, i % 3);
        int frames = 0;
        RunBounded("fetching frames until the unplug", 10000, [&] {
            while (frames <= 10 && vexa.VexaGetBitmap(buffer.data(), 0, VEXA_FORMAT_COLOUR, 2000) == 1) {
                ++frames;
            }
        });
        // Beyond the counted frames, one may be published and not yet fetched,
        // and one may be in flight in the camera (its acquire already granted).
        EXPECT_LE(frames, i % 3 + 2) << "frames after the unplug, cycle " << i;
        RunBounded("VexaStop after the unplug", 10000, [&] { EXPECT_EQ(vexa.VexaStop(), 1); });
        ASSERT_EQ(midsim_OpenRecords(), 0) << "cycle " << i;
        midsim_SetUnplugAfter(0, -1); // plugged in again: the next open finds it
    }
    vexa.VexaStop();
    vexa.VexaUnload();
    std::printf("%d unplug cycles in %lld ms\n", kCycles, MillisecondsSince(start));
    ExpectNothingLeft("unplug soak", kCycles, kWarmUp, before);
}

} // namespace
