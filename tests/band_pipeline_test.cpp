// The ordered band pipeline on its own, with a work that checks what it is
// given: every band reaches delivery once, in order, with the row above it,
// from threads that finish out of order; a failure stops it at that band.
#include "imaging/common/band_pipeline.h"

#include <gtest/gtest.h>

#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

using imaging::BandRows;
using imaging::Failure;

// Row y, word x of the image the producer hands over.
std::uint32_t Word(std::int32_t x, std::int32_t y)
{
    return static_cast<std::uint32_t>(y) * 1000003u + static_cast<std::uint32_t>(x);
}

struct Log {
    std::mutex mutex;
    std::vector<std::int32_t> delivered; // band indexes in the order delivered
    std::vector<std::int32_t> firstRows;
    int wrongRows = 0, wrongAbove = 0, wrongLast = 0;
    std::int32_t failAt = -1; // make() of this band fails
};

class CheckingWork final : public imaging::BandWork {
public:
    CheckingWork(Log& log, std::int32_t width, std::int32_t height, unsigned seed)
        : log_(log), width_(width), height_(height), random_(seed)
    {
    }

    Failure make(const BandRows& band) override
    {
        // Bands finish out of order: later ones often before earlier ones.
        std::this_thread::sleep_for(std::chrono::microseconds(random_() % 400));
        first_ = static_cast<std::int32_t>(band.rows[0] / 1000003u);
        int wrongRows = 0, wrongAbove = 0;
        for (std::int32_t r = 0; r < band.count; ++r)
            for (std::int32_t x = 0; x < width_; ++x)
                wrongRows += band.rows[static_cast<std::size_t>(r) * band.wordsPerLine + static_cast<std::size_t>(x)]
                    != Word(x, first_ + r);
        for (std::int32_t x = 0; x < width_; ++x)
            wrongAbove += first_ == 0 ? band.above != nullptr : !band.above || band.above[x] != Word(x, first_ - 1);
        std::lock_guard lock(log_.mutex);
        log_.wrongRows += wrongRows;
        log_.wrongAbove += wrongAbove;
        log_.wrongLast += band.last != (first_ + band.count == height_);
        if (band.index == log_.failAt)
            return imaging::MakeFailure(imaging::FailureKind::WriteFailed, QStringLiteral("band %1").arg(band.index));
        return {};
    }

    Failure deliver(const BandRows& band) override
    {
        std::lock_guard lock(log_.mutex); // delivery is one at a time already; the lock is for the log's readers
        log_.delivered.push_back(band.index);
        log_.firstRows.push_back(first_);
        return {};
    }

private:
    Log& log_;
    const std::int32_t width_, height_;
    std::minstd_rand random_;
    std::int32_t first_ = 0;
};

// Hands the image over in pieces of 1 to 9 rows, through the pipeline's
// room or in place, as `seed` chooses.
Failure HandOver(imaging::BandPipeline& pipeline, const std::vector<std::uint32_t>& image, std::int32_t width,
    std::int32_t height, unsigned seed)
{
    std::minstd_rand random(seed);
    for (std::int32_t y = 0; y < height;) {
        const std::uint32_t* from = image.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        std::int32_t count = std::min<std::int32_t>(height - y, 1 + static_cast<std::int32_t>(random() % 9));
        Failure failure;
        if (random() % 2) {
            failure = pipeline.commitInPlace(from, static_cast<std::size_t>(width), count);
        } else {
            std::int32_t room = 0;
            std::uint32_t* rows = pipeline.nextRows(&room);
            if (!rows) return pipeline.failure();
            count = std::min(count, room);
            std::copy(from, from + static_cast<std::size_t>(count) * static_cast<std::size_t>(width), rows);
            failure = pipeline.commit(count);
        }
        if (failure) return failure;
        y += count;
    }
    return pipeline.finish();
}

TEST(BandPipeline, EveryBandIsDeliveredOnceInOrderWithTheRowAbove)
{
    const std::int32_t width = 37, height = 301;
    std::vector<std::uint32_t> image;
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) image.push_back(Word(x, y));
    for (const int helpers : {0, 1, 3})
        for (const std::int32_t rowsPerBand : {1, 4, 9})
            for (const unsigned seed : {1u, 2u}) {
                SCOPED_TRACE(
                    testing::Message() << helpers << " helpers, " << rowsPerBand << " rows a band, seed " << seed);
                Log log;
                unsigned workSeed = seed * 100;
                std::mutex seedMutex;
                imaging::BandPipeline pipeline(width, height, rowsPerBand, helpers, [&] {
                    std::lock_guard lock(seedMutex);
                    return std::make_unique<CheckingWork>(log, width, height, ++workSeed);
                });
                ASSERT_FALSE(HandOver(pipeline, image, width, height, seed));
                EXPECT_EQ(log.wrongRows, 0);
                EXPECT_EQ(log.wrongAbove, 0);
                EXPECT_EQ(log.wrongLast, 0);
                for (std::size_t i = 0; i < log.delivered.size(); ++i)
                    ASSERT_EQ(log.delivered[i], static_cast<std::int32_t>(i));
                // The bands, in order, cover the image once.
                ASSERT_FALSE(log.firstRows.empty());
                EXPECT_EQ(log.firstRows.front(), 0);
                EXPECT_TRUE(std::is_sorted(log.firstRows.begin(), log.firstRows.end()));
                EXPECT_EQ(std::adjacent_find(log.firstRows.begin(), log.firstRows.end()), log.firstRows.end());
                EXPECT_FALSE(pipeline.failure());
            }
}

TEST(BandPipeline, AFailedBandStopsDeliveryThereAndEveryCallSaysSo)
{
    const std::int32_t width = 16, height = 200;
    std::vector<std::uint32_t> image;
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) image.push_back(Word(x, y));
    for (const int helpers : {0, 2}) {
        SCOPED_TRACE(helpers);
        Log log;
        log.failAt = 7;
        imaging::BandPipeline pipeline(
            width, height, 5, helpers, [&] { return std::make_unique<CheckingWork>(log, width, height, 5); });
        const Failure failure = HandOver(pipeline, image, width, height, 3);
        EXPECT_EQ(failure.detail, QStringLiteral("band 7"));
        EXPECT_EQ(pipeline.failure().detail, QStringLiteral("band 7"));
        std::int32_t room = -1;
        EXPECT_EQ(pipeline.nextRows(&room), nullptr);
        EXPECT_EQ(room, 0);
        std::lock_guard lock(log.mutex);
        EXPECT_LE(log.delivered.size(), 7u); // nothing at or after the failed band
        for (std::size_t i = 0; i < log.delivered.size(); ++i)
            EXPECT_EQ(log.delivered[i], static_cast<std::int32_t>(i));
    }
    // Abandoned halfway: the pipeline ends without the rest, and says so.
    Log log;
    {
        imaging::BandPipeline pipeline(
            width, height, 5, 2, [&] { return std::make_unique<CheckingWork>(log, width, height, 9); });
        ASSERT_FALSE(pipeline.commitInPlace(image.data(), static_cast<std::size_t>(width), 50));
    }
    EXPECT_LE(log.delivered.size(), 1u);
}

} // namespace
