#include "imaging_test_support.h"

#include <QDir>
#include <QFile>
#include <QImageWriter>

#include <cstdio>
#include <random>

namespace testsupport {

bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool WriteBytesAt(const QByteArray& bytesOfPath, const QByteArray& bytes)
{
    FILE* file = std::fopen(bytesOfPath.constData(), "wb");
    if (!file) return false;
    const bool wrote = std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), file)
        == static_cast<std::size_t>(bytes.size());
    return std::fclose(file) == 0 && wrote;
}

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList EntriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool SaveWithQt(const QImage& image, const QString& path, const char* format, int quality)
{
    QImageWriter writer(path, format);
    if (quality >= 0) writer.setQuality(quality);
    return writer.write(image);
}

QImage RandomArgb(int width, int height, std::uint32_t seed)
{
    std::mt19937 random(seed);
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) row[x] = static_cast<std::uint32_t>(random());
    }
    return image;
}

QImage OpaquePattern(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgba((x * 37 + 11) & 0xFF, (y * 53 + 7) & 0xFF, (x * 11 + y * 29) & 0xFF, 255));
    return image;
}

QByteArray PatternJpegPatched(unsigned char marker, const QByteArray& bytes)
{
    QByteArray jpeg = fixtures::EncodeWithQt(OpaquePattern(16, 16), "JPEG");
    const char segment[2] = {'\xFF', static_cast<char>(marker)};
    const qsizetype at = jpeg.indexOf(QByteArray(segment, 2));
    if (at <= 0) return {};
    // marker (2), length (2), one byte of the segment, then the four replaced.
    return jpeg.replace(at + 5, bytes.size(), bytes);
}

std::vector<std::uint32_t> PixelsOf(const QImage& argb32)
{
    std::vector<std::uint32_t> pixels;
    pixels.reserve(static_cast<std::size_t>(argb32.width()) * argb32.height());
    for (int y = 0; y < argb32.height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(argb32.constScanLine(y));
        pixels.insert(pixels.end(), row, row + argb32.width());
    }
    return pixels;
}

long long FirstDifference(const QImage& a, const QImage& b)
{
    for (int y = 0; y < a.height(); ++y) {
        const auto* ra = reinterpret_cast<const std::uint32_t*>(a.constScanLine(y));
        const auto* rb = reinterpret_cast<const std::uint32_t*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            if (ra[x] != rb[x]) return static_cast<long long>(y) * a.width() + x;
    }
    return -1;
}

namespace {

std::uint32_t BigEndian32(const QByteArray& bytes, qsizetype at)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

} // namespace

qsizetype FindPngChunk(const QByteArray& png, const char type[4])
{
    for (qsizetype at = 8; at + 8 <= png.size();) {
        if (png.mid(at + 4, 4) == QByteArray(type, 4)) return at;
        at += 12 + static_cast<qsizetype>(BigEndian32(png, at));
    }
    return -1;
}

PngHeader ReadPngHeader(const QByteArray& png)
{
    PngHeader header;
    const qsizetype at = FindPngChunk(png, "IHDR");
    if (at < 0 || png.size() < at + 8 + 13) return header;
    header.width = static_cast<int>(BigEndian32(png, at + 8));
    header.height = static_cast<int>(BigEndian32(png, at + 12));
    header.bitDepth = static_cast<unsigned char>(png[at + 16]);
    header.colorType = static_cast<unsigned char>(png[at + 17]);
    header.interlace = static_cast<unsigned char>(png[at + 20]);
    return header;
}

} // namespace testsupport
