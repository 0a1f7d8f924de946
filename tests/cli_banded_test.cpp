// Files processed band by band (PNG and JPEG) against the same pass over the
// whole decoded image, and every file that must not go that way declined
// with nothing written.
#include "imaging_test_support.h"

#include "cli/banded_pass.h"
#include "cli/batch.h"
#include "imaging/mgdip.h"
#include "passes/defringed_removal.h"
#include "passes/pass_command.h"

#include <QFile>

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

// How many times `file` was opened while `run` ran. Closes are watched too,
// so that two opens in a row are not merged into one event.
int OpensDuring(const QString& file, const std::function<void()>& run)
{
    const int watcher = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    EXPECT_GE(watcher, 0);
    EXPECT_GE(::inotify_add_watch(watcher, mGdip::PathToBytes(file).constData(), IN_OPEN | IN_CLOSE), 0);
    run();
    int opens = 0;
    alignas(inotify_event) char events[4096];
    for (ssize_t got; (got = ::read(watcher, events, sizeof events)) > 0;)
        for (const char* at = events; at < events + got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            opens += (event->mask & IN_OPEN) != 0;
            at += sizeof(inotify_event) + event->len;
        }
    ::close(watcher);
    return opens;
}

class BandedProcessing : public testsupport::TempFolderTest {
protected:
    // A background near the key with a noisy patch, tall enough for several bands.
    static QImage Scene()
    {
        QImage image(1200, 1800, QImage::Format_ARGB32);
        std::mt19937 random(3);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y,
                    qRgba(48 + static_cast<int>(random() % 9), 192 - static_cast<int>(random() % 9), 96,
                        255 - static_cast<int>(random() % 40)));
        const QImage patch = testsupport::RandomArgb(700, 1500, 5);
        for (int y = 0; y < patch.height(); ++y)
            std::memcpy(image.scanLine(150 + y) + 4 * 300, patch.constScanLine(y), 4 * 700);
        return image;
    }

    QString WriteScene(const QString& name) const
    {
        const QString file = path(name);
        EXPECT_TRUE(Scene().save(file, "PNG"));
        return file;
    }

    QString WriteFile(const QString& name, const QByteArray& bytes) const
    {
        const QString file = path(name);
        EXPECT_TRUE(testsupport::WriteBytes(file, bytes));
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

    cli::FileJob Job(const QString& input) const { return {input, path(QStringLiteral("out.png")), std::nullopt, {}}; }
};

// An EXIF orientation tag (APP1 right after SOI, big-endian, one entry).
QByteArray WithOrientation(QByteArray jpeg, int orientation)
{
    QByteArray app1("\xFF\xE1\x00\x22"
                    "Exif\0\0"
                    "MM\0\x2A\0\0\0\x08"
                    "\0\x01"
                    "\x01\x12\0\x03\0\0\0\x01\0",
        29);
    app1.append(static_cast<char>(orientation));
    app1.append(QByteArray(6, '\0'));
    jpeg.insert(2, app1);
    return jpeg;
}

TEST_F(BandedProcessing, GivesTheWholeImagesResultForEveryPassAndKey)
{
    const QImage scene = Scene();
    const struct {
        const char* what;
        QString input;
        int keyAlpha;
        int only; // -1: every pass and key; else the one of those six to run, the decoding being what is tested
    } inputs[] = {
        {"PNG", WriteScene(QStringLiteral("scene.png")), 200, -1},
        {"JPEG by Qt, 4:2:0", WriteFile(QStringLiteral("qt.jpg"), testsupport::EncodeWithQt(scene, "jpeg", 80)), 255,
            -1},
        {"grey JPEG", WriteFile(QStringLiteral("grey.jpg"), fixtures::MakeJpeg(scene, {.grey = true})), 255, 1},
        {"CMYK JPEG", WriteFile(QStringLiteral("cmyk.jpg"), fixtures::MakeJpeg(scene, {.cmyk = true})), 255, 2},
        {"progressive JPEG, upright EXIF",
            WriteFile(QStringLiteral("progressive.jpg"),
                WithOrientation(fixtures::MakeJpeg(scene, {.progressive = true}), 1)),
            255, 5},
    };
    const int commands[] = {passes::kSimpleRemoval, passes::kAlphaRestoringRemoval, passes::kColorReplacement};
    for (const auto& in : inputs) {
        const QImage decoded = mGdip::LoadImageFile(in.input).image.qimage();
        ASSERT_EQ(decoded.size(), scene.size()) << in.what;
        for (int run = 0; run < 6; ++run) {
            if (in.only >= 0 && run != in.only) continue;
            const int command = commands[run / 2];
            const bool fromPixel = run % 2 == 1;
            SCOPED_TRACE(
                testing::Message() << in.what << ", command " << command << (fromPixel ? ", key from a pixel" : ""));
            cli::Options options = Base(command);
            passes::ArgbChannels key{in.keyAlpha, 52, 188, 96};
            if (fromPixel) {
                options.keyAt = cli::PixelPosition{7, 20};
                passes::SplitArgb(decoded.pixel(7, 20), key.A, key.R, key.G, key.B);
            } else {
                options.key = cli::ColorArgument{in.keyAlpha, 52, 188, 96};
            }
            options.replacement = cli::ColorArgument{std::nullopt, 250, 10, 20};
            const passes::ArgbChannels replacement{key.A, 250, 10, 20};

            ASSERT_FALSE(cli::ProcessInBands(options, in.input, path(QStringLiteral("out.png"))));
            QImage expected = decoded.copy();
            const passes::PixelView pixels{reinterpret_cast<std::uint32_t*>(expected.bits()),
                expected.bytesPerLine() / 4, expected.width(), expected.height()};
            passes::RunPassCommand(command, {pixels, pixels, {}}, expected.width(), expected.height(), key,
                options.tolerance, replacement);
            ASSERT_NE(testsupport::FirstDifference(expected, decoded), -1); // the pass does change the image
            const mGdip::LoadedImage written = mGdip::LoadImageFile(path(QStringLiteral("out.png")));
            ASSERT_EQ(written.status, mGdip::ImagingStatus::Ok) << qPrintable(written.reason);
            EXPECT_EQ(testsupport::FirstDifference(written.image.qimage(), expected), -1);
        }
    }
}

// Clean edges band by band: the rows near a band's end wait for the next
// band, and every pixel comes out as over the whole decoded image.
TEST_F(BandedProcessing, DefringeGivesTheWholeImagesResult)
{
    const QImage scene = Scene();
    const QString inputs[] = {WriteScene(QStringLiteral("scene.png")),
        WriteFile(QStringLiteral("scene.jpg"), testsupport::EncodeWithQt(scene, "jpeg", 80))};
    for (const QString& input : inputs) {
        const QImage decoded = mGdip::LoadImageFile(input).image.qimage();
        for (const int radius : {1, 2, 5, 16}) {
            SCOPED_TRACE(testing::Message() << qPrintable(input) << ", --defringe " << radius);
            cli::Options options = Base(passes::kSimpleRemoval);
            options.keyAt = cli::PixelPosition{7, 20};
            options.defringe = radius;
            cli::FileDetails details;
            ASSERT_FALSE(cli::ProcessInBands(options, input, path(QStringLiteral("out.png")), &details));
            EXPECT_TRUE(details.keyFromImage);

            QImage expected = decoded.copy();
            const passes::PixelView pixels{reinterpret_cast<std::uint32_t*>(expected.bits()),
                expected.bytesPerLine() / 4, expected.width(), expected.height()};
            passes::ArgbChannels key;
            passes::SplitArgb(decoded.pixel(7, 20), key.A, key.R, key.G, key.B);
            EXPECT_EQ(details.key, key);
            passes::PassParameters plain{key, options.tolerance, {}};
            QImage passed = decoded.copy();
            passes::RunPassCommand(passes::kSimpleRemoval,
                {pixels,
                    passes::PixelView{reinterpret_cast<std::uint32_t*>(passed.bits()), passed.bytesPerLine() / 4,
                        passed.width(), passed.height()},
                    {}},
                passed.width(), passed.height(), key, options.tolerance, {});
            passes::RunDefringedRemoval(pixels, pixels, plain, radius);
            ASSERT_NE(testsupport::FirstDifference(expected, passed), -1); // there is a fringe
            const mGdip::LoadedImage written = mGdip::LoadImageFile(path(QStringLiteral("out.png")));
            ASSERT_EQ(written.status, mGdip::ImagingStatus::Ok) << qPrintable(written.reason);
            EXPECT_EQ(testsupport::FirstDifference(written.image.qimage(), expected), -1);
        }
    }
}

TEST_F(BandedProcessing, DeclinesOrRefusesWhatItCannotTakeAndWritesNothing)
{
    const QString good = WriteScene(QStringLiteral("scene.png"));
    QByteArray bytes = testsupport::ReadBytes(good);
    // The last IDAT's CRC, just before the 12 bytes of IEND: found only at the end.
    bytes[bytes.size() - 13] = static_cast<char>(bytes[bytes.size() - 13] ^ 0x40);
    const QString damaged = path(QStringLiteral("damaged.png"));
    ASSERT_TRUE(testsupport::WriteBytes(damaged, bytes));
    const QByteArray jpeg = fixtures::MakeJpeg(Scene(), {});
    const QString rotated = WriteFile(QStringLiteral("rotated.jpg"), WithOrientation(jpeg, 6));
    // Cut in the pixel data: found while the bands are read and encoded.
    const QString cut = WriteFile(QStringLiteral("cut.jpg"), jpeg.left(jpeg.size() * 2 / 3));
    // Cut in its later scans: found before the first band.
    const QByteArray progressive = fixtures::MakeJpeg(Scene(), {.progressive = true});
    const QString cutScans = WriteFile(QStringLiteral("cut-scans.jpg"), progressive.left(progressive.size() * 2 / 3));
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
    using Kind = mGdip::FailureKind;
    const struct {
        const char* what;
        const cli::Options& options;
        QString input, output;
        Kind answer; // Declined: left to the whole image; any other: the file's answer
    } cases[] = {
        {"damaged at its end", keyGiven, damaged, path(QStringLiteral("out.png")), Kind::Damaged},
        {"a JPEG turned by its EXIF orientation", keyGiven, rotated, path(QStringLiteral("out.png")), Kind::Declined},
        {"a JPEG cut short", keyGiven, cut, path(QStringLiteral("out.png")), Kind::Truncated},
        {"a progressive JPEG cut short", keyGiven, cutScans, path(QStringLiteral("out.png")), Kind::Truncated},
        {"a palette", keyGiven, palette, path(QStringLiteral("out.png")), Kind::Declined},
        {"a key below the first band", keyBelowFirstBand, good, path(QStringLiteral("out.png")), Kind::Declined},
        {"rows of over a megabyte", keyGiven, wide, path(QStringLiteral("out.png")), Kind::Declined},
        {"a missing input", keyGiven, path(QStringLiteral("none.png")), path(QStringLiteral("out.png")),
            Kind::NotFound},
        {"a missing output folder", keyGiven, good, path(QStringLiteral("none/out.png")), Kind::FolderMissing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const mGdip::Failure failure = cli::ProcessInBands(c.options, c.input, c.output);
        EXPECT_EQ(failure.kind, c.answer) << mGdip::KindName(failure.kind);
        EXPECT_EQ(testsupport::EntriesOf(folder()), inputs); // no result, no temporary file
    }
    // Damaged and truncated files are refused with the reason the whole
    // image gives.
    // Damage found late is the file's answer: the file is opened (and
    // decoded) once, not again whole.
    for (const QString& refused : {damaged, cut, cutScans}) {
        SCOPED_TRACE(qPrintable(refused));
        cli::FileOutcome outcome;
        EXPECT_EQ(OpensDuring(refused, [&] { outcome = cli::ProcessFile(keyGiven, Job(refused)); }), 1);
        ASSERT_TRUE(outcome.failure);
        const mGdip::LoadedImage whole = mGdip::LoadImageFile(refused);
        EXPECT_EQ(*outcome.failure, whole.reason);
        EXPECT_EQ(whole.failure.kind, refused == damaged ? mGdip::FailureKind::Damaged : mGdip::FailureKind::Truncated);
        EXPECT_EQ(testsupport::EntriesOf(folder()), inputs);
    }
    // The turned JPEG is turned upright.
    ASSERT_FALSE(cli::ProcessFile(keyGiven, Job(rotated)).failure);
    EXPECT_EQ(QImage(path(QStringLiteral("out.png"))).size(), Scene().size().transposed());
    ASSERT_TRUE(QFile::remove(path(QStringLiteral("out.png"))));
    // And a key below the first band is read from the whole image.
    EXPECT_FALSE(cli::ProcessFile(keyBelowFirstBand, Job(good)).failure);
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("out.png"))));
}

} // namespace
