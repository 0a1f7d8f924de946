#include "simd.h"

#include <atomic>

namespace passes::detail {
namespace {

SimdPath Detect() noexcept
{
#if CHROMOBRISK_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return SimdPath::Avx2;
    if (__builtin_cpu_supports("sse2")) return SimdPath::Sse2;
#endif
    return SimdPath::Scalar;
}

const SimdPath kDetected = Detect();
std::atomic<SimdPath> g_active{kDetected};

} // namespace

SimdPath ActiveSimdPath() noexcept { return g_active.load(std::memory_order_relaxed); }
void ForceSimdPathForTesting(SimdPath path) noexcept
{
    g_active.store(static_cast<int>(path) <= static_cast<int>(kDetected) ? path : kDetected);
}
void ResetSimdPathForTesting() noexcept { g_active.store(kDetected); }

} // namespace passes::detail
