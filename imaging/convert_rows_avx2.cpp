// Row kernels for processors with AVX2, chosen at run time: the same row
// pipeline as the portable kernels with 32-byte vectors, and a variant for
// processors with AVX-512 (BW, VL, VBMI) that stores pixels with byte masks
// and gathers every third byte with one permute.
#include "imaging/convert_plan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <immintrin.h>
#include <iterator>

// The kernels of a level are compiled for its instruction set: GCC by a
// target region, clang by the attribute on every function in the region.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace imaging {

namespace avx2 {
namespace {
#include "imaging/convert_isa_avx2.inc"
#include "imaging/convert_rows.inc"
} // namespace
} // namespace avx2

RowFunction Avx2RowFunction(const FramePlan &plan) {
    return avx2::selectRow(plan);
}

} // namespace imaging

#if defined(__clang__)
#pragma clang attribute pop
#pragma clang attribute push(__attribute__((target("avx2,avx512bw,avx512vl,avx512vbmi"))), apply_to = function)
#else
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx2,avx512bw,avx512vl,avx512vbmi")
#endif
#define ORISCOPE_AVX512
// GCC 12 warns inside its own 512-to-256-bit cast intrinsic (an undefined
// upper half it leaves on purpose).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace imaging {

namespace avx512 {
namespace {
#include "imaging/convert_isa_avx2.inc"
#include "imaging/convert_rows.inc"
} // namespace
} // namespace avx512

RowFunction Avx512RowFunction(const FramePlan &plan) {
    return avx512::selectRow(plan);
}

} // namespace imaging

#pragma GCC diagnostic pop
#undef ORISCOPE_AVX512
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
