// oriscope-probe: detects the camera, initialises the engine, runs
// acquisition for a few seconds and reports the sensor, frame size and rate.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "engine/camera_engine.h"

namespace {

const char *SensorName(int sensorType) {
    switch (sensorType) {
    case 1:
        return "1.3 megapixel, 1280 x 1024";
    case 2:
        return "2.0 megapixel, 1600 x 1200";
    case 3:
        return "3.1 megapixel, 2048 x 1536";
    default:
        return "unknown";
    }
}

int Usage() {
    std::fprintf(stderr, "usage: oriscope-probe [--camera N] [--mode 0|1|2] [--speed] [--seconds S]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    int cameraNumber = 1;
    int mode = kModeFull;
    bool speed = false;
    int seconds = 3;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--camera") && hasValue) {
            cameraNumber = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--mode") && hasValue) {
            mode = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--seconds") && hasValue) {
            seconds = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--speed")) {
            speed = true;
        } else {
            return Usage();
        }
    }
    if (mode < kModeFull || mode > kModeQuarter || seconds < 1 || seconds > 600) {
        return Usage();
    }

    CameraEngine engine;
    engine.cameraNumber = cameraNumber;
    const int type = engine.DetectSensorType();
    if (type <= 0) {
        std::fprintf(stderr, "oriscope-probe: no camera %d found\n", cameraNumber);
        return 1;
    }
    std::printf("camera %d: sensor type %d (%s), variant %d%s\n", cameraNumber, type, SensorName(type),
                engine.sensorVariant, engine.addressModeSensor ? ", address-mode readout" : "");
    engine.sensorType = type;
    engine.qualityMode = !speed;
    engine.SetResolutionMode(mode);
    if (!engine.Initialize()) {
        std::fprintf(stderr, "oriscope-probe: the camera could not be initialised\n");
        engine.StopAcquisition();
        return 1;
    }
    std::printf("frame %d x %d (%s readout), raw frame %d bytes per row, camera ID %d\n", engine.frameWidth.get(),
                engine.frameHeight.get(), speed ? "speed" : "quality", engine.RawStride(), engine.GetCameraId());
    engine.StartAcquisition();
    int frames = 0;
    const std::uint32_t start = platform::tickCount();
    std::uint32_t nextReport = start + 1000;
    while (platform::tickCount() - start < std::uint32_t(seconds) * 1000 && engine.IsRunning()) {
        if (engine.ExchangeFrame(engine.consumerBuffer, false)) {
            ++frames;
        } else {
            platform::sleepMs(1);
        }
        if (static_cast<std::int32_t>(platform::tickCount() - nextReport) >= 0) {
            std::printf("  %5.1f s: %d frames, %.1f frames per second\n", (platform::tickCount() - start) / 1000.0,
                        frames, static_cast<double>(engine.frameRate.get()));
            std::fflush(stdout);
            nextReport += 1000;
        }
    }
    const bool unplugged = !engine.IsRunning();
    const double elapsed = (platform::tickCount() - start) / 1000.0;
    engine.StopAcquisition();
    std::printf("%d frames in %.1f s: measured %.1f frames per second\n", frames, elapsed,
                elapsed > 0 ? frames / elapsed : 0.0);
    if (unplugged) {
        std::fprintf(stderr, "oriscope-probe: the camera stopped delivering\n");
        return 1;
    }
    return frames > 0 ? 0 : 1;
}
