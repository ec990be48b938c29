// vexa-grab: drives the camera through VEXALIB exactly as a customer's host
// program does (select, detect, set up, initialise, start, fetch, stop),
// prints progress and the measured frame rate, and saves the frames as BMP
// (colour) or raw files.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "frame_files.h"
#include "grab_options.h"
#include "vexa_binding.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// What the host knows of the frame: VEXALIB reports no sizes, so they follow
// from the chip version and the settings made before VexaInitialize.
struct Frame {
    int sensorWidth = 1280;
    int sensorHeight = 1024;
    int width = 0;
    int height = 0;
    int format = VEXA_FORMAT_COLOUR;
};

const char *const kModeNames[] = {"full", "half", "quarter", "custom region"};

void ApplySettings(const VexaFunctions &vexa, const Options &o) {
    vexa.setCameraNumber(o.camera);
    if (o.detect) {
        vexa.setSensorType(); // the model from the chip, for VexaInitialize
    }
    vexa.setCaptureResolution(o.mode);
    if (o.regionGiven) {
        vexa.setRegion(o.region[0], o.region[1], o.region[2], o.region[3]);
    }
    if (o.gain >= 0) {
        vexa.setGain(o.gain);
    }
    vexa.setFlipHorizontal(o.horizontalFlip ? 1 : 0);
    vexa.setFlipVertical(o.verticalFlip ? 1 : 0);
}

// Works out the frame size after VexaInitialize; false when the region does
// not fit the sensor (the library then kept another region).
bool DescribeCamera(const VexaFunctions &vexa, const Options &o, Frame &frame) {
    int32_t chip = -1;
    vexa.getRegVal(0x00, &chip);
    const int model = chip < 0 ? 0 : chip >> 8;
    if (o.detect && model == 0x85) {
        frame.sensorWidth = 1600;
        frame.sensorHeight = 1200;
    } else if (o.detect && model == 0x16) {
        frame.sensorWidth = 2048;
        frame.sensorHeight = 1536;
    }
    const int divisor = o.mode == 1 ? 2 : o.mode == 2 ? 4 : 1;
    frame.width = o.mode == 3 ? o.region[2] : frame.sensorWidth / divisor;
    frame.height = o.mode == 3 ? o.region[3] : frame.sensorHeight / divisor;
    frame.format = o.raw ? VEXA_FORMAT_RAW : VEXA_FORMAT_COLOUR;
    int32_t id = 0;
    vexa.getCamSN(&id);
    std::printf("camera %d: %d x %d sensor (chip version 0x%04X), camera ID %d\n", o.camera, frame.sensorWidth,
                frame.sensorHeight, static_cast<unsigned>(chip & 0xFFFF), id);
    if (o.mode == 3 &&
        (o.region[0] < 0 || o.region[1] < 0 || frame.width < 5 || frame.height < 5 ||
         o.region[0] + frame.width > frame.sensorWidth || o.region[1] + frame.height > frame.sensorHeight)) {
        std::fprintf(stderr, "vexa-grab: the region does not fit the %d x %d sensor\n", frame.sensorWidth,
                     frame.sensorHeight);
        return false;
    }
    if (o.shutterDelay >= 0) {
        vexa.setShutterDelay(o.shutterDelay);
    }
    if (o.shutterWidth >= 0) {
        vexa.setShutterWidth(o.shutterWidth);
    }
    int32_t gain = 0, delay = 0, width = 0;
    vexa.getGain(&gain);
    vexa.getShutterDelay(&delay);
    vexa.getShutterWidth(&width);
    std::printf("frame %d x %d (%s), %s; gain %d, shutter width %d, shutter delay %d\n", frame.width, frame.height,
                kModeNames[o.mode], o.raw ? "raw 8-bit Bayer" : "24-bit colour", gain, width, delay);
    return true;
}

bool SaveFrame(const std::vector<std::uint8_t> &buffer, const Frame &frame, const std::string &path) {
    const bool saved = frame.format == VEXA_FORMAT_RAW ? WriteRaw(path, buffer.data(), frame.width, frame.height)
                                                       : WriteBmp(path, buffer.data(), frame.width, frame.height);
    if (!saved) {
        std::fprintf(stderr, "vexa-grab: cannot write %s\n", path.c_str());
    }
    return saved;
}

std::string FramePath(const Options &o, int index) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%03d.%s", index, o.raw ? "raw" : "bmp");
    return (std::filesystem::path(o.directory) / name).string();
}

// Fetches frames for the measuring time and reports the rate.
void MeasureRate(const VexaFunctions &vexa, const Options &o, const Frame &frame, std::vector<std::uint8_t> &buffer) {
    std::printf("measuring the frame rate for %d s ...\n", o.measureSeconds);
    std::fflush(stdout);
    int frames = 0;
    const Clock::time_point start = Clock::now();
    while (SecondsSince(start) < o.measureSeconds) {
        frames += vexa.getBitmap(buffer.data(), 0, frame.format, 1000);
    }
    const double seconds = SecondsSince(start);
    std::printf("measured %.1f frames per second (%d frames in %.1f s, each fetched and %s)\n", frames / seconds,
                frames, seconds, o.raw ? "copied" : "converted to colour");
}

int Stream(const VexaFunctions &vexa, const Options &o, const Frame &frame, std::vector<std::uint8_t> &buffer) {
    if (vexa.start() != 1) {
        std::fprintf(stderr, "vexa-grab: acquisition did not start\n");
        return 1;
    }
    if (o.measureSeconds > 0) {
        MeasureRate(vexa, o, frame, buffer);
    }
    for (int i = 1; i <= o.frames; ++i) {
        if (vexa.getBitmap(buffer.data(), 0, frame.format, 5000) != 1) {
            std::fprintf(stderr, "vexa-grab: no frame within 5 s; the camera stopped delivering\n");
            return 1;
        }
        const std::string path = FramePath(o, i);
        if (!SaveFrame(buffer, frame, path)) {
            return 1;
        }
        std::printf("frame %d/%d: %s\n", i, o.frames, path.c_str());
        std::fflush(stdout);
    }
    if (o.still) {
        const std::string path = (std::filesystem::path(o.directory) / "still.bmp").string();
        vexa.captureStillImage(path.c_str());
        std::error_code error;
        std::printf("still: %s%s\n", path.c_str(), std::filesystem::exists(path, error) ? "" : " (not written)");
    }
    return 0;
}

int GrabSingles(const VexaFunctions &vexa, const Options &o, const Frame &frame, std::vector<std::uint8_t> &buffer) {
    double grabbing = 0;
    for (int i = 1; i <= o.frames; ++i) {
        const Clock::time_point start = Clock::now();
        if (vexa.getSingleBitmap(buffer.data(), 0, frame.format, 10) != 1) {
            std::fprintf(stderr, "vexa-grab: no frame in 10 attempts\n");
            return 1;
        }
        grabbing += SecondsSince(start);
        const std::string path = FramePath(o, i);
        if (!SaveFrame(buffer, frame, path)) {
            return 1;
        }
        std::printf("frame %d/%d (single grab): %s\n", i, o.frames, path.c_str());
    }
    std::printf("measured %.1f single grabs per second (file writing excluded)\n", o.frames / grabbing);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        return Usage();
    }
    VexaFunctions vexa;
    std::string binding;
    if (!BindVexa(vexa, binding)) {
        std::fprintf(stderr, "vexa-grab: %s\n", binding.c_str());
        return 1;
    }
    std::printf("vexa-grab: using %s\n", binding.c_str());
    ApplySettings(vexa, o);
    if (vexa.initialize() != 1) {
        std::fprintf(stderr, "vexa-grab: camera %d could not be initialised (is it connected?)\n", o.camera);
        vexa.unload();
        return 1;
    }
    Frame frame;
    std::error_code error;
    std::filesystem::create_directories(o.directory, error);
    if (!DescribeCamera(vexa, o, frame) || error) {
        if (error) {
            std::fprintf(stderr, "vexa-grab: cannot create %s: %s\n", o.directory.c_str(), error.message().c_str());
        }
        vexa.stop();
        return 1;
    }
    // Room for the 4-byte pixels the colour conversion writes before packing.
    std::vector<std::uint8_t> buffer(std::size_t(frame.width) * std::size_t(frame.height) * 4 + 16);
    const int result = o.single ? GrabSingles(vexa, o, frame, buffer) : Stream(vexa, o, frame, buffer);
    vexa.stop();
    if (result == 0) {
        std::printf("saved %d %s frame%s in %s\n", o.frames, o.raw ? "raw" : "colour", o.frames == 1 ? "" : "s",
                    std::filesystem::absolute(o.directory, error).string().c_str());
    }
    return result;
}
