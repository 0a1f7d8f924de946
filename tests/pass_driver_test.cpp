// How a pass walks the image: order, yields, settings changed during a yield,
// stopping, the image it reads and the target it paints; and what the driver
// and a kernel do for any pass.
#include "passes/pass_command.h"
#include "passes/pass_driver.h"

#include "pass_test_support.h"

#include <gtest/gtest.h>

#include <chrono>

namespace passes {
namespace {

using testing_support::PixelBuffer;
using namespace std::chrono_literals;

constexpr std::uint32_t kKey = 0xFF102030u;

// A yield after every chunk (a zero slice); on small images a chunk is a row.
PassYield EveryChunk(std::function<bool()> callback) { return PassYield(0ns, std::move(callback)); }

TEST(PassDriver, ToleranceChangedDuringAYieldReachesOnlyTheRowsNotYetVisited)
{
    PixelBuffer source(7, 6, kKey), work(7, 6);
    const ArgbChannels key{255, 0x10, 0x20, 0x30};
    std::int32_t tolerance = 30;
    int yields = 0;
    const PassOutcome outcome = RunPassCommand(kSimpleRemoval, {source.view(), work.view(), EveryChunk([&] {
                                                                    if (++yields == 2)
                                                                        tolerance = 0; // after rows 0 and 1
                                                                    return true;
                                                                })},
        7, 6, key, tolerance, {});
    EXPECT_EQ(outcome, PassOutcome::Completed);
    EXPECT_EQ(yields, 6);
    for (std::int32_t y = 0; y < 6; ++y)
        for (std::int32_t x = 0; x < 7; ++x) ASSERT_EQ(work.at(x, y), y < 2 ? 0u : kKey) << x << "," << y;
}

TEST(PassDriver, KeyPickedDuringAYieldMovesTheWindowForLaterRows)
{
    PixelBuffer source(3, 4, kKey), work(3, 4);
    for (std::int32_t x = 0; x < 3; ++x) source.at(x, 3) = 0xFFFFFFFFu;
    ArgbChannels key{255, 0x10, 0x20, 0x30};
    const std::int32_t tolerance = 1;
    int yields = 0;
    RunPassCommand(kSimpleRemoval, {source.view(), work.view(), EveryChunk([&] {
                                        if (++yields == 1) key = {255, 255, 255, 255};
                                        return true;
                                    })},
        3, 4, key, tolerance, {});
    EXPECT_EQ(work.at(0, 0), 0u); // old key removed in row 0
    EXPECT_EQ(work.at(0, 1), kKey); // kept once the key moved
    EXPECT_EQ(work.at(2, 3), 0u); // white removed by the new key
}

TEST(PassDriver, ReplacementDeltasStayThoseOfTheStart)
{
    PixelBuffer source(2, 3, kKey), work(2, 3);
    ArgbChannels key{255, 0x10, 0x20, 0x30};
    ArgbChannels replacement{255, 0x11, 0x22, 0x33};
    const std::int32_t tolerance = 5;
    RunPassCommand(kColorReplacement, {source.view(), work.view(), EveryChunk([&] {
                                           replacement = {0, 0, 0, 0}; // an edit during the pass
                                           return true;
                                       })},
        2, 3, key, tolerance, replacement);
    for (std::uint32_t p : work.pixels) EXPECT_EQ(p, 0xFF112233u);
}

TEST(PassDriver, StoppingLeavesTheUnvisitedPixelsTransparent)
{
    // The work image may hold anything beforehand (recycled memory).
    PixelBuffer source(4, 5, 0xFF000000u), work(4, 5, 0xABABABABu);
    const ArgbChannels key{255, 255, 255, 255};
    const std::int32_t tolerance = 30;
    int yields = 0;
    const PassOutcome outcome = RunPassCommand(kSimpleRemoval,
        {source.view(), work.view(), EveryChunk([&] { return ++yields < 2; })}, 4, 5, key, tolerance, {});
    EXPECT_EQ(outcome, PassOutcome::Stopped);
    for (std::int32_t y = 0; y < 5; ++y)
        for (std::int32_t x = 0; x < 4; ++x) EXPECT_EQ(work.at(x, y), y < 2 ? 0xFF000000u : 0u) << x << "," << y;
}

TEST(PassDriver, StoppingWithinARowClearsTheRestOfIt)
{
    PixelBuffer source(10000, 2, kKey), work(10000, 2, 0xABABABABu);
    const ArgbChannels key{255, 0, 0, 0};
    const std::int32_t tolerance = 1;
    RunPassCommand(
        kSimpleRemoval, {source.view(), work.view(), EveryChunk([] { return false; })}, 10000, 2, key, tolerance, {});
    EXPECT_EQ(work.at(0, 0), kKey);
    EXPECT_EQ(work.at(detail::kChunkPixels - 1, 0), kKey);
    EXPECT_EQ(work.at(detail::kChunkPixels, 0), 0u);
    EXPECT_EQ(work.at(9999, 1), 0u);
}

TEST(PassDriver, LongRowsYieldWithinTheRow)
{
    // A row longer than one chunk is split, so a wide image still yields often.
    PixelBuffer source(10000, 2, kKey), work(10000, 2);
    const ArgbChannels key{255, 0x10, 0x20, 0x30};
    std::int32_t tolerance = 30;
    int yields = 0;
    RunPassCommand(kSimpleRemoval, {source.view(), work.view(), EveryChunk([&] {
                                        if (++yields == 1) tolerance = 0;
                                        return true;
                                    })},
        10000, 2, key, tolerance, {});
    EXPECT_GT(yields, 2);
    EXPECT_EQ(work.at(0, 0), 0u);
    EXPECT_EQ(work.at(9999, 0), kKey);
    EXPECT_EQ(work.at(9999, 1), kKey);
}

TEST(PassDriver, RunsToTheEndWithoutAYieldCallback)
{
    PixelBuffer source(3, 3, kKey), work(3, 3);
    const ArgbChannels key{255, 0x10, 0x20, 0x30};
    const std::int32_t tolerance = 30;
    EXPECT_EQ(RunPassCommand(kAlphaRestoringRemoval, {source.view(), work.view(), {}}, 3, 3, key, tolerance, {}),
        PassOutcome::Completed);
    // The key itself: alpha from the key's own share, (16² + 32² + 48²) / 765 = 4.69.
    for (std::uint32_t p : work.pixels) EXPECT_EQ(p, 0x05102030u);
}

TEST(PassDriver, NeverReadsOutsideTheSourceAndClearsTheRestOfTheWork)
{
    PixelBuffer source(3, 2, kKey), work(2, 3, 0x11111111u);
    const ArgbChannels key{255, 0, 0, 0};
    const std::int32_t tolerance = 1;
    RunPassCommand(kSimpleRemoval, {source.view(), work.view(), {}}, 50, 50, key, tolerance, {});
    // Only the 2 x 2 overlap is painted from the source; the work row below it
    // is transparent.
    EXPECT_EQ(work.at(0, 0), kKey);
    EXPECT_EQ(work.at(1, 1), kKey);
    EXPECT_EQ(work.at(0, 2), 0u);
    EXPECT_EQ(work.at(1, 2), 0u);
}

TEST(PassDriver, UnknownCommandRunsNoPass)
{
    PixelBuffer source(2, 2, kKey), work(2, 2, 0x42424242u);
    const std::int32_t tolerance = 30;
    EXPECT_EQ(RunPassCommand(9, {source.view(), work.view(), {}}, 2, 2, {}, tolerance, {}), PassOutcome::Completed);
    for (std::uint32_t p : work.pixels) EXPECT_EQ(p, 0x42424242u);
}

TEST(PassDriver, ACanvasIsPaintedOnceEveryPixelIsWrittenEvenWhenThePassStops)
{
    PixelBuffer source(3, 2, kKey), memory(3, 2, 0xABABABABu);
    const ArgbChannels key{255, 0, 0, 0};
    const std::int32_t tolerance = 1;
    PaintCanvas canvas(memory.view());
    EXPECT_FALSE(canvas.painted());
    RunPassCommand(kSimpleRemoval, {source.view(), canvas, EveryChunk([] { return false; })}, 3, 2, key, tolerance, {});
    EXPECT_TRUE(canvas.painted());
    EXPECT_EQ(memory.at(2, 0), kKey);
    EXPECT_EQ(memory.at(0, 1), 0u);

    PaintCanvas untouched(memory.view());
    RunPassCommand(kNoCommand, {source.view(), untouched, {}}, 3, 2, key, tolerance, {});
    EXPECT_FALSE(untouched.painted()) << "no pass ran";
}

// A pass of its own: inside the window the color is inverted, outside the
// alpha is dropped. Its Inside is written for one pixel only, so the plain
// schedule computes inside lanes one at a time.
struct InvertingPass {
    static constexpr ComparedChannels kCompared = ComparedChannels::RedGreenBlue;
    static std::uint32_t Inside(std::uint32_t pixel, const PassParameters&) { return pixel ^ 0x00FFFFFFu; }
    template <class Pixels>
    static Pixels Outside(Pixels pixel)
    {
        return pixel & 0x00FFFFFFu;
    }
};

class PointKernelPaths : public testing_support::OnEachSimdPath { };
CHROMOBRISK_ON_EACH_SIMD_PATH(PointKernelPaths);

TEST_P(PointKernelPaths, AnyPassGetsTheKeyWindowAndTheAlphaZeroRule)
{
    // Inside pixels every few positions, across vector widths and a row end.
    PixelBuffer source(37, 3, 0xFF102030u), work(37, 3, 0x5A5A5A5Au);
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = y; x < 37; x += 5) source.at(x, y) = 0x80F0E0D0u;
    const PassParameters key{{255, 0xF0, 0xE0, 0xD0}, 2, {}};
    EXPECT_EQ(
        RunPass<PointKernel<InvertingPass>>({source.view(), work.view(), {}}, 37, 3, key), PassOutcome::Completed);
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = 0; x < 37; ++x) {
            const bool inside = x >= y && (x - y) % 5 == 0;
            // Outside, the alpha drops to 0, which paints transparent black.
            ASSERT_EQ(work.at(x, y), inside ? 0x800F1F2Fu : 0u) << x << "," << y;
        }
}

TEST(PassDriver, RunPassReadsItsParametersAgainAfterEveryYield)
{
    PixelBuffer source(5, 3, 0x80F0E0D0u), work(5, 3);
    PassParameters parameters{{255, 0xF0, 0xE0, 0xD0}, 1, {}};
    RunPass<PointKernel<InvertingPass>>({source.view(), work.view(), EveryChunk([&] {
                                             parameters.key.R = 0; // the window moves away
                                             return true;
                                         })},
        5, 3, parameters);
    EXPECT_EQ(work.at(4, 0), 0x800F1F2Fu);
    EXPECT_EQ(work.at(0, 1), 0u);
}

} // namespace
} // namespace passes
