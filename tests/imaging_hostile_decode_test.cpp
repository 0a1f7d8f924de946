// Files made to hurt: sizes beyond the limit, lying chunk lengths, damaged
// and short data in every format. Each must be refused with the right kind
// (never half decoded), or, where the file is whole, decoded exactly.
#include "imaging_test_support.h"

#include "fixtures/sample_files.h"
#include "imaging/mgdip.h"

#include <QBuffer>
#include <QImageReader>

#include <gtest/gtest.h>

namespace {

using mGdip::FailureKind;

class HostileDecode : public testsupport::TempFolderTest {
protected:
    mGdip::LoadedImage Load(const QString& name, const QByteArray& bytes) const
    {
        const QString file = path(name);
        EXPECT_TRUE(testsupport::WriteBytes(file, bytes));
        mGdip::LoadedImage loaded = mGdip::LoadImageFile(file);
        // The kind, the status and the words always agree.
        EXPECT_EQ(loaded.status, mGdip::StatusOf(loaded.failure.kind));
        EXPECT_EQ(loaded.reason, mGdip::Describe(loaded.failure));
        EXPECT_EQ(loaded.image.isNull(), loaded.failure.kind != FailureKind::None);
        return loaded;
    }

    FailureKind KindOf(const QString& name, const QByteArray& bytes) const { return Load(name, bytes).failure.kind; }
};

QByteArray Cut(const QByteArray& bytes, double fraction)
{
    return bytes.left(static_cast<qsizetype>(static_cast<double>(bytes.size()) * fraction));
}

// ---- sizes beyond the limit -------------------------------------------------

TEST_F(HostileDecode, DeclaredSizesBeyondTheLimitAreTooLargeInEveryFormat)
{
    struct Case {
        const char* name;
        QByteArray bytes;
        std::int64_t width, height;
    };
    std::vector<Case> cases;
    for (const int depth : {1, 8, 16}) // grey, and RGBA at 8 and 16 bits
        cases.push_back({"wide.png", fixtures::PngClaiming(0x7FFFFFFF, 1, depth, depth == 1 ? 0 : 6), 0x7FFFFFFF, 1});
    cases.push_back({"tall.png", fixtures::PngClaiming(1, 0x7FFFFFFF, 8, 2), 1, 0x7FFFFFFF});
    cases.push_back({"one-row-too-many.png", fixtures::PngClaiming(16384, 16385), 16384, 16385});
    // Within the pixel limit, but a row wider than a 32-bit image can hold.
    cases.push_back({"row.png", fixtures::PngClaiming(67108864, 1), 67108864, 1});
    cases.push_back({"min-width.bmp", fixtures::BmpHeaderOnly(INT32_MIN, 1, 24, 0), std::int64_t{1} << 31, 1});
    cases.push_back(
        {"overflow.bmp", fixtures::BmpHeaderOnly(0x7FFFFFFF, 0x7FFFFFFF, 0xFFFF, 0), 0x7FFFFFFF, 0x7FFFFFFF});
    cases.push_back(
        {"min-height-rle.bmp", fixtures::BmpHeaderOnly(40000, INT32_MIN, 8, 1), 40000, std::int64_t{1} << 31});
    const std::uint32_t palette[4] = {0, 0xFFFFFF, 0xFF0000, 0x00FF00};
    QByteArray gif = fixtures::MakeGif(2, 2, palette, {0, 1, 2, 3}, -1);
    gif.replace(6, 4, QByteArray("\xFF\xFF\xFF\xFF", 4));
    cases.push_back({"screen.gif", gif, 65535, 65535});
    cases.push_back({"huge.xbm", "#define a_width 100000\n#define a_height 100000\nstatic char a_bits[] = {\n0x00 };\n",
        100000, 100000});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const mGdip::LoadedImage loaded = Load(QString::fromLatin1(c.name), c.bytes);
        EXPECT_EQ(loaded.failure.kind, FailureKind::TooLarge) << qPrintable(loaded.reason);
        EXPECT_EQ(loaded.failure.width, c.width);
        EXPECT_EQ(loaded.failure.height, c.height);
        EXPECT_EQ(loaded.status, mGdip::ImagingStatus::ValueOverflow);
        EXPECT_TRUE(loaded.reason.contains(QStringLiteral("too large"))) << qPrintable(loaded.reason);
    }
}

TEST_F(HostileDecode, HeadersThatPromiseMoreDataThanTheFileHoldsAreTruncated)
{
    // Within the limit, 66 bytes long: refused from the header, not after
    // allocating the rows.
    EXPECT_EQ(KindOf(QStringLiteral("a.png"), fixtures::PngClaiming(16384, 16384)), FailureKind::Truncated);
    EXPECT_EQ(KindOf(QStringLiteral("b.png"), fixtures::PngClaiming(67108863, 4, 16, 6)), FailureKind::Truncated);
    EXPECT_EQ(KindOf(QStringLiteral("c.bmp"), fixtures::BmpHeaderOnly(16384, -16384, 32, 3)), FailureKind::Truncated);
}

// ---- PNG ancillary chunks -------------------------------------------------------

TEST_F(HostileDecode, PngTextChunksAreNeitherKeptNorDecompressed)
{
    // A length that lies: the file ends inside the chunk.
    for (const char* type : {"tEXt", "zTXt", "iTXt", "iCCP", "abCd"}) {
        SCOPED_TRACE(type);
        EXPECT_EQ(
            KindOf(QStringLiteral("lies.png"), fixtures::PngWithLyingChunk(type, 0x7FFFFFF0)), FailureKind::Truncated);
    }
    // Many honest text chunks: the image loads, exactly.
    for (const char* type : {"tEXt", "zTXt", "iTXt"}) {
        SCOPED_TRACE(type);
        const mGdip::LoadedImage loaded = Load(QStringLiteral("text.png"), fixtures::PngWithTextChunks(type, 300, 200));
        ASSERT_EQ(loaded.failure.kind, FailureKind::None) << qPrintable(loaded.reason);
        ASSERT_EQ(loaded.image.qimage().size(), QSize(4, 4));
        // Row 2, pixel 3 holds bytes 12..15 of the row, each x * 16 + y.
        EXPECT_EQ(loaded.image.qimage().pixel(3, 2), qRgba(12 * 16 + 2, 13 * 16 + 2, 14 * 16 + 2, 15 * 16 + 2));
    }
}

// ---- data that ends early or is corrupt ----------------------------------------------

int Rle8Index(int x, int y) { return (x / 3 * 7 + y * 5) & 0xFF; }
int Rle4Index(int x, int y) { return (x / 4 + y) & 0xF; }

TEST_F(HostileDecode, RunLengthBmpIsExactWhenWholeAndRefusedWhenCut)
{
    for (const bool fourBit : {false, true}) {
        SCOPED_TRACE(fourBit ? "RLE4" : "RLE8");
        const QByteArray bmp = fixtures::MakeRleBmp(60, 40, fourBit, fourBit ? Rle4Index : Rle8Index);
        const mGdip::LoadedImage whole = Load(QStringLiteral("whole.bmp"), bmp);
        ASSERT_EQ(whole.failure.kind, FailureKind::None) << qPrintable(whole.reason);
        ASSERT_EQ(whole.image.qimage().size(), QSize(60, 40));
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 60; ++x) {
                const int level = fourBit ? Rle4Index(x, y) * 17 : Rle8Index(x, y);
                ASSERT_EQ(whole.image.qimage().pixel(x, y), qRgb(level, level, level)) << x << "," << y;
            }
        for (const double fraction : {0.25, 0.5, 0.9}) {
            SCOPED_TRACE(fraction);
            EXPECT_EQ(KindOf(QStringLiteral("cut.bmp"), Cut(bmp, fraction)), FailureKind::Truncated);
        }
        // Inside the last row's runs.
        EXPECT_EQ(KindOf(QStringLiteral("cut.bmp"), bmp.left(bmp.size() - 7)), FailureKind::Truncated);
        // Only the end-of-bitmap code missing: every row is there.
        EXPECT_EQ(KindOf(QStringLiteral("noeob.bmp"), bmp.left(bmp.size() - 2)), FailureKind::None);
    }
}

TEST_F(HostileDecode, CutJpegIsRefusedInEveryForm)
{
    const QImage source = testsupport::RandomArgb(120, 80, 3);
    const std::pair<const char*, fixtures::JpegForm> forms[] = {
        {"baseline", {}},
        {"progressive", {.progressive = true}},
        {"grey", {.grey = true}},
        {"grey progressive", {.progressive = true, .grey = true}},
        {"restart markers", {.restartRows = 1}},
        {"cmyk", {.cmyk = true}},
    };
    for (const auto& [name, form] : forms) {
        SCOPED_TRACE(name);
        const QByteArray jpeg = fixtures::MakeJpeg(source, form);
        ASSERT_EQ(KindOf(QStringLiteral("whole.jpg"), jpeg), FailureKind::None);
        for (const double fraction : {0.1, 0.3, 0.5, 0.8, 0.97})
            EXPECT_EQ(KindOf(QStringLiteral("cut.jpg"), Cut(jpeg, fraction)), FailureKind::Truncated) << fraction;
        // Everything but the end-of-image marker: the pixels are all there.
        EXPECT_EQ(KindOf(QStringLiteral("noeoi.jpg"), jpeg.left(jpeg.size() - 2)), FailureKind::None);
    }
}

TEST_F(HostileDecode, ProgressiveJpegCutBetweenScansIsRefused)
{
    // No scan is cut in the middle, so the decoder never runs out of data
    // inside one; only the missing scans tell.
    const QByteArray jpeg = fixtures::MakeJpeg(testsupport::RandomArgb(64, 48, 8), {.progressive = true});
    std::vector<qsizetype> scans;
    for (qsizetype at = jpeg.indexOf("\xFF\xDA"); at >= 0; at = jpeg.indexOf("\xFF\xDA", at + 2)) scans.push_back(at);
    ASSERT_GE(scans.size(), 3u);
    for (std::size_t i = 1; i < scans.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(KindOf(QStringLiteral("scans.jpg"), jpeg.left(scans[i])), FailureKind::Truncated);
    }
}

TEST_F(HostileDecode, CorruptJpegDataIsDamaged)
{
    QByteArray jpeg = fixtures::MakeJpeg(testsupport::RandomArgb(64, 64, 5), {});
    const qsizetype sos = jpeg.indexOf("\xFF\xDA");
    ASSERT_GT(sos, 0);
    // A marker that does not belong in the middle of the entropy-coded data.
    jpeg.replace(sos + 200, 2, QByteArray("\xFF\xD0", 2));
    const mGdip::LoadedImage loaded = Load(QStringLiteral("corrupt.jpg"), jpeg);
    EXPECT_EQ(loaded.failure.kind, FailureKind::Damaged) << qPrintable(loaded.reason);
    EXPECT_TRUE(loaded.failure.detail.startsWith(QStringLiteral("JPEG: Corrupt JPEG data")))
        << qPrintable(loaded.reason);
}

TEST_F(HostileDecode, XbmIsExactWhenWholeAndRefusedWhenCut)
{
    QImage mono(37, 21, QImage::Format_Mono);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 37; ++x) mono.setPixel(x, y, (x * 3 + y) % 5 == 0 ? 1 : 0);
    const QByteArray xbm = fixtures::EncodeWithQt(mono, "xbm");
    const mGdip::LoadedImage whole = Load(QStringLiteral("whole.xbm"), xbm);
    ASSERT_EQ(whole.failure.kind, FailureKind::None) << qPrintable(whole.reason);
    const QImage expected = mono.convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(testsupport::FirstDifference(whole.image.qimage(), expected), -1);
    for (const double fraction : {0.2, 0.5, 0.8, 0.97})
        EXPECT_EQ(KindOf(QStringLiteral("cut.xbm"), Cut(xbm, fraction)), FailureKind::Truncated) << fraction;
}

// ---- header arithmetic -----------------------------------------------------------

TEST_F(HostileDecode, ExtremeBmpHeaderFieldsAreRefusedWithoutOverflow)
{
    // Run under the sanitizers, any overflow in the checks aborts the test.
    const std::int32_t sizes[] = {INT32_MIN, INT32_MIN + 1, -1, 0, 1, 0x7FFFFFFF};
    const std::uint16_t depths[] = {0, 4, 8, 0xFFFF};
    const std::uint32_t compressions[] = {0, 1, 2, 0xFFFFFFFF};
    int refused = 0, total = 0;
    for (const std::int32_t width : sizes)
        for (const std::int32_t height : sizes)
            for (const std::uint16_t depth : depths)
                for (const std::uint32_t compression : compressions) {
                    ++total;
                    refused +=
                        KindOf(QStringLiteral("h.bmp"), fixtures::BmpHeaderOnly(width, height, depth, compression))
                            != FailureKind::None
                        ? 1
                        : 0;
                }
    // 16 bytes of data hold at most a 1 × 1 image.
    EXPECT_GE(refused, total - 12);
}

// ---- every hostile case of the benchmark ----------------------------------------------

TEST_F(HostileDecode, EveryHostileSampleIsRefused)
{
    for (const fixtures::NamedFile& file : fixtures::HostileFiles()) {
        SCOPED_TRACE(qPrintable(file.name));
        // Valid, a gigabyte once decoded: the GIF reader's tests read it row by row.
        if (file.name.endsWith(QStringLiteral(".gif"))) continue;
        const mGdip::LoadedImage loaded = Load(file.name, file.bytes);
        if (file.name == QStringLiteral("png-1000-ztxt.png"))
            EXPECT_EQ(loaded.failure.kind, FailureKind::None) << qPrintable(loaded.reason); // valid, only slow once
        else
            EXPECT_NE(loaded.failure.kind, FailureKind::None);
    }
}

} // namespace
