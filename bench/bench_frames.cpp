// The benchmark frame, the benchmarked settings and the memory-floor pass.
#include "bench_frames.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "imaging/frame_converter.h"
#include "imaging/still_file.h"

namespace {

// Scene colour at a sensor position: smooth shading, a few hard-edged
// shapes and some fine texture, each channel 0..255.
void SceneColour(int x, int y, int &red, int &green, int &blue) {
    const double u = x / 2048.0, v = y / 1536.0;
    double r = 70 + 60 * u + 25 * std::sin(9 * v), g = 90 + 50 * v + 20 * std::cos(7 * u), b = 60 + 45 * (1 - u);
    const double dx = u - 0.35, dy = v - 0.45;
    if (dx * dx + dy * dy < 0.04) { // a bright disc
        r += 70, g += 55, b += 20;
    }
    if (u > 0.6 && u < 0.85 && v > 0.2 && v < 0.7) { // a dark panel with stripes
        const double stripe = ((x / 6) % 2) ? 25 : -15;
        r = 40 + stripe, g = 45 + stripe, b = 55 + stripe;
    }
    const double grain = 8 * std::sin(x * 0.9 + y * 1.3) * std::cos(x * 0.37 - y * 0.71);
    red = std::clamp(static_cast<int>(r + grain), 0, 255);
    green = std::clamp(static_cast<int>(g + grain), 0, 255);
    blue = std::clamp(static_cast<int>(b + grain), 0, 255);
}

} // namespace

std::vector<std::uint8_t> MakeSceneFrame(int width, int height, int hotPixels) {
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(width) * height);
    std::mt19937 rng(2026);
    std::normal_distribution<double> noise(0.0, 3.0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int red, green, blue;
            SceneColour(x, y, red, green, blue);
            const bool evenRow = y % 2 == 0, evenColumn = x % 2 == 0;
            const int sample = evenRow == evenColumn ? green : (evenRow ? red : blue);
            raw[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint8_t>(std::clamp(static_cast<int>(sample + noise(rng)), 0, 255));
        }
    }
    std::uniform_int_distribution<int> column(4, width - 5), row(4, height - 5), level(240, 255);
    for (int i = 0; i < hotPixels; ++i) {
        raw[static_cast<std::size_t>(row(rng)) * width + column(rng)] = static_cast<std::uint8_t>(level(rng));
    }
    return raw;
}

const std::vector<ConverterCase> &ConverterCases() {
    static const std::vector<ConverterCase> cases = {
        {"full_default", kSensorWidth, kSensorHeight, [](CameraEngine &) {}},
        {"half", kSensorWidth / 2, kSensorHeight / 2, [](CameraEngine &e) { e.resolutionMode = kModeHalf; }},
        {"custom_step3", kSensorWidth / 3, kSensorHeight / 3,
         [](CameraEngine &e) {
             e.resolutionMode = kModeCustom;
             e.regionStep = 3;
         }},
        {"monochrome", kSensorWidth, kSensorHeight, [](CameraEngine &e) { e.monochrome = true; }},
        {"auto_colour", kSensorWidth, kSensorHeight, [](CameraEngine &e) { e.autoColor = true; }},
        {"flips", kSensorWidth, kSensorHeight,
         [](CameraEngine &e) {
             e.horizontalFlip = true;
             e.verticalFlip = true;
         }},
    };
    return cases;
}

void MemoryFloorPass(const std::uint8_t *raw, std::size_t rawBytes, std::uint32_t *out, std::size_t pixels) {
    if (rawBytes <= pixels) {
        for (std::size_t i = 0; i < pixels; ++i) {
            out[i] = raw[i] * 0x010101u;
        }
        return;
    }
    std::uint8_t seen = 0;
    for (std::size_t i = 0; i < rawBytes; ++i) {
        seen |= raw[i];
    }
    for (std::size_t i = 0; i < pixels; ++i) {
        out[i] = (raw[i] | seen) * 0x010101u;
    }
}

bool WriteFullFileStill(CameraEngine &engine, std::uint8_t *raw, const std::string &path) {
    ConversionSettings settings = ConversionSettings::FromEngine(engine);
    settings.convertingStill = true;
    settings.verticalFlip = !settings.verticalFlip; // stills are stored bottom-up
    return WriteConvertedStill(engine, settings, raw, kSensorWidth, kSensorHeight, kSensorWidth, path.c_str());
}
