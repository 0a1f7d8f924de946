#pragma once
// Small images and kernel runners for the pass tests.

#include "passes/pixel_view.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace testing_support {

struct PixelBuffer {
    std::int32_t width = 0, height = 0;
    std::vector<std::uint32_t> pixels;

    PixelBuffer(std::int32_t w, std::int32_t h, std::uint32_t fill = 0)
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill) {}

    std::uint32_t& at(std::int32_t x, std::int32_t y) { return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
    passes::PixelView view() { return {pixels.data(), width, width, height}; }
};

// Runs the kernel over a row holding `v` at every position of runs long
// enough to use both the vector and the scalar code, and checks that every
// position agrees.
template <class Kernel>
std::uint32_t KernelResult(const Kernel& kernel, std::uint32_t v)
{
    std::vector<std::uint32_t> src(11, v), dst(11, 0xDEADBEEFu);
    kernel(src.data(), dst.data(), src.size());
    for (std::uint32_t out : dst) EXPECT_EQ(out, dst[0]) << "vector and scalar paths disagree";
    return dst[0];
}

} // namespace testing_support
