#include "imaging_test_support.h"

#include "imaging/mgdip.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace {

using mGdip::ImagingStatus;
using testsupport::PixelsOf;

// ---- fixtures written with libpng, for layouts Qt's writer never produces ----

struct RawPng {
    int width = 0, height = 0, bitDepth = 8, colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    bool interlaced = false;
    std::vector<std::vector<png_byte>> rows{}; // packed as the PNG stores them
    std::vector<png_color> palette{};
    std::vector<png_byte> paletteAlpha{}; // tRNS for palette images
    bool hasTransparentColor = false;
    png_color_16 transparentColor{}; // tRNS for gray and RGB images
};

// Only trivially destructible locals: libpng leaves by longjmp on error.
bool EncodeRawPng(png_structp png, png_infop info, FILE* file, const RawPng* raw, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(raw->width), static_cast<png_uint_32>(raw->height), raw->bitDepth,
        raw->colorType, raw->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
        PNG_FILTER_TYPE_DEFAULT);
    if (!raw->palette.empty()) png_set_PLTE(png, info, raw->palette.data(), static_cast<int>(raw->palette.size()));
    if (!raw->paletteAlpha.empty())
        png_set_tRNS(png, info, raw->paletteAlpha.data(), static_cast<int>(raw->paletteAlpha.size()), nullptr);
    if (raw->hasTransparentColor) png_set_tRNS(png, info, nullptr, 0, &raw->transparentColor);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

bool WriteRawPng(const QString& path, const RawPng& raw)
{
    FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows;
    for (const auto& row : raw.rows) rows.push_back(const_cast<png_bytep>(row.data()));
    const bool ok = EncodeRawPng(png, info, file, &raw, rows.data());
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && ok;
}

// 16-bit sample rounded to the nearest 8-bit value.
int Nearest8(int v16) { return static_cast<int>(std::lround(v16 / 257.0)); }

class ImagingDecode : public testsupport::TempFolderTest {
protected:
    // Loads and checks the invariants every result must keep.
    static mGdip::LoadedImage Load(const QString& file)
    {
        mGdip::LoadedImage loaded = mGdip::LoadImageFile(file);
        if (mGdip::Succeeded(loaded.status)) {
            EXPECT_FALSE(loaded.image.isNull());
            EXPECT_EQ(loaded.image.qimage().format(), QImage::Format_ARGB32);
            EXPECT_TRUE(loaded.reason.isEmpty()) << qPrintable(loaded.reason);
        } else {
            EXPECT_TRUE(loaded.image.isNull());
            EXPECT_FALSE(loaded.reason.isEmpty());
        }
        return loaded;
    }

    static QImage LoadOk(const QString& file)
    {
        const mGdip::LoadedImage loaded = Load(file);
        EXPECT_EQ(loaded.status, ImagingStatus::Ok) << qPrintable(loaded.reason);
        return loaded.image.qimage();
    }

    // Loading must fail cleanly.
    static ImagingStatus LoadFails(const QString& file)
    {
        const mGdip::LoadedImage loaded = Load(file);
        EXPECT_NE(loaded.status, ImagingStatus::Ok) << "accepted " << qPrintable(file);
        return loaded.status;
    }

    QString Written(const QString& name, const QByteArray& bytes) const
    {
        const QString file = path(name);
        EXPECT_TRUE(testsupport::WriteBytes(file, bytes));
        return file;
    }

    // Writes `raw` with libpng and loads it back; a null image if writing failed.
    QImage LoadRaw(const RawPng& raw) const
    {
        const QString file = path(QStringLiteral("raw.png"));
        if (!WriteRawPng(file, raw)) {
            ADD_FAILURE() << "libpng could not write the test file";
            return {};
        }
        return LoadOk(file);
    }

    QString SavedWithQt(const QString& name, const QImage& image, const char* format, int quality = -1) const
    {
        const QString file = path(name);
        EXPECT_TRUE(testsupport::SaveWithQt(image, file, format, quality)) << format;
        return file;
    }
};

// ---- PNG --------------------------------------------------------------------

TEST_F(ImagingDecode, PngWithAlphaIsExactIncludingColourUnderZeroAlpha)
{
    const QImage source = testsupport::RandomArgb(61, 37, 1);
    const QString file = SavedWithQt(QStringLiteral("alpha.png"), source, "png");
    const auto header = testsupport::ReadPngHeader(testsupport::ReadBytes(file));
    ASSERT_EQ(header.colorType, PNG_COLOR_TYPE_RGB_ALPHA);
    ASSERT_EQ(header.bitDepth, 8);

    const QImage loaded = LoadOk(file);
    ASSERT_EQ(loaded.size(), source.size());
    EXPECT_EQ(testsupport::FirstDifference(loaded, source), -1);
}

TEST_F(ImagingDecode, OpaqueRgbPngKeepsOrientationAndGetsFullAlpha)
{
    const QImage pattern = testsupport::OpaquePattern(19, 7);
    const QString file = SavedWithQt(QStringLiteral("rgb.png"), pattern.convertToFormat(QImage::Format_RGB32), "png");
    ASSERT_EQ(testsupport::ReadPngHeader(testsupport::ReadBytes(file)).colorType, PNG_COLOR_TYPE_RGB);
    const QImage loaded = LoadOk(file);
    ASSERT_EQ(loaded.size(), pattern.size());
    EXPECT_EQ(testsupport::FirstDifference(loaded, pattern), -1);
}

TEST_F(ImagingDecode, PalettePngWithTransparencyIsExact)
{
    QImage indexed(4, 2, QImage::Format_Indexed8);
    const QList<QRgb> table = {0xFFFF0000, 0x80102030, 0x00000000, 0xFF00FF00, 0x01FFFFFF};
    indexed.setColorTable(table);
    const int indices[8] = {0, 1, 2, 3, 4, 3, 2, 1};
    for (int i = 0; i < 8; ++i) indexed.setPixel(i % 4, i / 4, static_cast<uint>(indices[i]));
    const QString file = SavedWithQt(QStringLiteral("palette.png"), indexed, "png");
    ASSERT_EQ(testsupport::ReadPngHeader(testsupport::ReadBytes(file)).colorType, PNG_COLOR_TYPE_PALETTE);

    const QImage loaded = LoadOk(file);
    ASSERT_EQ(loaded.size(), indexed.size());
    for (int i = 0; i < 8; ++i) EXPECT_EQ(loaded.pixel(i % 4, i / 4), table[indices[i]]) << "pixel " << i;
}

TEST_F(ImagingDecode, LowBitDepthPaletteIsExpanded)
{
    const QImage loaded = LoadRaw({.width = 5,
        .height = 1,
        .bitDepth = 2,
        .colorType = PNG_COLOR_TYPE_PALETTE,
        .rows = {{0b00011011, 0b00000000}}, // indices 0 1 2 3 0
        .palette = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {255, 0, 128}},
        .paletteAlpha = {255, 0}}); // entries past the tRNS list are opaque
    ASSERT_EQ(loaded.size(), QSize(5, 1));
    const std::vector<std::uint32_t> expected = {0xFF0A141E, 0x0028323C, 0xFF46505A, 0xFFFF0080, 0xFF0A141E};
    EXPECT_EQ(PixelsOf(loaded), expected);
}

TEST_F(ImagingDecode, GrayscalePngGivesEqualChannels)
{
    QImage gray(256, 1, QImage::Format_Grayscale8);
    for (int v = 0; v < 256; ++v) gray.scanLine(0)[v] = static_cast<uchar>(v);
    const QString file = SavedWithQt(QStringLiteral("gray.png"), gray, "png");
    const auto header = testsupport::ReadPngHeader(testsupport::ReadBytes(file));
    ASSERT_EQ(header.colorType, PNG_COLOR_TYPE_GRAY);
    ASSERT_EQ(header.bitDepth, 8);

    const QImage loaded = LoadOk(file);
    ASSERT_EQ(loaded.width(), 256);
    for (int v = 0; v < 256; ++v) EXPECT_EQ(loaded.pixel(v, 0), qRgba(v, v, v, 255)) << v;
}

TEST_F(ImagingDecode, LowBitGrayWithTransparentLevel)
{
    RawPng raw{.width = 4,
        .height = 2,
        .bitDepth = 2,
        .colorType = PNG_COLOR_TYPE_GRAY,
        .rows = {{0b00011011}, {0b11100100}}, // 0 1 2 3 / 3 2 1 0
        .hasTransparentColor = true};
    raw.transparentColor.gray = 2;
    const QImage loaded = LoadRaw(raw);
    ASSERT_EQ(loaded.size(), QSize(4, 2));
    const std::vector<std::uint32_t> expected = {
        0xFF000000, 0xFF555555, 0x00AAAAAA, 0xFFFFFFFF, 0xFFFFFFFF, 0x00AAAAAA, 0xFF555555, 0xFF000000};
    EXPECT_EQ(PixelsOf(loaded), expected);
}

TEST_F(ImagingDecode, GrayWithAlphaPng)
{
    const QImage loaded =
        LoadRaw({.width = 3, .height = 1, .colorType = PNG_COLOR_TYPE_GRAY_ALPHA, .rows = {{0, 0, 128, 64, 255, 255}}});
    const std::vector<std::uint32_t> expected = {0x00000000, 0x40808080, 0xFFFFFFFF};
    EXPECT_EQ(PixelsOf(loaded), expected);
}

TEST_F(ImagingDecode, RgbPngWithTransparentColour)
{
    RawPng raw{.width = 2,
        .height = 1,
        .colorType = PNG_COLOR_TYPE_RGB,
        .rows = {{1, 2, 3, 4, 5, 6}},
        .hasTransparentColor = true};
    raw.transparentColor.red = 4;
    raw.transparentColor.green = 5;
    raw.transparentColor.blue = 6;
    const QImage loaded = LoadRaw(raw);
    const std::vector<std::uint32_t> expected = {0xFF010203, 0x00040506};
    EXPECT_EQ(PixelsOf(loaded), expected);
}

TEST_F(ImagingDecode, SixteenBitRgbaRoundsEveryValueToTheNearest)
{
    // Every 16-bit value appears once in each channel.
    QImage deep(256, 256, QImage::Format_RGBA64);
    for (int y = 0; y < 256; ++y) {
        auto* row = reinterpret_cast<QRgba64*>(deep.scanLine(y));
        for (int x = 0; x < 256; ++x) {
            const auto v = static_cast<quint16>(y * 256 + x);
            row[x] = QRgba64::fromRgba64(
                v, static_cast<quint16>(65535 - v), static_cast<quint16>(v * 7919u), static_cast<quint16>(v ^ 0x5A5Au));
        }
    }
    const QString file = SavedWithQt(QStringLiteral("deep.png"), deep, "png");
    const auto header = testsupport::ReadPngHeader(testsupport::ReadBytes(file));
    ASSERT_EQ(header.bitDepth, 16);
    ASSERT_EQ(header.colorType, PNG_COLOR_TYPE_RGB_ALPHA);

    const QImage loaded = LoadOk(file);
    ASSERT_EQ(loaded.size(), deep.size());
    int wrong = 0;
    for (int y = 0; y < 256; ++y) {
        const auto* in = reinterpret_cast<const QRgba64*>(deep.constScanLine(y));
        for (int x = 0; x < 256; ++x) {
            const QRgba64 v = in[x];
            const QRgb expected =
                qRgba(Nearest8(v.red()), Nearest8(v.green()), Nearest8(v.blue()), Nearest8(v.alpha()));
            if (loaded.pixel(x, y) != expected && ++wrong <= 5)
                ADD_FAILURE() << std::hex << "16-bit " << v.red() << "," << v.green() << "," << v.blue() << ","
                              << v.alpha() << " gave " << loaded.pixel(x, y) << " expected " << expected;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(ImagingDecode, SixteenBitGrayMapsExactMultiplesBack)
{
    // v * 257 is the exact 16-bit form of v; anything else rounds to the nearest.
    QImage gray(512, 1, QImage::Format_Grayscale16);
    auto* row = reinterpret_cast<quint16*>(gray.scanLine(0));
    for (int v = 0; v < 256; ++v) row[v] = static_cast<quint16>(v * 257);
    const quint16 odd[] = {1, 128, 129, 385, 386, 32767, 32768, 65407, 65406, 65534, 65535, 12345};
    for (int i = 256; i < 512; ++i) row[i] = odd[i % std::size(odd)];
    const QString file = SavedWithQt(QStringLiteral("gray16.png"), gray, "png");
    const auto header = testsupport::ReadPngHeader(testsupport::ReadBytes(file));
    ASSERT_EQ(header.bitDepth, 16);
    ASSERT_EQ(header.colorType, PNG_COLOR_TYPE_GRAY);

    const QImage loaded = LoadOk(file);
    ASSERT_EQ(loaded.width(), 512);
    for (int v = 0; v < 256; ++v) EXPECT_EQ(loaded.pixel(v, 0), qRgba(v, v, v, 255)) << v;
    for (int i = 256; i < 512; ++i) {
        const int v = Nearest8(row[i]);
        EXPECT_EQ(loaded.pixel(i, 0), qRgba(v, v, v, 255)) << "16-bit " << row[i];
    }
}

TEST_F(ImagingDecode, InterlacedPngsAreReassembled)
{
    // Odd sizes leave some Adam7 passes empty or partial.
    for (const QSize size : {QSize(13, 11), QSize(1, 1), QSize(3, 9), QSize(8, 1)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        const QImage source = testsupport::RandomArgb(size.width(), size.height(), 7);
        RawPng raw;
        raw.width = size.width();
        raw.height = size.height();
        raw.interlaced = true;
        for (int y = 0; y < raw.height; ++y) {
            std::vector<png_byte> bytes;
            for (int x = 0; x < raw.width; ++x) {
                const QRgb p = source.pixel(x, y);
                bytes.insert(
                    bytes.end(), {png_byte(qRed(p)), png_byte(qGreen(p)), png_byte(qBlue(p)), png_byte(qAlpha(p))});
            }
            raw.rows.push_back(bytes);
        }
        const QString file = path(QStringLiteral("adam7.png"));
        ASSERT_TRUE(WriteRawPng(file, raw));
        ASSERT_EQ(testsupport::ReadPngHeader(testsupport::ReadBytes(file)).interlace, 1);
        const QImage loaded = LoadOk(file);
        ASSERT_EQ(loaded.size(), size);
        EXPECT_EQ(testsupport::FirstDifference(loaded, source), -1);
    }
}

TEST_F(ImagingDecode, InterlacedPalettePng)
{
    RawPng raw;
    raw.width = 9;
    raw.height = 9;
    raw.bitDepth = 4;
    raw.colorType = PNG_COLOR_TYPE_PALETTE;
    raw.interlaced = true;
    for (int i = 0; i < 16; ++i) raw.palette.push_back({png_byte(i * 16), png_byte(255 - i * 16), png_byte(i * 5)});
    raw.paletteAlpha = {0, 17, 34};
    for (int y = 0; y < 9; ++y) {
        std::vector<png_byte> bytes(5, 0);
        for (int x = 0; x < 9; ++x) bytes[x / 2] |= png_byte(((x + y) % 16) << (x % 2 ? 0 : 4));
        raw.rows.push_back(bytes);
    }
    ASSERT_TRUE(WriteRawPng(path(QStringLiteral("p4i.png")), raw));
    const QImage loaded = LoadOk(path(QStringLiteral("p4i.png")));
    ASSERT_EQ(loaded.size(), QSize(9, 9));
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 9; ++x) {
            const int i = (x + y) % 16;
            const int alpha = i < 3 ? raw.paletteAlpha[i] : 255;
            EXPECT_EQ(loaded.pixel(x, y), qRgba(i * 16, 255 - i * 16, i * 5, alpha)) << x << "," << y;
        }
    }
}

TEST_F(ImagingDecode, FormatIsTakenFromTheContentNotTheName)
{
    const QImage source = testsupport::RandomArgb(5, 4, 3);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(source.save(&buffer, "PNG"));
    }
    const QImage fromJpgName = LoadOk(Written(QStringLiteral("really-a-png.jpg"), png));
    EXPECT_EQ(testsupport::FirstDifference(fromJpgName, source), -1);
    const QImage fromNoExtension = LoadOk(Written(QStringLiteral("noextension"), png));
    EXPECT_EQ(testsupport::FirstDifference(fromNoExtension, source), -1);

    const QImage bmpSource = testsupport::OpaquePattern(6, 5);
    const QString bmp = SavedWithQt(QStringLiteral("picture.bmp"), bmpSource, "bmp");
    ASSERT_TRUE(QFile::rename(bmp, path(QStringLiteral("picture.png"))));
    const QImage fromPngName = LoadOk(path(QStringLiteral("picture.png")));
    EXPECT_EQ(testsupport::FirstDifference(fromPngName, bmpSource), -1);
}

// ---- other formats ----------------------------------------------------------

TEST_F(ImagingDecode, JpegIsCloseToTheSource)
{
    // Smooth content survives JPEG compression with small errors.
    QImage source(64, 48, QImage::Format_ARGB32);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) source.setPixel(x, y, qRgba(x * 4, y * 5, 128, 255));
    const QString file = SavedWithQt(QStringLiteral("photo.jpg"), source, "jpeg", 95);
    const QImage loaded = LoadOk(file);
    ASSERT_EQ(loaded.size(), source.size());
    int worst = 0;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            const QRgb got = loaded.pixel(x, y), want = source.pixel(x, y);
            ASSERT_EQ(qAlpha(got), 255);
            worst = std::max({worst, std::abs(qRed(got) - qRed(want)), std::abs(qGreen(got) - qGreen(want)),
                std::abs(qBlue(got) - qBlue(want))});
        }
    }
    EXPECT_LE(worst, 8);
}

TEST_F(ImagingDecode, GrayscaleJpegGivesEqualChannels)
{
    QImage gray(32, 8, QImage::Format_Grayscale8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 32; ++x) gray.scanLine(y)[x] = static_cast<uchar>(x * 8);
    const QImage loaded = LoadOk(SavedWithQt(QStringLiteral("gray.jpg"), gray, "jpeg", 95));
    ASSERT_EQ(loaded.size(), gray.size());
    for (int x = 0; x < 32; ++x) {
        const QRgb p = loaded.pixel(x, 4);
        EXPECT_EQ(qRed(p), qGreen(p));
        EXPECT_EQ(qGreen(p), qBlue(p));
        EXPECT_NEAR(qRed(p), x * 8, 6);
        EXPECT_EQ(qAlpha(p), 255);
    }
}

// A JPEG whose stored pixels are `width` × `height`, left half red, right half
// blue, with an EXIF orientation tag.
QByteArray JpegWithOrientation(int width, int height, int orientation)
{
    QImage source(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) source.setPixel(x, y, x < width / 2 ? 0xFFFF0000 : 0xFF0000FF);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(95);
    if (!writer.write(source)) return {};
    // APP1 "Exif": big-endian TIFF header and one IFD entry, Orientation (SHORT).
    const char tiff[] = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0,
        static_cast<char>(orientation), 0, 0, 0, 0, 0, 0};
    QByteArray app1("\xFF\xE1", 2);
    const int length = 2 + 6 + static_cast<int>(sizeof tiff);
    app1.append(static_cast<char>(length >> 8));
    app1.append(static_cast<char>(length & 0xFF));
    app1.append("Exif\0\0", 6);
    app1.append(tiff, sizeof tiff);
    jpeg.insert(2, app1); // right after SOI
    return jpeg;
}

TEST_F(ImagingDecode, JpegOrientationIsApplied)
{
    const QByteArray jpeg = JpegWithOrientation(32, 16, 6); // 6: rotate 90° clockwise to view
    ASSERT_FALSE(jpeg.isEmpty());
    const QImage loaded = LoadOk(Written(QStringLiteral("rotated.jpg"), jpeg));
    ASSERT_EQ(loaded.size(), QSize(16, 32));
    // The stored left half (red) ends up on top.
    const QRgb top = loaded.pixel(8, 4), bottom = loaded.pixel(8, 28);
    EXPECT_GT(qRed(top), 200);
    EXPECT_LT(qBlue(top), 60);
    EXPECT_GT(qBlue(bottom), 200);
    EXPECT_LT(qRed(bottom), 60);

    const QImage upright = LoadOk(Written(QStringLiteral("upright.jpg"), JpegWithOrientation(32, 16, 1)));
    EXPECT_EQ(upright.size(), QSize(32, 16));
}

TEST_F(ImagingDecode, BmpIsExact)
{
    const QImage pattern = testsupport::OpaquePattern(13, 9); // rows padded to 4 bytes
    const QImage loaded = LoadOk(SavedWithQt(QStringLiteral("picture.bmp"), pattern, "bmp"));
    ASSERT_EQ(loaded.size(), pattern.size());
    EXPECT_EQ(testsupport::FirstDifference(loaded, pattern), -1);
}

// A 32-bit top-down BMP with an alpha mask (BITMAPV4HEADER), rows as given.
QByteArray Bmp32WithAlpha(int width, int height, const std::vector<std::uint32_t>& argb)
{
    auto le32 = [](QByteArray& out, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    auto le16 = [](QByteArray& out, std::uint32_t v) {
        out.append(static_cast<char>(v & 0xFF));
        out.append(static_cast<char>((v >> 8) & 0xFF));
    };
    constexpr std::uint32_t kInfoSize = 108, kDataOffset = 14 + kInfoSize;
    const auto dataSize = static_cast<std::uint32_t>(width * height * 4);
    QByteArray bmp("BM");
    le32(bmp, kDataOffset + dataSize);
    le32(bmp, 0);
    le32(bmp, kDataOffset);
    le32(bmp, kInfoSize);
    le32(bmp, static_cast<std::uint32_t>(width));
    le32(bmp, static_cast<std::uint32_t>(-height)); // top-down
    le16(bmp, 1);
    le16(bmp, 32);
    le32(bmp, 3); // BI_BITFIELDS
    le32(bmp, dataSize);
    le32(bmp, 2835);
    le32(bmp, 2835);
    le32(bmp, 0);
    le32(bmp, 0);
    le32(bmp, 0x00FF0000); // red mask
    le32(bmp, 0x0000FF00);
    le32(bmp, 0x000000FF);
    le32(bmp, 0xFF000000); // alpha mask
    le32(bmp, 0x73524742); // "sRGB"
    bmp.append(QByteArray(36 + 12, '\0')); // endpoints and gamma
    for (const std::uint32_t pixel : argb) le32(bmp, pixel);
    return bmp;
}

TEST_F(ImagingDecode, TopDownBmpWithAlphaIsExact)
{
    const std::vector<std::uint32_t> pixels = {
        0xFF102030, 0x80405060, 0x00000000, 0xFFFFFFFF, 0x01020304, 0xC0C0C0C0, 0xFF000000, 0x7F7F7F7F};
    const QImage loaded = LoadOk(Written(QStringLiteral("alpha.bmp"), Bmp32WithAlpha(4, 2, pixels)));
    ASSERT_EQ(loaded.size(), QSize(4, 2));
    const std::vector<std::uint32_t> got = PixelsOf(loaded);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        // A fully transparent pixel's colour is not meaningful once premultiplied.
        if ((pixels[i] >> 24) == 0)
            EXPECT_EQ(got[i] >> 24, 0u) << i;
        else
            EXPECT_EQ(got[i], pixels[i]) << std::hex << "pixel " << i << " " << got[i];
    }
}

TEST_F(ImagingDecode, GifWithTransparencyIsExact)
{
    const std::uint32_t palette[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0x123456};
    const std::vector<int> indices = {0, 1, 2, 3, 0, 3, 2, 1, 0, 0, 1, 1, 2, 2, 3};
    const QString file = Written(QStringLiteral("anim.gif"), testsupport::MakeGif(5, 3, palette, indices, 3));
    const QImage loaded = LoadOk(file);
    ASSERT_EQ(loaded.size(), QSize(5, 3));
    for (int i = 0; i < 15; ++i) {
        const QRgb got = loaded.pixel(i % 5, i / 5);
        if (indices[i] == 3)
            EXPECT_EQ(qAlpha(got), 0) << "pixel " << i;
        else
            EXPECT_EQ(got, 0xFF000000 | palette[indices[i]]) << "pixel " << i;
    }

    // Without a transparent index every pixel is opaque.
    const QImage opaque =
        LoadOk(Written(QStringLiteral("opaque.gif"), testsupport::MakeGif(5, 3, palette, indices, -1)));
    ASSERT_EQ(opaque.size(), QSize(5, 3));
    for (int i = 0; i < 15; ++i) EXPECT_EQ(opaque.pixel(i % 5, i / 5), 0xFF000000 | palette[indices[i]]) << i;
}

TEST_F(ImagingDecode, TiffIsExactForOpaquePixelsAndCloseForTranslucentOnes)
{
    if (!QImageWriter::supportedImageFormats().contains("tiff")) GTEST_SKIP() << "no TIFF plugin";
    QImage source = testsupport::RandomArgb(17, 5, 11);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 17; ++x) source.setPixel(x, y, source.pixel(x, y) | 0xFF000000);
    // Qt's TIFF reader hands out premultiplied pixels, so partial alpha is
    // only as precise as premultiplied storage allows.
    source.setPixel(3, 2, 0x80FF8040);
    source.setPixel(4, 2, 0xF0102030);
    const QImage loaded = LoadOk(SavedWithQt(QStringLiteral("picture.tif"), source, "tiff"));
    ASSERT_EQ(loaded.size(), source.size());
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 17; ++x) {
            const QRgb want = source.pixel(x, y), got = loaded.pixel(x, y);
            if (qAlpha(want) == 255) {
                EXPECT_EQ(got, want) << x << "," << y;
            } else {
                EXPECT_EQ(qAlpha(got), qAlpha(want));
                EXPECT_NEAR(qRed(got), qRed(want), 2);
                EXPECT_NEAR(qGreen(got), qGreen(want), 2);
                EXPECT_NEAR(qBlue(got), qBlue(want), 2);
            }
        }
    }
}

TEST_F(ImagingDecode, LosslessWebpIsExact)
{
    if (!QImageWriter::supportedImageFormats().contains("webp")) GTEST_SKIP() << "no WebP plugin";
    // Alpha 1..255: lossless WebP need not keep the colour of invisible pixels.
    QImage source = testsupport::RandomArgb(23, 7, 5);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 23; ++x)
            if (qAlpha(source.pixel(x, y)) == 0) source.setPixel(x, y, source.pixel(x, y) | 0x01000000);
    const QImage loaded = LoadOk(SavedWithQt(QStringLiteral("picture.webp"), source, "webp", 100));
    ASSERT_EQ(loaded.size(), source.size());
    EXPECT_EQ(testsupport::FirstDifference(loaded, source), -1);
}

// ---- files that are not (whole) images ---------------------------------------

TEST_F(ImagingDecode, MissingEmptyFolderAndTextAreRefused)
{
    EXPECT_EQ(LoadFails(path(QStringLiteral("missing.png"))), ImagingStatus::FileNotFound);
    LoadFails(QString());
    LoadFails(Written(QStringLiteral("empty.png"), QByteArray()));
    ASSERT_TRUE(QDir(folder()).mkdir(QStringLiteral("folder.png")));
    LoadFails(path(QStringLiteral("folder.png")));
    LoadFails(Written(QStringLiteral("notes.txt"), "hello, this is not an image\n"));
    LoadFails(Written(QStringLiteral("notes.png"), "hello, this is not an image\n"));
    LoadFails(Written(QStringLiteral("signature-only.png"), QByteArray(testsupport::kPngSignature, 8)));
}

class CorruptPng : public ImagingDecode {
protected:
    void SetUp() override
    {
        ImagingDecode::SetUp();
        if (HasFatalFailure()) return;
        const QImage source = testsupport::RandomArgb(40, 30, 9);
        QBuffer buffer(&png_);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(source.save(&buffer, "PNG"));
        idat_ = testsupport::FindPngChunk(png_, "IDAT");
        ASSERT_GT(idat_, 0);
        idatLength_ = static_cast<unsigned char>(png_[idat_ + 2]) << 8 | static_cast<unsigned char>(png_[idat_ + 3]);
        ASSERT_GT(idatLength_, 100);
    }

    QByteArray png_;
    qsizetype idat_ = 0; // the IDAT chunk's length field
    qsizetype idatLength_ = 0;
};

TEST_F(CorruptPng, TruncatedAnywhereIsRefused)
{
    const qsizetype cuts[] = {12, 20, 33, idat_ + 4, idat_ + 10, idat_ + 8 + idatLength_ / 2,
        idat_ + 8 + idatLength_ - 1, idat_ + 8 + idatLength_ + 2};
    for (const qsizetype cut : cuts) {
        SCOPED_TRACE(cut);
        LoadFails(Written(QStringLiteral("cut.png"), png_.left(cut)));
    }
}

TEST_F(CorruptPng, BadChecksumIsRefused)
{
    QByteArray damaged = png_;
    damaged[idat_ + 8 + idatLength_] = static_cast<char>(damaged[idat_ + 8 + idatLength_] ^ 0x01);
    LoadFails(Written(QStringLiteral("crc.png"), damaged));

    QByteArray header = png_;
    header[16 + 3] = static_cast<char>(header[16 + 3] ^ 0x01); // width changed, CRC kept
    LoadFails(Written(QStringLiteral("ihdr.png"), header));
}

TEST_F(CorruptPng, DamagedImageDataIsRefused)
{
    // Garbage inside the compressed data (its CRC fixed up so only zlib can tell).
    QByteArray data = png_.mid(idat_ + 8, idatLength_);
    for (qsizetype i = 2; i < data.size(); i += 3) data[i] = static_cast<char>(0xFF);
    const QByteArray damaged =
        png_.left(idat_) + testsupport::PngChunk("IDAT", data) + png_.mid(idat_ + 12 + idatLength_);
    LoadFails(Written(QStringLiteral("idat.png"), damaged));

    // Only the checksum over the decompressed pixels is wrong (the last four
    // bytes of the zlib stream): every pixel decodes, yet the data differs
    // from what was written.
    QByteArray checksum = png_.mid(idat_ + 8, idatLength_);
    checksum[checksum.size() - 1] = static_cast<char>(checksum[checksum.size() - 1] ^ 0x5A);
    LoadFails(Written(QStringLiteral("adler.png"),
        png_.left(idat_) + testsupport::PngChunk("IDAT", checksum) + png_.mid(idat_ + 12 + idatLength_)));

    // Not a zlib stream at all.
    QByteArray header = png_.mid(idat_ + 8, idatLength_);
    header[0] = 0;
    header[1] = 0;
    const QByteArray badHeader =
        png_.left(idat_) + testsupport::PngChunk("IDAT", header) + png_.mid(idat_ + 12 + idatLength_);
    LoadFails(Written(QStringLiteral("zlib.png"), badHeader));

    // Image data missing entirely.
    const QByteArray noData = png_.left(idat_) + png_.mid(idat_ + 12 + idatLength_);
    LoadFails(Written(QStringLiteral("nodata.png"), noData));
}

TEST_F(CorruptPng, InvalidHeaderFieldsAreRefused)
{
    struct Field {
        int offset; // within IHDR data
        char value;
    };
    const Field fields[] = {{0, 0}, {4, 0}, {3, 0}, {8, 3}, {9, 1}, {9, 7}, {10, 1}, {11, 1}, {12, 2}};
    const QByteArray rest = png_.mid(33);
    for (const Field f : fields) {
        SCOPED_TRACE(testing::Message() << "IHDR byte " << f.offset);
        QByteArray ihdr = png_.mid(16, 13);
        if (f.offset == 0 || f.offset == 4)
            ihdr.replace(f.offset, 4, QByteArray(4, '\0'));
        else
            ihdr[f.offset] = f.value;
        const QByteArray bad = png_.left(8) + testsupport::PngChunk("IHDR", ihdr) + rest;
        LoadFails(Written(QStringLiteral("ihdr.png"), bad));
    }
}

// A PNG that claims width × height but holds a few bytes of image data.
QByteArray PngClaiming(std::uint32_t width, std::uint32_t height)
{
    QByteArray ihdr;
    for (const std::uint32_t v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) ihdr.append(static_cast<char>((v >> shift) & 0xFF));
    ihdr.append("\x08\x06\x00\x00\x00", 5); // 8-bit RGBA
    return QByteArray(testsupport::kPngSignature, 8) + testsupport::PngChunk("IHDR", ihdr)
        + testsupport::PngChunk("IDAT", QByteArray("\x78\x9C\x63\x00\x00\x00\x01\x00\x01", 9))
        + testsupport::PngChunk("IEND", {});
}

TEST_F(ImagingDecode, OversizedPngIsRefusedFromItsHeader)
{
    const mGdip::LoadedImage loaded = Load(Written(QStringLiteral("huge.png"), PngClaiming(100000, 100000)));
    EXPECT_EQ(loaded.status, ImagingStatus::ValueOverflow);
    EXPECT_TRUE(loaded.reason.contains(QStringLiteral("100000"))) << qPrintable(loaded.reason);

    // The limit is 2^28 pixels: one more row is too many, the limit itself is
    // allowed (and then fails only for its missing data).
    EXPECT_EQ(LoadFails(Written(QStringLiteral("over.png"), PngClaiming(16384, 16385))), ImagingStatus::ValueOverflow);
    EXPECT_NE(LoadFails(Written(QStringLiteral("limit.png"), PngClaiming(16384, 16384))), ImagingStatus::ValueOverflow);
}

TEST_F(ImagingDecode, OversizedJpegAndGifAreRefusedFromTheirHeaders)
{
    // A real JPEG with its frame size patched to 65535 × 65535.
    const QByteArray jpeg =
        testsupport::PatternJpegPatched(0xC0, QByteArray("\xFF\xDC\xFF\xDC", 4)); // 65500, the most libjpeg reads
    ASSERT_FALSE(jpeg.isEmpty());
    const mGdip::LoadedImage fromJpeg = Load(Written(QStringLiteral("huge.jpg"), jpeg));
    EXPECT_EQ(fromJpeg.status, ImagingStatus::ValueOverflow) << qPrintable(fromJpeg.reason);
    EXPECT_TRUE(fromJpeg.reason.contains(QStringLiteral("65500"))) << qPrintable(fromJpeg.reason);

    const std::uint32_t palette[4] = {0, 0xFFFFFF, 0xFF0000, 0x00FF00};
    QByteArray gif = testsupport::MakeGif(2, 2, palette, {0, 1, 2, 3}, -1);
    gif.replace(6, 4, QByteArray("\xFF\xFF\xFF\xFF", 4)); // logical screen
    const qsizetype descriptor = gif.indexOf('\x2C', 13 + 12);
    ASSERT_GT(descriptor, 0);
    gif.replace(descriptor + 5, 4, QByteArray("\xFF\xFF\xFF\xFF", 4));
    const mGdip::LoadedImage fromGif = Load(Written(QStringLiteral("huge.gif"), gif));
    EXPECT_EQ(fromGif.status, ImagingStatus::ValueOverflow) << qPrintable(fromGif.reason);
}

TEST_F(ImagingDecode, TruncatedJpegIsRefused)
{
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(testsupport::RandomArgb(64, 64, 4).save(&buffer, "JPEG", 90));
    }
    ASSERT_TRUE(mGdip::Succeeded(Load(Written(QStringLiteral("whole.jpg"), jpeg)).status));
    for (const double fraction : {0.02, 0.3, 0.6, 0.95}) {
        SCOPED_TRACE(fraction);
        LoadFails(Written(QStringLiteral("cut.jpg"), jpeg.left(static_cast<qsizetype>(jpeg.size() * fraction))));
    }
    // Everything but the end-of-image marker: the pixels are all there.
    EXPECT_EQ(Load(Written(QStringLiteral("noeoi.jpg"), jpeg.left(jpeg.size() - 2))).status, ImagingStatus::Ok);
}

TEST_F(ImagingDecode, TruncatedBmpIsRefused)
{
    QByteArray bmp;
    {
        QBuffer buffer(&bmp);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(testsupport::OpaquePattern(20, 20).save(&buffer, "BMP"));
    }
    for (const qsizetype cut : {qsizetype{10}, qsizetype{40}, qsizetype{60}, bmp.size() / 2, bmp.size() - 1}) {
        SCOPED_TRACE(cut);
        LoadFails(Written(QStringLiteral("cut.bmp"), bmp.left(cut)));
    }
    const QByteArray alpha = Bmp32WithAlpha(3, 3, std::vector<std::uint32_t>(9, 0xFF336699));
    LoadFails(Written(QStringLiteral("cut32.bmp"), alpha.left(alpha.size() - 4)));
}

TEST_F(ImagingDecode, TruncatedGifIsRefused)
{
    const std::uint32_t palette[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    std::vector<int> indices(40 * 40);
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<int>(i % 4);
    const QByteArray gif = testsupport::MakeGif(40, 40, palette, indices, -1);
    ASSERT_TRUE(mGdip::Succeeded(Load(Written(QStringLiteral("whole.gif"), gif)).status));
    for (const qsizetype cut : {qsizetype{8}, qsizetype{20}, gif.size() / 2, gif.size() - 10}) {
        SCOPED_TRACE(cut);
        LoadFails(Written(QStringLiteral("cut.gif"), gif.left(cut)));
    }
    // Only the trailer missing: the frame is whole.
    EXPECT_EQ(Load(Written(QStringLiteral("notrailer.gif"), gif.left(gif.size() - 1))).status, ImagingStatus::Ok);
}

// Random damage must never crash the decoders nor break the result's
// invariants (checked in Load); what is accepted is up to the format.
TEST_F(ImagingDecode, RandomDamageNeverBreaksTheResult)
{
    const QImage source = testsupport::RandomArgb(24, 16, 2);
    std::vector<std::pair<const char*, QByteArray>> originals;
    for (const char* format : {"PNG", "JPEG", "BMP"}) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(source.save(&buffer, format));
        originals.emplace_back(format, bytes);
    }
    const std::uint32_t palette[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    originals.emplace_back("GIF", testsupport::MakeGif(8, 8, palette, std::vector<int>(64, 2), 1));

    std::mt19937 random(1234);
    const QString file = path(QStringLiteral("damaged"));
    for (const auto& [format, original] : originals) {
        SCOPED_TRACE(format);
        for (int round = 0; round < 60; ++round) {
            QByteArray damaged = original;
            const int flips = 1 + static_cast<int>(random() % 8);
            for (int i = 0; i < flips; ++i) {
                const auto at = static_cast<qsizetype>(random() % static_cast<std::uint32_t>(damaged.size()));
                damaged[at] = static_cast<char>(random());
            }
            if (round % 3 == 0)
                damaged.truncate(static_cast<qsizetype>(random() % static_cast<std::uint32_t>(damaged.size())) + 1);
            ASSERT_TRUE(testsupport::WriteBytes(file, damaged));
            Load(file);
            if (HasFailure()) return;
        }
    }
}

// ---- size ---------------------------------------------------------------------

TEST_F(ImagingDecode, LargeImageOfOneHundredMegapixelsLoads)
{
    constexpr int kSide = 10000;
    // Row colour from the row number; a few marked pixels show orientation.
    auto expected = [](int x, int y) -> std::uint32_t {
        if (x == y) return 0xFFFFFFFF;
        if (x == kSide - 1 && y == 0) return 0x80FF0000;
        return 0xFF000000u | (static_cast<std::uint32_t>(y) * 2654435761u >> 8);
    };
    const QString file = path(QStringLiteral("large.png"));
    {
        QImage image(kSide, kSide, QImage::Format_ARGB32);
        ASSERT_FALSE(image.isNull());
        for (int y = 0; y < kSide; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
            const std::uint32_t colour = expected(y == 0 ? 1 : 0, y);
            std::fill(row, row + kSide, colour);
            row[y] = expected(y, y);
        }
        image.setPixel(kSide - 1, 0, expected(kSide - 1, 0));
        QString reason;
        ASSERT_EQ(mGdip::SaveImageAsPng(mGdip::Image(std::move(image)), file, &reason), ImagingStatus::Ok)
            << qPrintable(reason);
    }
    const QImage loaded = LoadOk(file);
    ASSERT_EQ(loaded.size(), QSize(kSide, kSide));
    int wrong = 0;
    for (int y = 0; y < kSide && wrong < 5; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(loaded.constScanLine(y));
        for (int x = 0; x < kSide; ++x) {
            if (row[x] != expected(x, y) && ++wrong <= 5)
                ADD_FAILURE() << "pixel " << x << "," << y << std::hex << " is " << row[x];
        }
    }
}

} // namespace
