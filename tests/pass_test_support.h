#pragma once
// Small images, parameters and kernel runners for the pass tests.

#include "passes/pass_parameters.h"
#include "passes/pixel_view.h"
#include "passes/simd.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct PixelBuffer {
    std::int32_t width = 0, height = 0;
    std::vector<std::uint32_t> pixels;

    PixelBuffer(std::int32_t w, std::int32_t h, std::uint32_t fill = 0)
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill)
    {
    }

    std::uint32_t& at(std::int32_t x, std::int32_t y)
    {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
    }
    passes::PixelView view() { return {pixels.data(), width, width, height}; }
};

// Key red, green and blue (alpha 255) and a tolerance.
inline passes::PassParameters RgbKey(passes::Channel r, passes::Channel g, passes::Channel b, std::int32_t tolerance)
{
    return {{255, r, g, b}, tolerance, {}};
}

// Runs the kernel over a row holding `v` at every position of runs long
// enough to use both the vector and the scalar code, and checks that every
// position agrees.
template <class Kernel>
std::uint32_t KernelResult(Kernel&& kernel, std::uint32_t v)
{
    std::vector<std::uint32_t> src(11, v), dst(11, 0xDEADBEEFu);
    kernel(src.data(), dst.data(), src.size());
    for (std::uint32_t out : dst) EXPECT_EQ(out, dst[0]) << "vector and scalar paths disagree";
    return dst[0];
}

// Runs each test once per instruction-set path this processor has: derive a
// fixture and instantiate it with CHROMOBRISK_ON_EACH_SIMD_PATH.
class OnEachSimdPath : public ::testing::TestWithParam<passes::detail::SimdPath> {
protected:
    void SetUp() override
    {
        passes::detail::ForceSimdPathForTesting(GetParam());
        if (passes::detail::ActiveSimdPath() != GetParam()) GTEST_SKIP() << "this processor lacks the path";
    }
    void TearDown() override { passes::detail::ResetSimdPathForTesting(); }
};

inline std::string SimdPathName(const ::testing::TestParamInfo<passes::detail::SimdPath>& info)
{
    switch (info.param) {
    case passes::detail::SimdPath::Scalar: return "Scalar";
    case passes::detail::SimdPath::Sse2: return "Sse2";
    case passes::detail::SimdPath::Avx2: return "Avx2";
    }
    return "Unknown";
}

#define CHROMOBRISK_ON_EACH_SIMD_PATH(Fixture)                                                                         \
    INSTANTIATE_TEST_SUITE_P(Paths, Fixture,                                                                           \
        ::testing::Values(                                                                                             \
            passes::detail::SimdPath::Scalar, passes::detail::SimdPath::Sse2, passes::detail::SimdPath::Avx2),         \
        testing_support::SimdPathName)

} // namespace testing_support
