// Row kernels that run on any x86 processor: the exact per-pixel path alone,
// and the SSE2 vector path (every 64-bit x86 processor has SSE2).
#include "imaging/convert_plan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <emmintrin.h>
#include <iterator>

namespace imaging {

namespace {
struct Isa {
    static constexpr bool kVector = false;
    static constexpr bool kStride3 = false;
    static constexpr bool kStep3Lanes = false;
    static constexpr bool kStep1Wide = false;
    static constexpr int kStep3Pixels = 0;
    static constexpr int kBytes = 1;
    static void storePixels(std::uint8_t *, const std::uint8_t *, const std::uint8_t *, const std::uint8_t *, bool) {}
};
#include "imaging/convert_rows.inc"
} // namespace

RowFunction ScalarRowFunction(const FramePlan &plan) {
    return selectRow(plan);
}

} // namespace imaging

// The kernels of a level are compiled for its instruction set: GCC by a
// target region, clang by the attribute on every function in the region.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("sse2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("sse2")
#endif

namespace imaging {

namespace sse2 {
namespace {
#include "imaging/convert_isa_sse2.inc"
#include "imaging/convert_rows.inc"
} // namespace
} // namespace sse2

RowFunction Sse2RowFunction(const FramePlan &plan) {
    return sse2::selectRow(plan);
}

} // namespace imaging

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
