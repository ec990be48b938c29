// Which row kernels run: the widest vector unit the processor offers, found
// once, unless a test or benchmark pins a lower level.
#include "imaging/convert_plan.h"

#include <atomic>

namespace imaging {

namespace {
std::atomic<int> activeLevel{-1};
} // namespace

KernelLevel BestKernelLevel() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
        __builtin_cpu_supports("avx512vbmi")) {
        return KernelLevel::kAvx512;
    }
    if (__builtin_cpu_supports("avx2")) {
        return KernelLevel::kAvx2;
    }
    if (__builtin_cpu_supports("sse2")) {
        return KernelLevel::kSse2;
    }
#endif
    return KernelLevel::kScalar;
}

KernelLevel ActiveKernelLevel() {
    int level = activeLevel.load(std::memory_order_relaxed);
    if (level < 0) {
        level = static_cast<int>(BestKernelLevel());
        activeLevel.store(level, std::memory_order_relaxed);
    }
    return static_cast<KernelLevel>(level);
}

KernelLevel SetKernelLevel(KernelLevel level) {
    const KernelLevel best = BestKernelLevel();
    const KernelLevel chosen = static_cast<int>(level) < static_cast<int>(best) ? level : best;
    activeLevel.store(static_cast<int>(chosen), std::memory_order_relaxed);
    return chosen;
}

const char *KernelLevelName(KernelLevel level) {
    switch (level) {
    case KernelLevel::kAvx512:
        return "avx512";
    case KernelLevel::kAvx2:
        return "avx2";
    case KernelLevel::kSse2:
        return "sse2";
    default:
        return "scalar";
    }
}

} // namespace imaging
