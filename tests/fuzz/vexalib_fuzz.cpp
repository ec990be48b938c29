// Fuzz target: VEXALIB as a host drives it. One case configures the
// simulated camera library (one to three cameras of fuzzed sensor types),
// then runs a fuzzed sequence of the 26 exported functions with fuzzed
// arguments, interleaved with faults injected at fuzzed moments (unplug,
// failing register reads and writes, transient acquisition errors, no camera,
// a failing open). Arguments stay within the header's contract: frame
// buffers are exactly as large as the frame the settings give (against a
// guard page, so a write past them faults). Oracle: no sanitizer report,
// every call returns within a bound, the results the header promises, and
// a frame call that delivers nothing leaves the buffer untouched.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "exported/include/vexalib.h"
#include "fuzz_input.h"
#include "sim/midlib/midlib_sim.h"
#include "tests/imaging/guarded_buffer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kUnknownSensor = -100;

// What the host knows from the settings it made.
struct HostModel {
    int cameras = 1;
    int sensorOf[3] = {1, 1, 1}; // per camera, as configured
    int cameraNumber = 1;
    int sensorType = 1;   // the last detection's result, or kUnknownSensor
    bool faulted = false; // a fault was injected: detection may have failed
    int mode = 2;
    int regionX = 0, regionY = 0, regionWidth = 64, regionHeight = 48;
    int gain = 25;
    bool flipHorizontal = false, flipVertical = false;
    bool initialized = false; // the last VexaInitialize succeeded and no stop since
    bool running = false;
    // VexaStop or VexaUnload came last of the calls that open or close the
    // camera (detection and VexaInitialize open it).
    bool cameraClosed = true;
    int frameWidth = 0, frameHeight = 0; // fixed by the last successful VexaInitialize

    static bool FullSize(int type, int &width, int &height) {
        static constexpr int kSizes[3][2] = {{1280, 1024}, {1600, 1200}, {2048, 1536}};
        if (type < 1 || type > 3) {
            width = height = 0;
            return false;
        }
        width = kSizes[type - 1][0];
        height = kSizes[type - 1][1];
        return true;
    }
    // The frame size VexaInitialize fixed, as far as the host can tell
    // (0 x 0: unknown, or no frame): only a known sensor has one.
    void FrameSizeFromSettings() {
        int width = 0, height = 0;
        if (sensorType < 1 || sensorType > 3) {
            frameWidth = frameHeight = 0;
            return;
        }
        FullSize(sensorType, width, height);
        switch (mode) {
        case 1:
            width /= 2, height /= 2;
            break;
        case 2:
            width /= 4, height /= 4;
            break;
        case 3:
            width = regionWidth, height = regionHeight;
            break;
        default:
            break;
        }
        frameWidth = width;
        frameHeight = height;
    }
    // The region rule the header gives: inside the sensor, at least 5 x 5,
    // nothing negative (no size check for an unknown sensor).
    bool RegionFits(int x, int y, int width, int height) const {
        if (x < 0 || y < 0 || width < 5 || height < 5)
            return false;
        int fullWidth = 0, fullHeight = 0;
        if (!FullSize(sensorType, fullWidth, fullHeight))
            return true;
        return std::int64_t(x) + width <= fullWidth && std::int64_t(y) + height <= fullHeight;
    }
};

// Runs `call` and checks that it returned within `limitMs`.
template <typename Call> std::int32_t Bounded(const char *what, long limitMs, Call call) {
    const Clock::time_point start = Clock::now();
    const std::int32_t result = call();
    const long elapsed = long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    FUZZ_CHECK(elapsed <= limitMs, "%s took %ld ms (bound %ld ms)", what, elapsed, limitMs);
    return result;
}

// Calls without a stated wait still open or close a camera: generous bounds
// for a loaded, sanitised machine.
constexpr long kQuickMs = 3000;
constexpr long kStillMs = 2000 + kQuickMs;

// ORISCOPE_FUZZ_TRACE=1 prints each step, for reading a finding.
bool Tracing() {
    static const bool tracing = std::getenv("ORISCOPE_FUZZ_TRACE") != nullptr;
    return tracing;
}

const std::string &StillFile() {
    static const std::string path = [] {
        const std::filesystem::path folder =
            std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
        return (folder / ("oriscope-fuzz-vexa-" + std::to_string(getpid()) + ".bmp")).string();
    }();
    return path;
}

// A frame call with a buffer of exactly the current frame's size (raw: one
// byte per pixel, colour: four), filled with a pattern first: when the call
// delivers nothing the pattern must still be there.
void FrameCall(FuzzInput &in, HostModel &host, bool single) {
    const bool colour = in.Flag();
    const int format = in.Between(0, 7) == 0 ? in.Between(-1, 5) : (colour ? VEXA_FORMAT_COLOUR : VEXA_FORMAT_RAW);
    const bool nullBuffer = in.Between(0, 7) == 0;
    const std::size_t pixels = std::size_t(host.frameWidth) * std::size_t(host.frameHeight);
    const std::size_t bytes = format == VEXA_FORMAT_COLOUR ? pixels * 4 : pixels;
    // Without a successful VexaInitialize the host knows no frame size: it passes none.
    const bool withBuffer = !nullBuffer && host.initialized && bytes > 0;
    GuardedBuffer buffer(withBuffer ? bytes : 1, GuardedBuffer::Guard::kAfter);
    std::memset(buffer.data(), 0xA5, buffer.size());
    std::uint8_t *target = withBuffer ? buffer.data() : nullptr;
    std::int32_t result = 0;
    if (single) {
        const int attempts = in.Between(-1, 3);
        result =
            Bounded("VexaGetSingleBitmap", kQuickMs, [&] { return VexaGetSingleBitmap(target, 0, format, attempts); });
        if (host.running || !host.initialized || attempts <= 0)
            FUZZ_CHECK(result == 0, "VexaGetSingleBitmap succeeded (running %d, initialised %d, attempts %d)",
                       host.running, host.initialized, attempts);
    } else {
        const auto retries = static_cast<std::uint32_t>(in.Between(0, 30));
        result = Bounded("VexaGetBitmap", long(retries) * 3 + kQuickMs,
                         [&] { return VexaGetBitmap(target, 0, format, retries); });
    }
    FUZZ_CHECK(result == 0 || result == 1, "a frame call returned %d", result);
    // A raw single grab may leave what a failed grab wrote; everything else is untouched.
    const bool mayHoldFailedGrab = single && format == VEXA_FORMAT_RAW;
    if (withBuffer && result == 0 && !mayHoldFailedGrab)
        for (std::size_t i = 0; i < bytes; ++i)
            FUZZ_CHECK(buffer.data()[i] == 0xA5, "a frame call that delivered nothing wrote byte %zu", i);
}

void CheckGetters(const HostModel &host) {
    std::int32_t value = -12345;
    FUZZ_CHECK(VexaGetGain(&value) == 1 && value == host.gain, "gain %d, expected %d", value, host.gain);
    FUZZ_CHECK(VexaGetCaptureResolution(&value) == 1 && value == host.mode, "mode %d, expected %d", value, host.mode);
    FUZZ_CHECK(VexaGetCameraNumber(&value) == 1 && value == host.cameraNumber, "camera %d, expected %d", value,
               host.cameraNumber);
    std::uint8_t flag = 0xEE;
    FUZZ_CHECK(VexaGetFlipHorizontal(&flag) == 1 && flag == (host.flipHorizontal ? 1 : 0), "horizontal flip %d",
               int{flag});
    FUZZ_CHECK(VexaGetFlipVertical(&flag) == 1 && flag == (host.flipVertical ? 1 : 0), "vertical flip %d", int{flag});
    if (host.cameraClosed) {
        FUZZ_CHECK(VexaGetShutterWidth(&value) == 1 && value == -1, "shutter width %d without a camera", value);
        FUZZ_CHECK(VexaGetCamSN(&value) == 1 && value == 0, "serial number %d without a camera", value);
    }
    // Null pointers are ignored.
    FUZZ_CHECK(VexaGetGain(nullptr) == 1 && VexaGetFlipVertical(nullptr) == 1 && VexaGetRegVal(0, nullptr) == 1,
               "a getter refused a null pointer");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzInput in(data, size);
    HostModel host;
    // Each case starts from a known library state: stopped, camera 1 of a
    // freshly configured library detected, a region every sensor holds.
    VexaStop();
    host.cameras = in.Between(1, 3);
    char config[64] = {};
    for (int i = 0; i < host.cameras; ++i)
        host.sensorOf[i] = in.Between(1, 3);
    std::snprintf(config, sizeof config, "pace=free cameras=%d sensor=%d,%d,%d", host.cameras, host.sensorOf[0],
                  host.sensorOf[1], host.sensorOf[2]);
    FUZZ_CHECK(midsim_Configure(config) == 0, "configuration \"%s\" refused", config);
    VexaSetCameraNumber(1);
    VexaSetSensorType();
    VexaUnload(); // detection leaves the camera open
    host.sensorType = host.sensorOf[0];
    VexaSetRegion(0, 0, 64, 48);
    // Quarter frames unless the case asks for another mode: whole frames
    // cost the sanitised converter tens of milliseconds each.
    VexaSetCaptureResolution(2);
    VexaSetGain(25);
    VexaSetFlipHorizontal(0);
    VexaSetFlipVertical(0);

    const int steps = in.Between(1, 40);
    for (int step = 0; step < steps && in.RestSize() > 0; ++step) {
        std::int32_t result = 1;
        const int operation = in.Between(0, 24);
        if (Tracing())
            std::fprintf(stderr, "step %d: operation %d (initialised %d, running %d, sensor %d)\n", step, operation,
                         host.initialized, host.running, host.sensorType);
        switch (operation) {
        case 0:
            result = Bounded("VexaInitialize", kQuickMs, [] { return VexaInitialize(); });
            FUZZ_CHECK(result == 0 || result == 1, "VexaInitialize returned %d", result);
            host.running = false;
            host.cameraClosed = false;
            host.initialized = result == 1;
            if (host.initialized)
                host.FrameSizeFromSettings();
            continue;
        case 1:
            result = Bounded("VexaStart", kQuickMs, [] { return VexaStart(); });
            // After a fault (an unplugged camera) acquisition may have ended
            // for good: then 0 is the honest answer.
            FUZZ_CHECK(result == (host.initialized ? 1 : 0) || (host.faulted && result == 0),
                       "VexaStart returned %d (initialised %d)", result, host.initialized);
            host.running = result == 1;
            continue;
        case 2:
            result = Bounded("VexaStop", kQuickMs, [] { return VexaStop(); });
            host.initialized = host.running = false;
            host.cameraClosed = true;
            break;
        case 3:
            result = Bounded("VexaUnload", kQuickMs, [] { return VexaUnload(); });
            host.initialized = host.running = false;
            host.cameraClosed = true;
            break;
        case 4:
            result = Bounded("VexaSetSensorType", kQuickMs, [] { return VexaSetSensorType(); });
            host.cameraClosed = false;
            if (!host.initialized) {
                // Detection of camera N: its type, 0 when there is no such
                // camera; after a fault the host cannot tell.
                const bool exists = host.cameraNumber >= 1 && host.cameraNumber <= host.cameras;
                host.sensorType = host.faulted ? kUnknownSensor : exists ? host.sensorOf[host.cameraNumber - 1] : 0;
            }
            break;
        case 5: {
            const int number = in.Between(-1, 4);
            result = VexaSetCameraNumber(number);
            host.cameraNumber = number;
            break;
        }
        case 6:
        case 7:
            FrameCall(in, host, false);
            continue;
        case 8:
            FrameCall(in, host, true);
            continue;
        case 9:
            if (in.Between(0, 3) == 0)
                result = Bounded("VexaCaptureStillImage", kStillMs,
                                 [&] { return VexaCaptureStillImage(in.Flag() ? StillFile().c_str() : nullptr); });
            break;
        case 10: {
            const std::int32_t gain = static_cast<std::int32_t>(in.Between(-200, 200) * (in.Flag() ? 1 : 10000000));
            result = VexaSetGain(gain);
            host.gain = int((gain < 0 ? -std::int64_t(gain) : std::int64_t(gain)) % 100);
            break;
        }
        case 11: {
            const int mode = in.Between(-1, 5);
            result = VexaSetCaptureResolution(mode);
            if (mode >= 0 && mode <= 3)
                host.mode = mode;
            break;
        }
        case 12: {
            const int x = in.Between(-4, 2100), y = in.Between(-4, 1600);
            const int width = in.Between(-1, 2100), height = in.Between(-1, 1600);
            result = VexaSetRegion(x, y, width, height);
            if (host.RegionFits(x, y, width, height)) {
                host.regionX = x, host.regionY = y, host.regionWidth = width, host.regionHeight = height;
            }
            break;
        }
        case 13:
            result = VexaSetShutterDelay(in.Between(-3000, 3000));
            break;
        case 14:
            result = VexaSetShutterWidth(in.Between(-20000, 20000));
            break;
        case 15: {
            const std::int32_t flag = in.Between(0, 0x3FF);
            if (in.Flag()) {
                result = VexaSetFlipHorizontal(flag);
                host.flipHorizontal = (flag & 0xFF) != 0;
            } else {
                result = VexaSetFlipVertical(flag);
                host.flipVertical = (flag & 0xFF) != 0;
            }
            break;
        }
        case 16: {
            std::int32_t value = 0;
            const int reg = in.Between(0, 255);
            result = in.Flag() ? VexaSetRegVal(reg, in.Between(0, 0xFFFF)) : VexaGetRegVal(reg, &value);
            break;
        }
        case 17: {
            std::int32_t value = 0;
            switch (in.Between(0, 2)) {
            case 0:
                result = VexaGetShutterDelay(&value);
                break;
            case 1:
                result = VexaGetShutterWidth(&value);
                break;
            default:
                result = VexaGetCamSN(&value);
                break;
            }
            break;
        }
        case 18:
            host.faulted = true;
            midsim_SetUnplugAfter(in.Between(0, 2), in.Between(-1, 6));
            continue;
        case 19: {
            static constexpr std::uint16_t kStatuses[] = {1, 2, 4, 5, 7};
            host.faulted = true;
            midsim_FailNextAcquires(in.Between(0, 2), in.Between(0, 8), kStatuses[in.Between(0, 4)]);
            continue;
        }
        case 20:
            host.faulted = true;
            midsim_FailRegisterReads(in.Between(0, 2), in.Between(-1, 255), in.Flag());
            continue;
        case 21:
            host.faulted = true;
            midsim_FailRegisterWrites(in.Between(0, 2), in.Between(-1, 255), in.Flag());
            continue;
        case 22:
            host.faulted = true;
            midsim_SetOpenFailure(in.Flag());
            continue;
        case 23:
            host.faulted = true;
            midsim_SetNoCamera(in.Flag());
            continue;
        default:
            CheckGetters(host);
            continue;
        }
        FUZZ_CHECK(result == 1, "a call that always succeeds returned %d", result);
    }
    CheckGetters(host);
    Bounded("VexaStop", kQuickMs, [] { return VexaStop(); });
    midsim_Configure(nullptr);
    return 0;
}
