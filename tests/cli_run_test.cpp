// The batch tool as a user runs it: the real binary, real files.
#include "imaging_test_support.h"
#include "process_runner.h"

#include "imaging/mgdip.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <vector>

namespace {

using testsupport::EntriesOf;

struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;

    QStringList errLines() const { return err.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    QStringList outLines() const { return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
};

class CliRun : public testsupport::TempFolderTest {
protected:
    // Runs the tool in the test's folder.
    CliResult Run(const QStringList& args) const
    {
        const testsupport::ProcessResult r =
            testsupport::RunProcess(QStringLiteral(CHROMOBRISK_CLI_PATH), args, folder());
        return {r.exitCode, QString::fromUtf8(r.out), QString::fromUtf8(r.err)};
    }

    QString MakeFolder(const QString& name) const
    {
        EXPECT_TRUE(QDir(folder()).mkpath(name));
        return path(name);
    }

    // Writes `pixels` (row by row) as a PNG through Qt's writer.
    QString WriteImage(const QString& name, int width, int height, const std::vector<std::uint32_t>& pixels) const
    {
        QImage image(width, height, QImage::Format_ARGB32);
        for (int i = 0; i < width * height; ++i)
            image.setPixel(i % width, i / width, pixels[static_cast<std::size_t>(i)]);
        const QString file = path(name);
        EXPECT_TRUE(image.save(file, "PNG"));
        return file;
    }

    static std::vector<std::uint32_t> PixelsOfFile(const QString& file)
    {
        const mGdip::LoadedImage loaded = mGdip::LoadImageFile(file);
        EXPECT_EQ(loaded.status, mGdip::ImagingStatus::Ok) << qPrintable(file) << ": " << qPrintable(loaded.reason);
        return testsupport::PixelsOf(loaded.image.qimage());
    }
};

// ---- passes on known pixels -------------------------------------------------------

TEST_F(CliRun, SimplePassClearsPixelsNearTheKey)
{
    const QString input = WriteImage(QStringLiteral("in.png"), 2, 2, {0xFF00FF00, 0xFF0AF505, 0xFF28FF00, 0x80FF0000});
    const QString out = MakeFolder(QStringLiteral("out"));
    const CliResult r = Run({QStringLiteral("simple"), QStringLiteral("--key"), QStringLiteral("0,255,0"),
        QStringLiteral("-o"), out, input});
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(EntriesOf(out), QStringList{QStringLiteral("in.png.png")});
    EXPECT_EQ(r.outLines(), QStringList{QDir(out).filePath(QStringLiteral("in.png.png"))});
    // Within 30 of the key in every channel: cleared; 40 away in red: kept.
    const std::vector<std::uint32_t> expected = {0x00000000, 0x00000000, 0xFF28FF00, 0x80FF0000};
    EXPECT_EQ(PixelsOfFile(QDir(out).filePath(QStringLiteral("in.png.png"))), expected);
}

TEST_F(CliRun, AlphaPassRestoresAlphaNearTheKeyAndMakesTheRestOpaque)
{
    const QString input = WriteImage(QStringLiteral("in.png"), 3, 1, {0xFF0C1806, 0xFF000000, 0x80C86432});
    const CliResult r = Run({QStringLiteral("alpha"), QStringLiteral("--key=0,0,0"), QStringLiteral("--tolerance"),
        QStringLiteral("30"), input});
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    const std::vector<std::uint32_t> expected = {0x0EDBFF6D, 0x00000000, 0xFFC86432};
    EXPECT_EQ(PixelsOfFile(path(QStringLiteral("in.png.png"))), expected);
}

TEST_F(CliRun, ReplacePassShiftsKeyColoursOntoTheReplacement)
{
    const QString input = WriteImage(QStringLiteral("in.png"), 3, 1, {0xFFC86432, 0xFFD25A3C, 0xFF000000});
    const CliResult r = Run({QStringLiteral("replace"), QStringLiteral("--key"), QStringLiteral("255,200,100,50"),
        QStringLiteral("--to"), QStringLiteral("255,10,20,30"), input});
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    const std::vector<std::uint32_t> expected = {0xFF0A141E, 0xFF140A28, 0xFF000000};
    EXPECT_EQ(PixelsOfFile(path(QStringLiteral("in.png.png"))), expected);
}

TEST_F(CliRun, ReplacementAlphaDefaultsToTheKeyAlpha)
{
    const QString input = WriteImage(QStringLiteral("in.png"), 2, 1, {0x80C86432, 0xFFC86432});
    const CliResult r = Run({QStringLiteral("replace"), QStringLiteral("--key"), QStringLiteral("128,200,100,50"),
        QStringLiteral("--to"), QStringLiteral("#0A141E"), input});
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    // The key's own alpha is kept; the opaque pixel is outside the window.
    const std::vector<std::uint32_t> expected = {0x800A141E, 0xFFC86432};
    EXPECT_EQ(PixelsOfFile(path(QStringLiteral("in.png.png"))), expected);
}

TEST_F(CliRun, KeyIsTakenFromTheTopLeftPixelByDefault)
{
    const QString input = WriteImage(QStringLiteral("in.png"), 3, 1, {0xFF102030, 0xFF102030, 0xFFF0E0D0});
    ASSERT_EQ(Run({QStringLiteral("simple"), input}).exitCode, 0);
    const std::vector<std::uint32_t> expected = {0, 0, 0xFFF0E0D0};
    EXPECT_EQ(PixelsOfFile(path(QStringLiteral("in.png.png"))), expected);

    // --key-at names another pixel.
    const QString out = MakeFolder(QStringLiteral("at"));
    ASSERT_EQ(Run({QStringLiteral("simple"), QStringLiteral("--key-at"), QStringLiteral("2,0"), QStringLiteral("-o"),
                      out, input})
                  .exitCode,
        0);
    const std::vector<std::uint32_t> expectedAt = {0xFF102030, 0xFF102030, 0};
    EXPECT_EQ(PixelsOfFile(QDir(out).filePath(QStringLiteral("in.png.png"))), expectedAt);
}

TEST_F(CliRun, KeyPositionOutsideAnImageFailsThatFile)
{
    const QString small = WriteImage(QStringLiteral("small.png"), 2, 2, {1, 2, 3, 4});
    const QString big = WriteImage(QStringLiteral("big.png"), 6, 6, std::vector<std::uint32_t>(36, 0xFF000000));
    const QString out = MakeFolder(QStringLiteral("out"));
    const CliResult r =
        Run({QStringLiteral("simple"), QStringLiteral("--key-at=5,5"), QStringLiteral("-o"), out, small, big});
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.errLines().size(), 1) << qPrintable(r.err);
    EXPECT_TRUE(r.errLines()[0].contains(small)) << qPrintable(r.err);
    EXPECT_TRUE(r.errLines()[0].contains(QStringLiteral("5,5"))) << qPrintable(r.err);
    EXPECT_EQ(EntriesOf(out), QStringList{QStringLiteral("big.png.png")});
}

TEST_F(CliRun, OtherFormatsAndUnusualNames)
{
    QImage photo = testsupport::OpaquePattern(8, 8);
    ASSERT_TRUE(photo.save(path(QStringLiteral("pic.bmp")), "BMP"));
    ASSERT_TRUE(photo.save(path(QStringLiteral("-dash ünï ✓.jpg")), "JPEG"));
    const QString out = MakeFolder(QStringLiteral("out"));
    const CliResult r = Run({QStringLiteral("simple"), QStringLiteral("--key"), QStringLiteral("#FFFFFF"),
        QStringLiteral("--tolerance=0"), QStringLiteral("-o"), out, QStringLiteral("--"), QStringLiteral("pic.bmp"),
        QStringLiteral("-dash ünï ✓.jpg")});
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(EntriesOf(out), (QStringList{QStringLiteral("-dash ünï ✓.jpg.png"), QStringLiteral("pic.bmp.png")}));
    EXPECT_EQ(PixelsOfFile(QDir(out).filePath(QStringLiteral("pic.bmp.png"))), testsupport::PixelsOf(photo));
}

// ---- failures -------------------------------------------------------------------

TEST_F(CliRun, BadFilesAreReportedOneLineEachAndTheRestIsWritten)
{
    const QString good = WriteImage(QStringLiteral("good.png"), 2, 1, {0xFF000000, 0xFFFFFFFF});
    ASSERT_TRUE(testsupport::WriteBytes(path(QStringLiteral("text.png")), "not an image\n"));
    QByteArray truncated = testsupport::ReadBytes(good);
    truncated.chop(30);
    ASSERT_TRUE(testsupport::WriteBytes(path(QStringLiteral("cut.png")), truncated));
    // A JPEG whose Huffman table is damaged: the decoder complains while probing.
    const QByteArray jpeg = testsupport::PatternJpegPatched(0xC4, QByteArray("\xFF\xFF\xFF\xFF", 4));
    ASSERT_FALSE(jpeg.isEmpty());
    ASSERT_TRUE(testsupport::WriteBytes(path(QStringLiteral("bogus.jpg")), jpeg));
    const QString out = MakeFolder(QStringLiteral("out"));

    const QStringList bad = {path(QStringLiteral("text.png")), path(QStringLiteral("missing.png")),
        path(QStringLiteral("cut.png")), path(QStringLiteral("bogus.jpg"))};
    const CliResult r =
        Run(QStringList{QStringLiteral("simple"), QStringLiteral("-o"), out, bad[0], good, bad[1], bad[2], bad[3]});
    EXPECT_EQ(r.exitCode, 1);
    const QStringList lines = r.errLines();
    ASSERT_EQ(lines.size(), bad.size()) << qPrintable(r.err);
    for (const QString& file : bad) {
        int naming = 0;
        for (const QString& line : lines) naming += line.contains(file) ? 1 : 0;
        EXPECT_EQ(naming, 1) << qPrintable(file) << "\n" << qPrintable(r.err);
    }
    EXPECT_EQ(EntriesOf(out), QStringList{QStringLiteral("good.png.png")});
    EXPECT_EQ(r.outLines(), QStringList{QDir(out).filePath(QStringLiteral("good.png.png"))});
}

TEST_F(CliRun, UsageErrorsExitWithTwoAndTheUsage)
{
    const QString input = WriteImage(QStringLiteral("in.png"), 1, 1, {0xFF000000});
    const QStringList cases[] = {
        {},
        {QStringLiteral("simple")},
        {QStringLiteral("sharpen"), input},
        {QStringLiteral("simple"), QStringLiteral("--bogus"), input},
        {QStringLiteral("simple"), QStringLiteral("--key"), QStringLiteral("1,2"), input},
        {QStringLiteral("simple"), QStringLiteral("--to"), QStringLiteral("1,2,3"), input},
        {QStringLiteral("simple"), QStringLiteral("--key=1,2,3"), QStringLiteral("--key-at=0,0"), input},
        {QStringLiteral("simple"), QStringLiteral("-j"), QStringLiteral("0"), input},
        {QStringLiteral("simple"), QStringLiteral("--files-from"), QStringLiteral("no-such-list")},
        {QStringLiteral("alpha"), QStringLiteral("--defringe"), QStringLiteral("2"), input},
        {QStringLiteral("simple"), QStringLiteral("--defringe=17"), input},
    };
    const QStringList before = EntriesOf(folder());
    for (const QStringList& args : cases) {
        SCOPED_TRACE(qPrintable(args.join(QLatin1Char(' '))));
        const CliResult r = Run(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.contains(QStringLiteral("usage:"))) << qPrintable(r.err);
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_EQ(EntriesOf(folder()), before);
}

TEST_F(CliRun, HelpAndVersion)
{
    const CliResult help = Run({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("usage:")));
    for (const char* word : {"simple", "alpha", "replace", "--key-at", "--tolerance", "--to", "Exit status"})
        EXPECT_TRUE(help.out.contains(QLatin1String(word))) << word;
    EXPECT_TRUE(help.err.isEmpty()) << qPrintable(help.err);

    const CliResult version = Run({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("chromobrisk-cli "))) << qPrintable(version.out);
    EXPECT_TRUE(version.out.contains(QRegularExpression(QStringLiteral("\\d+\\.\\d+")))) << qPrintable(version.out);
}

TEST_F(CliRun, MissingOutputFolderFailsAndWritesNothing)
{
    const QString input = WriteImage(QStringLiteral("in.png"), 1, 1, {0xFF000000});
    const QStringList before = EntriesOf(folder());
    const CliResult r = Run({QStringLiteral("simple"), QStringLiteral("-o"), path(QStringLiteral("nowhere")), input});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("nowhere"))) << qPrintable(r.err);
    EXPECT_EQ(EntriesOf(folder()), before);

    // An output "folder" that is a file is no better.
    const CliResult onFile = Run({QStringLiteral("simple"), QStringLiteral("-o"), input, input});
    EXPECT_NE(onFile.exitCode, 0);
    EXPECT_EQ(EntriesOf(folder()), before);
}

TEST_F(CliRun, NeverOverwritesAnInput)
{
    // `a`'s result would be a.png, which is itself an input.
    const QString a = WriteImage(QStringLiteral("a"), 1, 1, {0xFF000000});
    const QString aPng = WriteImage(QStringLiteral("a.png"), 2, 1, {0xFFFFFFFF, 0xFF000000});
    const QByteArray original = testsupport::ReadBytes(aPng);
    const CliResult r = Run({QStringLiteral("simple"), QStringLiteral("-o"), folder(), a, aPng});
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.errLines().size(), 1) << qPrintable(r.err);
    EXPECT_TRUE(r.errLines()[0].contains(a + QStringLiteral(":"))) << qPrintable(r.err);
    EXPECT_EQ(testsupport::ReadBytes(aPng), original);
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("a.png.png"))));

    // The same through relative paths and a differently spelled output folder.
    const CliResult relative = Run({QStringLiteral("simple"), QStringLiteral("-o"), QStringLiteral("./"),
        QStringLiteral("a.png"), QStringLiteral("./a")});
    EXPECT_EQ(relative.exitCode, 1);
    EXPECT_EQ(testsupport::ReadBytes(aPng), original);

    // Or through a link to the folder.
    ASSERT_TRUE(QFile::link(folder(), path(QStringLiteral("link"))));
    const CliResult linked =
        Run({QStringLiteral("simple"), QStringLiteral("-o"), path(QStringLiteral("link")), a, aPng});
    EXPECT_EQ(linked.exitCode, 1);
    EXPECT_EQ(testsupport::ReadBytes(aPng), original);
}

TEST_F(CliRun, SameFileNameFromTwoFoldersWritesOnlyTheFirst)
{
    MakeFolder(QStringLiteral("one"));
    MakeFolder(QStringLiteral("two"));
    const QString first = WriteImage(QStringLiteral("one/p.png"), 1, 1, {0xFF112233});
    const QString second = WriteImage(QStringLiteral("two/p.png"), 1, 1, {0xFF445566});
    const QString out = MakeFolder(QStringLiteral("out"));
    const CliResult r = Run({QStringLiteral("simple"), QStringLiteral("--key"), QStringLiteral("0,0,0"),
        QStringLiteral("-o"), out, first, second});
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.errLines().size(), 1) << qPrintable(r.err);
    EXPECT_TRUE(r.errLines()[0].contains(second)) << qPrintable(r.err);
    EXPECT_EQ(EntriesOf(out), QStringList{QStringLiteral("p.png.png")});
    EXPECT_EQ(PixelsOfFile(QDir(out).filePath(QStringLiteral("p.png.png"))), std::vector<std::uint32_t>{0xFF112233});
}

TEST_F(CliRun, ParallelRunsGiveTheSameFiles)
{
    QStringList inputs;
    for (int i = 0; i < 9; ++i) {
        QImage image = testsupport::RandomArgb(40 + i * 7, 30 + i * 3, static_cast<std::uint32_t>(100 + i));
        image.setPixel(0, 0, 0xFF808080);
        const QString file = path(QStringLiteral("in%1.png").arg(i));
        ASSERT_TRUE(image.save(file, "PNG"));
        inputs << file;
    }
    const QString one = MakeFolder(QStringLiteral("j1")), four = MakeFolder(QStringLiteral("j4"));
    for (const QString& pass : {QStringLiteral("simple"), QStringLiteral("alpha"), QStringLiteral("replace")}) {
        SCOPED_TRACE(qPrintable(pass));
        const CliResult serial = Run(QStringList{pass, QStringLiteral("--tolerance=90"), QStringLiteral("-j"),
                                         QStringLiteral("1"), QStringLiteral("--overwrite"), QStringLiteral("-o"), one}
            + inputs);
        const CliResult parallel = Run(QStringList{pass, QStringLiteral("--tolerance=90"), QStringLiteral("-j4"),
                                           QStringLiteral("--overwrite"), QStringLiteral("-o"), four}
            + inputs);
        ASSERT_EQ(serial.exitCode, 0) << qPrintable(serial.err);
        ASSERT_EQ(parallel.exitCode, 0) << qPrintable(parallel.err);
        ASSERT_EQ(EntriesOf(one).size(), 9);
        EXPECT_EQ(EntriesOf(one), EntriesOf(four));
        for (const QString& name : EntriesOf(one)) {
            const QByteArray a = testsupport::ReadBytes(QDir(one).filePath(name));
            EXPECT_FALSE(a.isEmpty());
            EXPECT_EQ(a, testsupport::ReadBytes(QDir(four).filePath(name))) << qPrintable(name);
        }
        // Each run lists every written file once.
        QStringList listed = parallel.outLines();
        listed.sort();
        QStringList expected;
        for (const QString& name : EntriesOf(four)) expected << QDir(four).filePath(name);
        EXPECT_EQ(listed, expected);
    }
}

// ---- connected and trim -------------------------------------------------------------

constexpr std::uint32_t W = 0xFFFFFFFF, K = 0xFF000000, N = 0xFFF0F5FA; // white, black, near-white

QSize SizeOfFile(const QString& file) { return mGdip::LoadImageFile(file).image.qimage().size(); }

TEST_F(CliRun, ConnectedKeepsEnclosedKeyColorsAndTrimCropsTheMargin)
{
    // A logo on white: the white (and near-white) inside the ring is enclosed.
    const QString logo = WriteImage(QStringLiteral("logo.png"), 7, 5,
        {W, W, W, W, W, W, W, //
            W, K, K, K, K, K, W, //
            W, K, N, K, W, K, W, //
            W, K, K, K, K, K, W, //
            W, W, W, W, W, W, W});
    const QString out = MakeFolder(QStringLiteral("out"));
    CliResult r = Run({QStringLiteral("simple"), QStringLiteral("--connected"), QStringLiteral("--trim"),
        QStringLiteral("-o"), out, logo});
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(r.err, QString());
    const QString result = QDir(out).filePath(QStringLiteral("logo.png.png"));
    EXPECT_EQ(SizeOfFile(result), QSize(5, 3));
    EXPECT_EQ(PixelsOfFile(result), (std::vector<std::uint32_t>{K, K, K, K, K, K, N, K, W, K, K, K, K, K, K}));

    // From a seed instead: only that pixel's run goes; the border stays.
    r = Run({QStringLiteral("simple"), QStringLiteral("--connected"), QStringLiteral("--seed=2,2"),
        QStringLiteral("--overwrite"), QStringLiteral("-o"), out, logo});
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    std::vector<std::uint32_t> seeded = PixelsOfFile(logo);
    seeded[2 * 7 + 2] = 0;
    EXPECT_EQ(PixelsOfFile(result), seeded);

    // Alpha-restoring: an enclosed key-colored pixel is treated as outside the
    // tolerance, made opaque with its own color; the border's gets its alpha.
    const QString dark = WriteImage(QStringLiteral("dark.png"), 5, 5,
        {K, K, K, K, K, //
            K, W, W, W, K, //
            K, W, 0x800C1806, W, K, //
            K, W, W, W, K, //
            K, K, K, K, 0xFF0C1806});
    r = Run({QStringLiteral("alpha"), QStringLiteral("--key"), QStringLiteral("0,0,0"), QStringLiteral("--connected"),
        QStringLiteral("-o"), out, dark});
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    const std::vector<std::uint32_t> expected = {0, 0, 0, 0, 0, //
        0, W, W, W, 0, //
        0, W, 0xFF0C1806, W, 0, //
        0, W, W, W, 0, //
        0, 0, 0, 0, 0x0EDBFF6D};
    EXPECT_EQ(PixelsOfFile(QDir(out).filePath(QStringLiteral("dark.png.png"))), expected);
}

// The logo recipe with clean edges: the grey edge un-blended from white into
// translucent black, the faint pixel at the right un-blended to nothing and
// then trimmed away; the black far from the key stays as it is.
TEST_F(CliRun, DefringeUnblendsTheEdgeBeforeTheTrim)
{
    constexpr std::uint32_t G = 0xFFE0E0E0, F = 0x01E0E0E0, E = 0x1F000000; // grey, faint grey, grey un-blended
    const QString logo = WriteImage(QStringLiteral("logo.png"), 9, 5,
        {W, W, W, W, W, W, W, W, W, //
            W, G, K, K, K, K, K, W, W, //
            W, G, K, K, K, K, K, W, F, //
            W, G, K, K, K, K, K, W, W, //
            W, W, W, W, W, W, W, W, W});
    const QString out = MakeFolder(QStringLiteral("out"));
    for (const QString& variant : {QStringLiteral("--connected"), QStringLiteral("--tolerance=30")}) {
        SCOPED_TRACE(qPrintable(variant));
        const CliResult r = Run({QStringLiteral("simple"), QStringLiteral("--key"), QStringLiteral("white"), variant,
            QStringLiteral("--defringe"), QStringLiteral("2"), QStringLiteral("--trim"), QStringLiteral("--overwrite"),
            QStringLiteral("-o"), out, logo});
        ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
        const QString result = QDir(out).filePath(QStringLiteral("logo.png.png"));
        EXPECT_EQ(SizeOfFile(result), QSize(6, 3));
        EXPECT_EQ(
            PixelsOfFile(result), (std::vector<std::uint32_t>{E, K, K, K, K, K, E, K, K, K, K, K, E, K, K, K, K, K}));
    }
}

TEST_F(CliRun, BadSeedsAreUsageErrorsNamingTheirFileAndAnEmptyTrimKeepsOnePixel)
{
    const QString small = WriteImage(QStringLiteral("small.png"), 2, 2, std::vector<std::uint32_t>(4, W));
    const QString big = WriteImage(QStringLiteral("big.png"), 6, 6, std::vector<std::uint32_t>(36, W));
    const QString dark = WriteImage(QStringLiteral("dark.png"), 4, 4, std::vector<std::uint32_t>(16, K));
    const QString out = MakeFolder(QStringLiteral("out"));
    const QStringList seeded = {QStringLiteral("simple"), QStringLiteral("--key=#FFFFFF"),
        QStringLiteral("--connected"), QStringLiteral("--seed"), QStringLiteral("3,3"), QStringLiteral("-o"), out};

    // Outside one image, not matching the key in another: usage errors naming those two; the third is written.
    CliResult r = Run(seeded + QStringList{small, big, dark});
    EXPECT_EQ(r.exitCode, 2);
    QStringList lines = r.errLines();
    lines.sort();
    ASSERT_EQ(lines.size(), 2) << qPrintable(r.err);
    EXPECT_TRUE(lines[0].contains(dark) && lines[0].contains(QStringLiteral("3,3"))
        && lines[0].contains(QStringLiteral("does not match the key 255,255,255 within tolerance 30")))
        << qPrintable(lines[0]);
    EXPECT_TRUE(lines[1].contains(small) && lines[1].contains(QStringLiteral("seed 3,3 is outside the 2 × 2 image")))
        << qPrintable(lines[1]);
    EXPECT_EQ(EntriesOf(out), QStringList{QStringLiteral("big.png.png")});

    // Seeds without --connected, or malformed: usage errors, nothing read or written.
    const QString none = MakeFolder(QStringLiteral("none"));
    for (const QStringList& args :
        {QStringList{QStringLiteral("simple"), QStringLiteral("--seed"), QStringLiteral("1,1")},
            QStringList{QStringLiteral("simple"), QStringLiteral("--connected"), QStringLiteral("--seed=1")},
            QStringList{QStringLiteral("simple"), QStringLiteral("--connected"), QStringLiteral("--seed"),
                QStringLiteral("-1,0")}}) {
        r = Run(args + QStringList{QStringLiteral("-o"), none, big});
        EXPECT_EQ(r.exitCode, 2) << qPrintable(args.join(QLatin1Char(' ')));
        EXPECT_TRUE(r.err.contains(QStringLiteral("--seed"))) << qPrintable(r.err);
        EXPECT_TRUE(r.err.contains(QStringLiteral("usage:"))) << qPrintable(r.err);
    }
    EXPECT_TRUE(EntriesOf(none).isEmpty());

    // A trim with nothing left keeps the top-left pixel and says so; the file still counts as written.
    const QString trimmed = MakeFolder(QStringLiteral("trimmed"));
    r = Run({QStringLiteral("simple"), QStringLiteral("--key=#FFFFFF"), QStringLiteral("--trim"), QStringLiteral("-o"),
        trimmed, big, dark});
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
    ASSERT_EQ(r.errLines().size(), 1) << qPrintable(r.err);
    EXPECT_TRUE(r.errLines()[0].contains(big) && r.errLines()[0].contains(QStringLiteral("1 × 1")))
        << qPrintable(r.err);
    EXPECT_EQ(r.outLines().size(), 2);
    EXPECT_EQ(SizeOfFile(QDir(trimmed).filePath(QStringLiteral("big.png.png"))), QSize(1, 1));
    EXPECT_EQ(PixelsOfFile(QDir(trimmed).filePath(QStringLiteral("big.png.png"))), std::vector<std::uint32_t>{0});
    EXPECT_EQ(PixelsOfFile(QDir(trimmed).filePath(QStringLiteral("dark.png.png"))), PixelsOfFile(dark));
}

} // namespace
