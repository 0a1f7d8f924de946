#include "imaging_test_support.h"

#include "fixtures/sample_files.h"

#include <QDir>
#include <QFile>
#include <QImageWriter>

#include <random>

namespace testsupport {

bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList EntriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
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

std::uint32_t Crc32(const QByteArray& bytes)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

namespace {

void AppendBigEndian32(QByteArray& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.append(static_cast<char>((v >> shift) & 0xFF));
}

std::uint32_t BigEndian32(const QByteArray& bytes, qsizetype at)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

void AppendLittleEndian16(QByteArray& out, int v)
{
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>((v >> 8) & 0xFF));
}

} // namespace

QByteArray PngChunk(const char type[4], const QByteArray& data)
{
    QByteArray chunk;
    AppendBigEndian32(chunk, static_cast<std::uint32_t>(data.size()));
    const QByteArray typed = QByteArray(type, 4) + data;
    chunk += typed;
    AppendBigEndian32(chunk, Crc32(typed));
    return chunk;
}

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

QByteArray MakeGif(int width, int height, const std::uint32_t palette[4], const std::vector<int>& indices,
                   int transparentIndex)
{
    QByteArray gif("GIF89a");
    AppendLittleEndian16(gif, width);
    AppendLittleEndian16(gif, height);
    gif.append('\x91'); // global table of 4 entries
    gif.append('\0');   // background index
    gif.append('\0');   // pixel shape: square
    for (int i = 0; i < 4; ++i) {
        gif.append(static_cast<char>((palette[i] >> 16) & 0xFF));
        gif.append(static_cast<char>((palette[i] >> 8) & 0xFF));
        gif.append(static_cast<char>(palette[i] & 0xFF));
    }
    if (transparentIndex >= 0) {
        gif.append("\x21\xF9\x04\x01\x00\x00", 6);
        gif.append(static_cast<char>(transparentIndex));
        gif.append('\0');
    }
    gif.append('\x2C');
    AppendLittleEndian16(gif, 0);
    AppendLittleEndian16(gif, 0);
    AppendLittleEndian16(gif, width);
    AppendLittleEndian16(gif, height);
    gif.append('\0');

    // LZW with a minimum code size of 2: codes are 3 bits wide as long as a
    // clear code comes before every pair of literals, so no compression is needed.
    constexpr int kClear = 4, kEnd = 5, kBits = 3;
    QByteArray data;
    std::uint32_t buffer = 0;
    int buffered = 0;
    auto put = [&](int code) {
        buffer |= static_cast<std::uint32_t>(code) << buffered;
        buffered += kBits;
        while (buffered >= 8) {
            data.append(static_cast<char>(buffer & 0xFF));
            buffer >>= 8;
            buffered -= 8;
        }
    };
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (i % 2 == 0) put(kClear);
        put(indices[i]);
    }
    put(kEnd);
    if (buffered > 0) data.append(static_cast<char>(buffer & 0xFF));

    gif.append('\x02');
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        gif.append(static_cast<char>(block.size()));
        gif += block;
    }
    gif.append('\0');
    gif.append('\x3B');
    return gif;
}

} // namespace testsupport
