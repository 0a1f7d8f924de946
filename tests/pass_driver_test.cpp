// How a pass walks the image: order, yields, settings changed during a yield,
// stopping, and the image it reads.
#include "passes/pass_command.h"
#include "passes/pass_driver.h"
#include "passes/simple_removal.h"

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
    const PassOutcome outcome = RunPassCommand(
        kSimpleRemoval, {source.view(), work.view(), EveryChunk([&] {
                             if (++yields == 2) tolerance = 0; // after rows 0 and 1
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
    EXPECT_EQ(work.at(0, 0), 0u);   // old key removed in row 0
    EXPECT_EQ(work.at(0, 1), kKey); // kept once the key moved
    EXPECT_EQ(work.at(2, 3), 0u);   // white removed by the new key
}

TEST(PassDriver, ReplacementDeltasStayThoseOfTheStart)
{
    PixelBuffer source(2, 3, kKey), work(2, 3);
    ArgbChannels key{255, 0x10, 0x20, 0x30};
    ArgbChannels replacement{255, 0x11, 0x22, 0x33};
    const std::int32_t tolerance = 5;
    RunPassCommand(kColorReplacement,
                   {source.view(), work.view(), EveryChunk([&] {
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
    const PassOutcome outcome = RunPassCommand(
        kSimpleRemoval, {source.view(), work.view(), EveryChunk([&] { return ++yields < 2; })}, 4, 5, key,
        tolerance, {});
    EXPECT_EQ(outcome, PassOutcome::Stopped);
    for (std::int32_t y = 0; y < 5; ++y)
        for (std::int32_t x = 0; x < 4; ++x) EXPECT_EQ(work.at(x, y), y < 2 ? 0xFF000000u : 0u) << x << "," << y;
}

TEST(PassDriver, StoppingWithinARowClearsTheRestOfIt)
{
    PixelBuffer source(10000, 2, kKey), work(10000, 2, 0xABABABABu);
    const ArgbChannels key{255, 0, 0, 0};
    const std::int32_t tolerance = 1;
    RunPassCommand(kSimpleRemoval, {source.view(), work.view(), EveryChunk([] { return false; })}, 10000, 2, key,
                   tolerance, {});
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

} // namespace
} // namespace passes
