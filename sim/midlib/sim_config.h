// Configuration of the simulated imaging library: the parsed form of the
// MIDLIB_SIM text (space-separated key=value, comma lists per camera).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "sim/midlib/bmp_file.h"

namespace midsim {

inline constexpr int kMaxCameras = 20;

enum class SceneKind { Bars, Gradient, File };

struct CameraConfig {
    int sensorType = 1;
    int variant = 12;
    bool addressMode = false;
    std::int64_t serial = -1; // < 0: a per-camera default
    SceneKind scene = SceneKind::Bars;
    std::shared_ptr<const RgbImage> image; // SceneKind::File
    bool staticScene = false;
    int noise = 0;
    int hotPixels = 0;
    int pace = -1;        // < 0: sensor timing, 0: free-running, > 0: frames per second
    int unplugAfter = -1; // < 0: never
};

struct SimConfig {
    int cameraCount = 1;
    bool failOpen = false;
    bool noCamera = false;
    std::array<CameraConfig, kMaxCameras> cameras{};
};

// Parses `text` (null or empty: the defaults) into `config`. Every unknown key
// or bad value is reported as one line on stderr and leaves that key at its
// default. Returns the number of problems found.
int parseConfig(const char *text, SimConfig &config);

} // namespace midsim
