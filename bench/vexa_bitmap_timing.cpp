// VEXALIB's colour frames against the default conversion of the same frame.
#include "vexa_bitmap_timing.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "vexalib.h"
#include "imaging/frame_converter.h"
#include "imaging/still_file.h"
#include "sim/midlib/midlib_sim.h"

namespace {

using Clock = std::chrono::steady_clock;

// A frame every 10 ms: a pair takes a few, so the camera's thread sleeps
// through it. Static, so every frame is the one the reference converts; with
// noise and as many hot samples as the converter benchmark's frame.
std::string CameraConfig(int sensorType) {
    return "sensor=" + std::to_string(sensorType) + " pace=100 static=1 noise=9 hotpixels=1500";
}

constexpr auto kFrameWait = std::chrono::seconds(2);

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

VexaBitmapTiming::VexaBitmapTiming(int sensorType) {
    VexaStop(); // the camera of an earlier timing goes before the simulator is reconfigured
    if (midsim_Configure(CameraConfig(sensorType).c_str()) != 0) {
        failure = "the simulated camera refused its configuration";
        return;
    }
    VexaSetSensorType();
    VexaSetCaptureResolution(0);
    if (!SensorFullSize(sensorType, frameWidth, frameHeight) || VexaInitialize() != 1 || VexaStart() != 1) {
        failure = "VEXALIB did not start on sensor " + std::to_string(sensorType);
        return;
    }
    // The camera's raw frame (static: every frame is this one). The
    // conversion reads a little past the last row; the library's buffers
    // hold zeros there, and so does this copy. The library's conversion has
    // no defect correction, so it never changes the copy, which is not made
    // again before each conversion (that would also hand the reference a
    // frame fresh in the cache).
    const std::size_t pixels = std::size_t(frameWidth) * std::size_t(frameHeight);
    raw.assign(pixels + 4 * std::size_t(frameWidth) + 64, 0);
    if (VexaGetBitmap(raw.data(), 0, VEXA_FORMAT_RAW, 5000) != 1) {
        failure = "no raw frame within 5 s";
        return;
    }
    picture.resize(4 * pixels);
    reference.resize(4 * pixels);
}

VexaBitmapTiming::~VexaBitmapTiming() {
    VexaStop();
}

bool VexaBitmapTiming::takePendingFrame(double &seconds) {
    const Clock::time_point start = Clock::now();
    while (Clock::now() - start < kFrameWait) {
        const Clock::time_point call = Clock::now();
        if (VexaGetBitmap(picture.data(), 0, VEXA_FORMAT_COLOUR, 0) == 1) {
            seconds = SecondsSince(call);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    failure = "no colour frame within 2 s";
    return false;
}

double VexaBitmapTiming::convertReference() {
    const Clock::time_point start = Clock::now();
    FrameConverter::convert(defaults, raw.data(), reference.data(), frameWidth, frameHeight, frameWidth);
    return SecondsSince(start);
}

bool VexaBitmapTiming::measure(BitmapPair &pair) {
    if (!failure.empty() || !takePendingFrame(pair.bitmap)) {
        return false;
    }
    pair.conversion = convertReference();
    return true;
}

bool VexaBitmapTiming::picturesMatch() {
    double seconds = 0;
    if (!failure.empty() || !takePendingFrame(seconds)) {
        return false;
    }
    convertReference();
    PackPixels24(reference.data(), frameWidth, frameHeight);
    const std::size_t bytes = 3 * std::size_t(frameWidth) * std::size_t(frameHeight);
    if (!std::equal(picture.begin(), picture.begin() + std::ptrdiff_t(bytes), reference.begin())) {
        failure = "the 24-bit picture differs from the packed default conversion";
        return false;
    }
    return true;
}
