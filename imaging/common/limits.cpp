#include "limits.h"

#include <atomic>

namespace imaging {
namespace {
std::atomic<std::int64_t> g_pixelLimit{kMaxImagePixels};
}

std::int64_t PixelLimit() noexcept { return g_pixelLimit.load(std::memory_order_relaxed); }

bool FitsLimits(std::int64_t width, std::int64_t height) noexcept
{
    if (width > kMaxImageWidth) return false;
    if (width <= 0 || height <= 0) return true; // not too large, only invalid: the decoder says so
    // width <= 2^26, so the product cannot overflow once height is bounded.
    return height <= PixelLimit() && width * height <= PixelLimit();
}

void SetPixelLimitForTesting(std::int64_t pixels) noexcept
{
    g_pixelLimit.store(pixels > 0 && pixels < kMaxImagePixels ? pixels : kMaxImagePixels);
}

} // namespace imaging
