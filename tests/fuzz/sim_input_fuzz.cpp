// Fuzz target: what users feed the simulated camera library by hand. One
// case is a MIDLIB_SIM text and a scene file (any bytes: lying sizes,
// offsets and bit depths, truncated or huge BMPs) that the text may name.
// The library is configured with them, opened, and every camera it lists
// delivers a frame at a fuzzed window. Bad input must give a message and
// the defaults, never a crash, an overrun or an allocation out of all
// proportion.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/midlib.h"
#include "fuzz_input.h"
#include "sim/midlib/midlib_sim.h"

namespace {

const std::string &SceneFile() {
    static const std::string path = [] {
        const std::filesystem::path folder =
            std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
        return (folder / ("oriscope-fuzz-scene-" + std::to_string(getpid()) + ".bmp")).string();
    }();
    return path;
}

// Keys a user writes, so the fuzzer need not find them byte by byte.
constexpr const char *kKeys[] = {
    "cameras=", "sensor=",    "variant=", "addressmode=",  "serial=", "scene=",     "static=",
    "noise=",   "hotpixels=", "pace=",    "unplug_after=", "fail=",   "scene=file:"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzInput in(data, size);
    std::string text;
    const int words = in.Between(0, 6);
    for (int i = 0; i < words; ++i) {
        const int key = in.Between(0, int(std::size(kKeys)));
        if (key < int(std::size(kKeys)))
            text += kKeys[key];
        text += in.Text(24);
        text += ' ';
    }
    const bool withScene = in.Flag();
    if (withScene)
        text += "scene=file:" + SceneFile() + " static=" + (in.Flag() ? "1" : "0");
    // Mostly small windows: a whole sensor's frame costs milliseconds, and
    // the parsers are what this target is about.
    const bool wholeSensor = in.Between(0, 15) == 0;
    const int windowWidth = wholeSensor ? 0 : in.Between(0, 96);
    const int windowHeight = wholeSensor ? 0 : in.Between(0, 96);
    if (withScene) {
        std::ofstream scene(SceneFile(), std::ios::binary | std::ios::trunc);
        scene.write(reinterpret_cast<const char *>(in.Rest()), std::streamsize(in.RestSize()));
    }

    const int problems = midsim_Configure(text.c_str());
    FUZZ_CHECK(problems >= 0, "Configure returned %d for \"%s\"", problems, text.c_str());
    CameraRecord *cameras[kMiMaxCameras] = {};
    std::uint16_t count = 0;
    if (mi_OpenCameras(cameras, &count, "C:\\windows\\system32\\MI-1300-ES0.sdat") == kMiSuccess) {
        FUZZ_CHECK(count <= kMiMaxCameras, "%d cameras listed", int{count});
        // Frames of the first two cameras: the others render the same way.
        for (int i = 0; i < count && i < 2; ++i) {
            CameraRecord *camera = cameras[i];
            FUZZ_CHECK(camera != nullptr && camera->sensor != nullptr, "camera %d has no record", i);
            midsim_SetPace(i, 0);
            camera->StartCamera(camera);
            if (windowWidth > 0 && windowHeight > 0)
                camera->SetFrameFormat(camera, windowWidth, windowHeight, 8, 0);
            const SensorRecord &sensor = *camera->sensor;
            FUZZ_CHECK(std::uint64_t(sensor.rawWidth) * std::uint64_t(sensor.rawHeight) <= sensor.frameBufferSize,
                       "a %dx%d frame in a %u-byte buffer", sensor.rawWidth, sensor.rawHeight, sensor.frameBufferSize);
            std::vector<std::uint8_t> frame(sensor.frameBufferSize);
            const std::uint16_t status =
                camera->AcquireFrame(camera, frame.data(), static_cast<std::uint32_t>(frame.size()));
            FUZZ_CHECK(status != kMiSuccess || sensor.frameBufferSize > 0, "a frame without a buffer");
            camera->StopCamera(camera);
        }
        mi_CloseCameras();
    }
    midsim_Configure(nullptr);
    return 0;
}
