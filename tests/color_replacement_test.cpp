#include "passes/pass_command.h"
#include "passes/pass_driver.h"

#include "pass_test_support.h"

#include <gtest/gtest.h>

namespace passes {
namespace {

using testing_support::KernelResult;

struct Argb4 {
    Channel a, r, g, b;
};

std::uint32_t Replace(std::uint32_t v, Argb4 key, Argb4 to, std::int32_t t = 30)
{
    const ArgbChannels k{key.a, key.r, key.g, key.b};
    return KernelResult(ColorReplacementKernel({k, t, DeltasOnto(k, {to.a, to.r, to.g, to.b})}), v);
}

TEST(ColorReplacement, KeyBecomesTheReplacementAndNeighboursKeepTheirOffset)
{
    const Argb4 key{255, 200, 100, 50}, to{255, 10, 20, 30};
    EXPECT_EQ(Replace(0xFFC86432u, key, to), 0xFF0A141Eu);
    EXPECT_EQ(Replace(0xFFD25A3Cu, key, to), 0xFF140A28u); // (210, 90, 60)
}

TEST(ColorReplacement, ShiftedChannelsClampToTheChannelRange)
{
    EXPECT_EQ(Replace(0xFFFAF5F0u, {255, 255, 255, 255}, {255, 255, 0, 0}), 0xFFFA0000u);
    EXPECT_EQ(Replace(0xFF786464u, {255, 100, 100, 100}, {255, 250, 100, 100}), 0xFFFF6464u);
}

TEST(ColorReplacement, AlphaIsPartOfTheWindow)
{
    // Alpha 128 against key alpha 255: 127 away, outside.
    EXPECT_EQ(Replace(0x80FFFFFFu, {255, 255, 255, 255}, {255, 255, 0, 0}), 0x80FFFFFFu);
    // Same color, alpha just inside and exactly at the tolerance.
    EXPECT_EQ(Replace(0xE2FFFFFFu, {255, 255, 255, 255}, {255, 0, 0, 0}), 0xE2000000u); // 29 away
    EXPECT_EQ(Replace(0xE1FFFFFFu, {255, 255, 255, 255}, {255, 0, 0, 0}), 0xE1FFFFFFu); // 30 away
}

TEST(ColorReplacement, ResultsWithAlphaZeroAreStoredTransparentBlack)
{
    EXPECT_EQ(Replace(0xFF102030u, {255, 16, 32, 48}, {0, 200, 200, 200}), 0u);
    EXPECT_EQ(Replace(0x00102030u, {255, 0, 0, 0}, {255, 0, 0, 0}, 0), 0u); // outside, alpha 0
}

TEST(ColorReplacement, ToleranceZeroCopiesTheSource)
{
    EXPECT_EQ(Replace(0xFF102030u, {255, 16, 32, 48}, {255, 0, 0, 0}, 0), 0xFF102030u);
    EXPECT_EQ(Replace(0xFF102030u, {255, 16, 32, 48}, {255, 0, 0, 0}, 1), 0xFF000000u);
}

TEST(ColorReplacementPass, DeltasAreThoseGivenAtTheStart)
{
    testing_support::PixelBuffer source(4, 1, 0xFFC86432u), work(4, 1);
    const PassParameters parameters{{255, 200, 100, 50}, 30, {0, -190, -80, -20}};
    RunPass<ColorReplacementKernel>({source.view(), work.view(), {}}, 4, 1, parameters);
    for (std::uint32_t p : work.pixels) EXPECT_EQ(p, 0xFF0A141Eu);
}

} // namespace
} // namespace passes
