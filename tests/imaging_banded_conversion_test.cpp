// The banded conversion with a stage that keeps rows back: each comes again,
// as the stage left it, at the top of the next band, and reaches the file
// once, in its place; a stage that keeps back a band's worth is declined.
#include "imaging_test_support.h"

#include "imaging/banded_conversion.h"
#include "imaging/mgdip.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Inverts the colour of each row the first time it sees it, and keeps back
// a random number of rows (up to its limit) from every band but the last.
class KeepingBack final : public mGdip::RowStage {
public:
    explicit KeepingBack(std::int32_t most) : most_(most) { }

    bool begin(std::int32_t width, std::int32_t height) override
    {
        width_ = static_cast<std::size_t>(width);
        height_ = height;
        return true;
    }

    std::int32_t rowsKeptBack() const override { return most_; }

    std::int32_t apply(std::uint32_t* rows, std::size_t wordsPerLine, std::int32_t top, std::int32_t count) override
    {
        EXPECT_EQ(top, done_);
        EXPECT_EQ(wordsPerLine, width_);
        const std::size_t keptWords = kept_.size();
        EXPECT_TRUE(std::equal(kept_.begin(), kept_.end(), rows)) << "rows kept back at row " << top;
        for (std::size_t i = keptWords; i < static_cast<std::size_t>(count) * width_; ++i) rows[i] ^= 0x00FFFFFFu;
        const std::int32_t keep = top + count == height_ ? 0 : static_cast<std::int32_t>(random_() % (most_ + 1));
        kept_.assign(
            rows + static_cast<std::size_t>(count - keep) * width_, rows + static_cast<std::size_t>(count) * width_);
        keptRows_ += keep;
        ++bands_;
        done_ += count - keep;
        return count - keep;
    }

    std::int32_t bands_ = 0, keptRows_ = 0;

private:
    std::int32_t most_;
    std::size_t width_ = 0;
    std::int32_t height_ = 0, done_ = 0;
    std::vector<std::uint32_t> kept_;
    std::mt19937 random_{9};
};

class BandedConversion : public testsupport::TempFolderTest { };

TEST_F(BandedConversion, RowsKeptBackComeAgainAndAreWrittenOnce)
{
    // Wide rows, so the encoder's bands are a few dozen rows each (34 at 2 MB a band).
    const QImage source = testsupport::RandomArgb(15000, 150, 4);
    const QString input = path(QStringLiteral("in.png"));
    ASSERT_TRUE(testsupport::SaveWithQt(source, input, "png"));
    const QString output = path(QStringLiteral("out.png"));

    KeepingBack stage(20);
    ASSERT_FALSE(mGdip::ConvertInBands(input, output, stage));
    EXPECT_GT(stage.bands_, 3);
    EXPECT_GT(stage.keptRows_, 20);
    QImage expected = source.copy();
    for (int y = 0; y < expected.height(); ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(expected.scanLine(y));
        for (int x = 0; x < expected.width(); ++x) row[x] ^= 0x00FFFFFFu;
    }
    const mGdip::LoadedImage written = mGdip::LoadImageFile(output);
    ASSERT_EQ(written.status, mGdip::ImagingStatus::Ok) << qPrintable(written.reason);
    EXPECT_EQ(testsupport::FirstDifference(written.image.qimage(), expected), -1);

    // Keeping back as many rows as a band holds would leave no room for new ones.
    ASSERT_TRUE(QFile::remove(output));
    KeepingBack greedy(1000);
    EXPECT_EQ(mGdip::ConvertInBands(input, output, greedy).kind, mGdip::FailureKind::Declined);
    EXPECT_EQ(testsupport::EntriesOf(folder()), QStringList{QStringLiteral("in.png")});
}

} // namespace
