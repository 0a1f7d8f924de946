#include "passes/pass_command.h"
#include "passes/pass_driver.h"

#include "pass_test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace passes {
namespace {

using testing_support::KernelResult;
using testing_support::RgbKey;

std::uint32_t Restore(std::uint32_t rgb, Channel kR, Channel kG, Channel kB, std::int32_t t = 30)
{
    return KernelResult(AlphaRestoringKernel(RgbKey(kR, kG, kB, t)), rgb);
}

TEST(ChannelDistance, IsDifferenceOver255PlusSquaredKeyShare)
{
    EXPECT_EQ(ChannelDistance(12, 0), 12 / 255.0);
    EXPECT_EQ(ChannelDistance(0, 12), 12 / 255.0 + (12 / 255.0) * (12 / 255.0));
    EXPECT_EQ(ChannelDistance(255, 255), 1.0);
    EXPECT_EQ(ChannelDistance(0, 255), 2.0);
    EXPECT_EQ(ChannelDistance(0, 0), 0.0);
}

TEST(ChannelDistance, SquaringEqualsThePowerFunctionForEveryKey)
{
    // The key term may be computed either way; they must not differ in any bit.
    for (int k = 0; k < 256; ++k) EXPECT_EQ(ChannelDistance(k, k), std::pow(k / 255.0, 2)) << k;
}

TEST(UnblendChannel, DividesByTheUnroundedAlphaAndClamps)
{
    EXPECT_EQ(UnblendChannel(14.0, 12, 0), 219); // 218.57
    EXPECT_EQ(UnblendChannel(14.0, 24, 0), 255); // 437.14 clamps
    EXPECT_EQ(UnblendChannel(13.0 / 3.0, 3, 0), 177); // 176.54; dividing by n = 4 would give 191
    EXPECT_EQ(UnblendChannel(0.0, 200, 0), 0);
    EXPECT_EQ(UnblendChannel(-1.0, 200, 0), 0);
    EXPECT_EQ(UnblendChannel(64.25, 128, 128), 128); // no difference: the key itself
}

TEST(UnblendChannel, RoundsExactHalvesToEven)
{
    EXPECT_EQ(UnblendChannel(6.0, 1, 0), 42); // 42.5
    EXPECT_EQ(UnblendChannel(2.0, 1, 0), 128); // 127.5
    EXPECT_EQ(UnblendChannel(10.0, 1, 0), 26); // 25.5
}

TEST(AlphaRestoringRemoval, BlackKeyAlphaIsTheChannelMean)
{
    EXPECT_EQ(Restore(0xFF0C1806u, 0, 0, 0), 0x0EDBFF6Du); // (12, 24, 6)
    EXPECT_EQ(Restore(0xFF000000u, 0, 0, 0), 0x00000000u); // a = 0
    EXPECT_EQ(Restore(0xFF010000u, 0, 0, 0), 0x00000000u); // a = 1/3 rounds to 0
    EXPECT_EQ(Restore(0xFF010100u, 0, 0, 0), 0x01FFFF00u); // a = 2/3: 382.5 clamps
    EXPECT_EQ(Restore(0xFF0A0300u, 0, 0, 0), 0x04FFB100u); // a = 13/3, green 176.54
}

TEST(AlphaRestoringRemoval, ExactHalvesInUnblendingGoToEven)
{
    // a = 6 exactly; green 1 * 255 / 6 = 42.5 gives 42, not 43.
    EXPECT_EQ(Restore(0xFF000111u, 0, 0, 0), 0x06002AFFu);
    // a = 10/3; green 76.5 gives 76.
    EXPECT_EQ(Restore(0xFF000109u, 0, 0, 0), 0x03004CFFu);
}

TEST(AlphaRestoringRemoval, KeyShareSetsAFloorForTheAlpha)
{
    EXPECT_EQ(Restore(0xFF8C7880u, 128, 128, 128), 0x47AB9D80u); // (140, 120, 128)
    EXPECT_EQ(Restore(0xFF808080u, 128, 128, 128), 0x40808080u); // the key itself
    EXPECT_EQ(Restore(0xFFFA0A05u, 255, 0, 0), 0x5CFF1C0Eu); // (250, 10, 5)
    EXPECT_EQ(Restore(0xFFFAF0FFu, 255, 255, 255), 0xFFFFFFFFu); // white key: opaque white
}

TEST(AlphaRestoringRemoval, OutsidePixelsBecomeOpaqueWhateverTheirAlpha)
{
    EXPECT_EQ(Restore(0xC8800A0Au, 0, 0, 0), 0xFF800A0Au);
    EXPECT_EQ(Restore(0x00FF0000u, 0, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(Restore(0x12345678u, 0x34, 0x56, 0x78, 0), 0xFF345678u); // tolerance 0
}

TEST(AlphaRestoringRemoval, SourceAlphaIsNeverRead)
{
    for (std::uint32_t alpha : {0x00u, 0x01u, 0x80u, 0xFFu})
        EXPECT_EQ(Restore(alpha << 24 | 0x0C1806u, 0, 0, 0), 0x0EDBFF6Du) << alpha;
}

TEST(AlphaRestoringRemovalPass, RunsTheKernelOverTheImage)
{
    testing_support::PixelBuffer source(3, 2, 0xFF0C1806u), work(3, 2);
    source.at(2, 1) = 0x00FF0000u;
    RunPass<AlphaRestoringKernel>({source.view(), work.view(), {}}, 3, 2, RgbKey(0, 0, 0, 30));
    EXPECT_EQ(work.at(0, 0), 0x0EDBFF6Du);
    EXPECT_EQ(work.at(1, 1), 0x0EDBFF6Du);
    EXPECT_EQ(work.at(2, 1), 0xFFFF0000u);
}

} // namespace
} // namespace passes

namespace passes {
namespace {

TEST(AlphaRestoringRemoval, AKernelForgetsItsResultsWhenTheKeyChanges)
{
    // The pass prepares its kernel again after every yield; it keeps what it
    // computed, but a new key must not reuse the old key's results.
    const std::uint32_t pixel = 0xFF0C1806u;
    AlphaRestoringKernel kernel(RgbKey(0, 0, 0, 30));
    EXPECT_EQ(KernelResult(kernel, pixel), 0x0EDBFF6Du);
    kernel.prepare(RgbKey(12, 24, 6, 30));
    EXPECT_EQ(KernelResult(kernel, pixel), KernelResult(AlphaRestoringKernel(RgbKey(12, 24, 6, 30)), pixel));
    kernel.prepare(RgbKey(0, 0, 0, 30));
    EXPECT_EQ(KernelResult(kernel, pixel), 0x0EDBFF6Du);
    kernel.prepare(RgbKey(0, 0, 0, 25));
    EXPECT_EQ(KernelResult(kernel, pixel), 0x0EDBFF6Du);
}

TEST(AlphaRestoringRemoval, KernelsShareNoResults)
{
    // Each kernel remembers results in its own cache, so two of them (one
    // per thread, say) never see each other's, and a copy goes its own way.
    const std::uint32_t pixel = 0xFF0C1806u;
    AlphaRestoringKernel black(RgbKey(0, 0, 0, 30)), grey(RgbKey(12, 24, 6, 30));
    const std::uint32_t greyResult = KernelResult(AlphaRestoringKernel(RgbKey(12, 24, 6, 30)), pixel);
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(KernelResult(black, pixel), 0x0EDBFF6Du);
        EXPECT_EQ(KernelResult(grey, pixel), greyResult);
    }
    AlphaRestoringKernel copy = black;
    copy.prepare(RgbKey(12, 24, 6, 30));
    EXPECT_EQ(KernelResult(copy, pixel), greyResult);
    EXPECT_EQ(KernelResult(black, pixel), 0x0EDBFF6Du);
}

} // namespace
} // namespace passes
