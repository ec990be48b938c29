// Row kernels for processors with AVX2, chosen at run time: the same row
// pipeline as the portable kernels with 32-byte vectors, and a variant that
// stores pixels with AVX-512 byte masks where the processor has them.
#include "imaging/convert_plan.h"

#include <algorithm>
#include <cstdint>
#include <immintrin.h>
#include <iterator>

#pragma GCC push_options
#pragma GCC target("avx2")

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

#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx2,avx512bw,avx512vl")
#define ORISCOPE_MASKED_STORES

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

#undef ORISCOPE_MASKED_STORES
#pragma GCC pop_options
