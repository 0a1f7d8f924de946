#include "passes/pass_command.h"
#include "passes/pass_driver.h"

#include "pass_test_support.h"

#include <gtest/gtest.h>

namespace passes {
namespace {

using testing_support::KernelResult;
using testing_support::RgbKey;

std::uint32_t Simple(std::uint32_t v, Channel kR, Channel kG, Channel kB, std::int32_t t)
{
    return KernelResult(SimpleRemovalKernel(RgbKey(kR, kG, kB, t)), v);
}

TEST(SimpleRemoval, WindowIsStrictOnEverySide)
{
    // White key, tolerance 30: 30 away is outside, 29 away inside.
    EXPECT_EQ(Simple(0xFFE6FAFFu, 255, 255, 255, 30), 0x00000000u); // R 230
    EXPECT_EQ(Simple(0xFFE1FAFFu, 255, 255, 255, 30), 0xFFE1FAFFu); // R 225
    EXPECT_EQ(Simple(0xFF6464FFu, 100, 100, 100, 30), 0xFF6464FFu); // blue far off
    EXPECT_EQ(Simple(0xFF464646u, 100, 100, 100, 30), 0xFF464646u); // 70: 30 below
    EXPECT_EQ(Simple(0xFF474747u, 100, 100, 100, 30), 0x00000000u); // 71: 29 below
    EXPECT_EQ(Simple(0xFF828282u, 100, 100, 100, 30), 0xFF828282u); // 130: 30 above
    EXPECT_EQ(Simple(0xFF818181u, 100, 100, 100, 30), 0x00000000u); // 129: 29 above
}

TEST(SimpleRemoval, AllThreeColorChannelsMustMatch)
{
    EXPECT_EQ(Simple(0xFF0A0A0Au, 10, 10, 10, 5), 0u);
    EXPECT_EQ(Simple(0xFF100A0Au, 10, 10, 10, 5), 0xFF100A0Au); // red off
    EXPECT_EQ(Simple(0xFF0A100Au, 10, 10, 10, 5), 0xFF0A100Au); // green off
    EXPECT_EQ(Simple(0xFF0A0A10u, 10, 10, 10, 5), 0xFF0A0A10u); // blue off
}

TEST(SimpleRemoval, ToleranceZeroRemovesNothingAndOneOnlyExactMatches)
{
    EXPECT_EQ(Simple(0xFF203040u, 0x20, 0x30, 0x40, 0), 0xFF203040u);
    EXPECT_EQ(Simple(0xFF203040u, 0x20, 0x30, 0x40, 1), 0u);
    EXPECT_EQ(Simple(0xFF203041u, 0x20, 0x30, 0x40, 1), 0xFF203041u);
    EXPECT_EQ(Simple(0xFF000000u, 0, 0, 0, 255), 0u);
    EXPECT_EQ(Simple(0xFFFEFEFEu, 0, 0, 0, 255), 0u); // 254 away, tolerance 255
    EXPECT_EQ(Simple(0xFFFF0000u, 0, 0, 0, 255), 0xFFFF0000u); // 255 away stays
}

TEST(SimpleRemoval, AlphaTakesNoPartInTheTestAndIsKeptOutside)
{
    EXPECT_EQ(Simple(0x80FFFFFFu, 255, 255, 255, 30), 0u); // alpha 128, color = key
    EXPECT_EQ(Simple(0x80102030u, 255, 255, 255, 30), 0x80102030u); // semi-transparent kept
    // A kept pixel with alpha 0 is stored fully transparent black.
    EXPECT_EQ(Simple(0x00102030u, 255, 255, 255, 30), 0u);
    EXPECT_EQ(Simple(0x00102030u, 0, 0, 0, 0), 0u);
}

TEST(SimpleRemovalPass, PaintsEveryPixelOfTheImage)
{
    testing_support::PixelBuffer source(5, 3, 0xFFFFFFFFu), work(5, 3);
    source.at(1, 0) = 0xFF000000u;
    source.at(4, 2) = 0x7F102030u;
    const PassParameters white = RgbKey(255, 255, 255, 10);
    EXPECT_EQ(RunPass<SimpleRemovalKernel>({source.view(), work.view(), {}}, 5, 3, white), PassOutcome::Completed);
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = 0; x < 5; ++x) {
            const std::uint32_t expected = (x == 1 && y == 0) ? 0xFF000000u : (x == 4 && y == 2) ? 0x7F102030u : 0u;
            EXPECT_EQ(work.at(x, y), expected) << x << "," << y;
        }
}

TEST(SimpleRemovalPass, ZeroSizeVisitsNothingAndLeavesTheWorkTransparent)
{
    testing_support::PixelBuffer source(3, 3, 0xFF123456u), work(3, 3, 0xABABABABu);
    const PassParameters black = RgbKey(0, 0, 0, 30);
    RunPass<SimpleRemovalKernel>({source.view(), work.view(), {}}, 0, 3, black);
    for (std::uint32_t p : work.pixels) EXPECT_EQ(p, 0u);
    work.pixels.assign(work.pixels.size(), 0xABABABABu);
    RunPass<SimpleRemovalKernel>({source.view(), work.view(), {}}, 3, 0, black);
    for (std::uint32_t p : work.pixels) EXPECT_EQ(p, 0u);
}

} // namespace
} // namespace passes
