// The converter's internals shared by the frame loop and the row kernels: the
// per-frame plan (settings resolved into what each stage does), the per-row
// task, and the table of row kernels for each instruction-set level.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/frame_converter.h"

// The row kernels' per-vector helpers must inline into their loops: the
// 32-bit build otherwise passes every vector through memory.
#define ORISCOPE_KERNEL_INLINE inline __attribute__((always_inline))

namespace imaging {

// A raw sample more than this above its four same-colour neighbours is a defect.
inline constexpr int kDefectMargin = 70;

// Byte-shuffle masks that pick every third byte of 48: [phase][16-byte part]
// gives, for output byte k, the byte 3k + phase of the 48 if it lies in that
// part, else 0x80 (a zero).
struct Stride3Masks {
    std::uint8_t bytes[3][3][16];
    constexpr Stride3Masks() : bytes() {
        for (int phase = 0; phase < 3; ++phase) {
            for (int part = 0; part < 3; ++part) {
                for (int k = 0; k < 16; ++k) {
                    const int position = 3 * k + phase;
                    bytes[phase][part][k] = static_cast<std::uint8_t>(position / 16 == part ? position % 16 : 0x80);
                }
            }
        }
    }
};
inline constexpr Stride3Masks kStride3MaskTable{};

// Byte-permute indices that pick every third byte of 96: [phase][k] = 3k + phase.
struct Stride3Indices {
    std::uint8_t bytes[3][64];
    constexpr Stride3Indices() : bytes() {
        for (int phase = 0; phase < 3; ++phase) {
            for (int k = 0; k < 32; ++k) {
                bytes[phase][k] = static_cast<std::uint8_t>(3 * k + phase);
            }
        }
    }
};
inline constexpr Stride3Indices kStride3Indices{};
inline constexpr const std::uint8_t (&kStride3Masks)[3][3][16] = kStride3MaskTable.bytes;

// Where the pixel's blue, green and red come from before the later stages.
enum class PixelSource : std::uint8_t {
    kDemosaic, // demosaicing table (grey applied after it when monochrome)
    kRawGrey,  // raw view and monochrome: the raw centre sample
    kExisting, // raw view in colour: whatever the output pixel already holds
};

// Everything one conversion needs, resolved once from its settings.
struct FramePlan {
    std::uint8_t *raw = nullptr;
    std::uint8_t *out = nullptr;
    int width = 0, height = 0;
    std::ptrdiff_t rawStride = 0;

    // Raw centre of output (r, j): y = step * (yo + r), x = step * (xo + j).
    int step = 1, xo = 0, yo = 0;

    bool eightBit = false;     // one grey byte per pixel (monochrome stills)
    bool mirror = true;        // output column width - 1 - j (horizontalFlip clear)
    bool verticalFlip = false; // output row height - 1 - r
    std::uint8_t byteOfBlue = 0, byteOfGreen = 1, byteOfRed = 2;

    PixelSource source = PixelSource::kDemosaic;
    bool defect = false;       // in-place defect correction
    bool greyMean = false;     // (b + g + r) / 3 after demosaicing
    bool greyWeighted = false; // 8-bit weighted grey after demosaicing
    int weightBlue = 100, weightGreen = 100, weightRed = 100;
    const std::uint8_t *overlay = nullptr; // set when the overlay stage runs
    bool overlayCopy = false;
    const std::int32_t *gainTable = nullptr; // set when the pixel-gain stage runs
    bool autoColor = false;
    int blueOffset = 0, redOffset = 0;
    int gridCellWidth = 0, gridCellHeight = 0; // both > 0 when the grid is drawn
    bool blank = false;
    bool touchesInterior = true; // false: the interior is left exactly as it was
    // Only demosaicing, mean grey and colour correction: vector chunks may go
    // from registers to the output without the scratch.
    bool directStore = false;

    std::size_t bytesPerPixel() const { return eightBit ? 1u : 4u; }
};

// The brightest eligible pixel so far (colour correction's reference).
struct ReferenceSearch {
    int maximum = 0;
    std::size_t offset = 0; // byte offset of the reference pixel in the output
};

// One interior output row.
struct RowTask {
    int r = 0;                                // output row index before the vertical flip
    std::uint8_t *rawCentreRow = nullptr;     // raw row y
    std::uint8_t *outRow = nullptr;           // first byte of the output row
    const std::uint8_t *nextOutRow = nullptr; // the next interior row, if any (32-bit layout)
    std::size_t outRowOffset = 0;             // its byte offset in the output
    const std::int32_t *gainRow = nullptr;    // gain entries of raw row y
    bool defectRow = false;                   // defect test applies to this row
    bool onGrid = false;                      // the whole row is a grid line
};

using RowFunction = void (*)(const FramePlan &plan, const RowTask &row, ReferenceSearch &search);

// Instruction-set levels of the row kernels; the best one the processor
// supports is picked once. Tests and benchmarks may pin a lower one.
// kAvx512 is the AVX2 kernels with AVX-512 (BW, VL, VBMI) byte-masked stores
// and byte permutes.
enum class KernelLevel : int { kScalar = 0, kSse2 = 1, kAvx2 = 2, kAvx512 = 3 };

KernelLevel BestKernelLevel();
KernelLevel ActiveKernelLevel();
// Clamps to what the processor supports; returns the level now in force.
KernelLevel SetKernelLevel(KernelLevel level);
const char *KernelLevelName(KernelLevel level);

// Row function of each level for this plan.
RowFunction ScalarRowFunction(const FramePlan &plan);
RowFunction Sse2RowFunction(const FramePlan &plan);
RowFunction Avx2RowFunction(const FramePlan &plan);
RowFunction Avx512RowFunction(const FramePlan &plan);

} // namespace imaging
