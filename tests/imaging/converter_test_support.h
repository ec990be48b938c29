// Frames, settings and comparison helpers shared by the converter tests.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/camera_engine.h"
#include "imaging/convert_plan.h"
#include "imaging/frame_converter.h"
#include "reference_converter.h"

// Raw frame content used by the randomised comparisons.
enum class Content {
    kNoise,     // uniform samples: many defects, many of them touching
    kScene,     // smooth shading with isolated, adjacent and chained hot samples
    kSaturated, // mostly 255, so colour correction rarely finds a reference
};

// Fills a raw frame of rows x stride samples.
void FillRaw(std::vector<std::uint8_t> &raw, int rows, int stride, Content content, std::mt19937 &rng);

// A random combination of every setting.
ConversionSettings RandomSettings(std::mt19937 &rng);

// Describes a case for failure messages.
std::string Describe(const ConversionSettings &s, int width, int height, int rawStride);

// Runs the production converter and the reference on copies of the same
// frame and output (the raw frame and output against guard pages) and checks
// the output, the raw frame and the learned offsets byte for byte.
void ExpectMatchesReference(const ConversionSettings &settings, int width, int height, Content content,
                            std::mt19937 &rng, bool guardBefore = false, int extraStride = 0);

// The instruction-set levels this processor can run.
std::vector<imaging::KernelLevel> SupportedLevels();

// Pins a kernel level for the life of the object.
class ScopedKernelLevel {
public:
    explicit ScopedKernelLevel(imaging::KernelLevel level)
        : previous(imaging::ActiveKernelLevel()), active(imaging::SetKernelLevel(level)) {}
    ~ScopedKernelLevel() { imaging::SetKernelLevel(previous); }
    ScopedKernelLevel(const ScopedKernelLevel &) = delete;
    ScopedKernelLevel &operator=(const ScopedKernelLevel &) = delete;
    imaging::KernelLevel level() const { return active; }

private:
    imaging::KernelLevel previous;
    imaging::KernelLevel active;
};
