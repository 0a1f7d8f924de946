// Files processed band by band against the same pass over the whole
// decoded image, and every file that must not go that way declined with
// nothing written.
#include "imaging_test_support.h"

#include "cli/banded_pass.h"
#include "cli/batch.h"
#include "imaging/mgdip.h"
#include "passes/pass_command.h"

#include <QFile>

#include <gtest/gtest.h>

#include <random>

namespace {

class BandedProcessing : public testsupport::TempFolderTest {
protected:
    // A background near the key with a noisy patch, tall enough for several bands.
    QString WriteScene(const QString& name) const
    {
        QImage image(1200, 1800, QImage::Format_ARGB32);
        std::mt19937 random(3);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, qRgba(48 + static_cast<int>(random() % 9), 192 - static_cast<int>(random() % 9),
                                           96, 255 - static_cast<int>(random() % 40)));
        const QImage patch = testsupport::RandomArgb(700, 1500, 5);
        for (int y = 0; y < patch.height(); ++y)
            std::memcpy(image.scanLine(150 + y) + 4 * 300, patch.constScanLine(y), 4 * 700);
        const QString file = path(name);
        EXPECT_TRUE(image.save(file, "PNG"));
        return file;
    }

    cli::Options Base(int command) const
    {
        cli::Options options;
        options.command = command;
        options.tolerance = 40;
        options.outputFolder = folder().toStdString();
        return options;
    }

    cli::FileJob Job(const QString& input) const { return {input, path(QStringLiteral("out.png")), std::nullopt}; }
};

TEST_F(BandedProcessing, GivesTheWholeImagesResultForEveryPassAndKey)
{
    const QString input = WriteScene(QStringLiteral("scene.png"));
    const QImage decoded = mGdip::LoadImageFile(input).image.qimage();
    for (const int command : {passes::kSimpleRemoval, passes::kAlphaRestoringRemoval, passes::kColorReplacement})
        for (const bool fromPixel : {false, true}) {
            SCOPED_TRACE(testing::Message() << "command " << command << (fromPixel ? ", key from a pixel" : ""));
            cli::Options options = Base(command);
            passes::ArgbChannels key{200, 52, 188, 96};
            if (fromPixel) {
                options.keyAt = cli::PixelPosition{7, 20};
                passes::SplitArgb(decoded.pixel(7, 20), key.A, key.R, key.G, key.B);
            } else {
                options.key = cli::ColorArgument{200, 52, 188, 96};
            }
            options.replacement = cli::ColorArgument{std::nullopt, 250, 10, 20};
            const passes::ArgbChannels replacement{key.A, 250, 10, 20};

            ASSERT_TRUE(cli::ProcessInBands(options, Job(input)));
            QImage expected = decoded.copy();
            const passes::PixelView pixels{reinterpret_cast<std::uint32_t*>(expected.bits()), expected.bytesPerLine() / 4,
                                           expected.width(), expected.height()};
            passes::RunPassCommand(command, {pixels, pixels, {}}, expected.width(), expected.height(), key,
                                   options.tolerance, replacement);
            const mGdip::LoadedImage written = mGdip::LoadImageFile(path(QStringLiteral("out.png")));
            ASSERT_EQ(written.status, mGdip::ImagingStatus::Ok) << qPrintable(written.reason);
            EXPECT_EQ(testsupport::FirstDifference(written.image.qimage(), expected), -1);
        }
}

TEST_F(BandedProcessing, DeclinesWhatItCannotTakeAndWritesNothing)
{
    const QString good = WriteScene(QStringLiteral("scene.png"));
    QByteArray bytes = testsupport::ReadBytes(good);
    // The last IDAT's CRC, just before the 12 bytes of IEND: found only at the end.
    bytes[bytes.size() - 13] = static_cast<char>(bytes[bytes.size() - 13] ^ 0x40);
    const QString damaged = path(QStringLiteral("damaged.png"));
    ASSERT_TRUE(testsupport::WriteBytes(damaged, bytes));
    const QString jpeg = path(QStringLiteral("scene.jpg"));
    ASSERT_TRUE(testsupport::SaveWithQt(QImage(good), jpeg, "jpeg"));
    const QString palette = path(QStringLiteral("palette.png"));
    ASSERT_TRUE(QImage(good).convertToFormat(QImage::Format_Indexed8).save(palette, "PNG"));
    const QString wide = path(QStringLiteral("wide.png"));
    QImage wideImage(262145, 2, QImage::Format_ARGB32);
    wideImage.fill(0x80306090u);
    ASSERT_TRUE(wideImage.save(wide, "PNG"));
    const QStringList inputs = testsupport::EntriesOf(folder());

    cli::Options keyBelowFirstBand = Base(passes::kSimpleRemoval);
    keyBelowFirstBand.keyAt = cli::PixelPosition{5, 1700};
    cli::Options keyGiven = Base(passes::kSimpleRemoval);
    keyGiven.key = cli::ColorArgument{std::nullopt, 52, 188, 96};
    const struct {
        const char* what;
        const cli::Options& options;
        QString input, output;
    } cases[] = {
        {"damaged at its end", keyGiven, damaged, path(QStringLiteral("out.png"))},
        {"a JPEG", keyGiven, jpeg, path(QStringLiteral("out.png"))},
        {"a palette", keyGiven, palette, path(QStringLiteral("out.png"))},
        {"a key below the first band", keyBelowFirstBand, good, path(QStringLiteral("out.png"))},
        {"rows of over a megabyte", keyGiven, wide, path(QStringLiteral("out.png"))},
        {"a missing input", keyGiven, path(QStringLiteral("none.png")), path(QStringLiteral("out.png"))},
        {"a missing output folder", keyGiven, good, path(QStringLiteral("none/out.png"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(cli::ProcessInBands(c.options, {c.input, c.output, std::nullopt}));
        EXPECT_EQ(testsupport::EntriesOf(folder()), inputs); // no result, no temporary file
    }
    // The whole-image way then decides: the damaged file is refused with the decoder's reason.
    const cli::FileOutcome outcome = cli::ProcessFile(keyGiven, Job(damaged));
    ASSERT_TRUE(outcome.failure);
    EXPECT_EQ(*outcome.failure, mGdip::LoadImageFile(damaged).reason);
    EXPECT_EQ(testsupport::EntriesOf(folder()), inputs);
    // And a key below the first band is read from the whole image.
    EXPECT_FALSE(cli::ProcessFile(keyBelowFirstBand, Job(good)).failure);
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("out.png"))));
}

} // namespace
