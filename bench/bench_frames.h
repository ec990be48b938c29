// Frames and cases shared by the converter benchmarks: a realistic raw frame
// of the largest sensor, the benchmarked converter settings, and the
// memory-floor pass (read the raw frame, write the output, nothing else).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/camera_engine.h"

inline constexpr int kSensorWidth = 2048;
inline constexpr int kSensorHeight = 1536;

// A shaded scene with edges, texture and noise behind the colour filter, and
// `hotPixels` isolated samples well above their neighbours.
std::vector<std::uint8_t> MakeSceneFrame(int width, int height, int hotPixels);

// One benchmarked conversion: how to set the engine, and the output size.
struct ConverterCase {
    std::string name;
    int width = kSensorWidth;
    int height = kSensorHeight;
    void (*configure)(CameraEngine &engine) = nullptr;
};
const std::vector<ConverterCase> &ConverterCases();

// Reads every raw sample and writes every output pixel once: the least any
// conversion of this frame must do. A subsampled picture (Half, step 3) is
// smaller than the raw frame but its rows still touch every raw line:
// `rawBytes` are read, `pixels` written.
void MemoryFloorPass(const std::uint8_t *raw, std::size_t rawBytes, std::uint32_t *out, std::size_t pixels);

// A full-size colour file still of `raw` as the preview pin takes it (the
// still's flip, converted a band at a time into a 24-bit BMP at `path`).
// Defect correction repairs `raw` in place, as for any conversion.
bool WriteFullFileStill(CameraEngine &engine, std::uint8_t *raw, const std::string &path);
