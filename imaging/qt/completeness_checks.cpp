#include "completeness_checks.h"
#include "imaging/common/limits.h"

#include <QByteArray>
#include <QIODevice>

#include <cstdint>

namespace imaging::qt {
namespace {

// Reads bytes in blocks; -1 past the end. Puts the device back on destruction.
class ByteReader {
public:
    explicit ByteReader(QIODevice& in) : in_(in), start_(in.pos()) { }
    ~ByteReader() { in_.seek(start_); }

    bool seekTo(std::int64_t offset)
    {
        if (offset < 0 || !in_.seek(start_ + offset)) return false;
        block_.clear();
        at_ = 0;
        return true;
    }
    int next()
    {
        if (at_ == block_.size()) {
            block_ = in_.read(64 * 1024);
            at_ = 0;
            if (block_.isEmpty()) return -1;
        }
        return static_cast<unsigned char>(block_[at_++]);
    }
    // Skips `count` bytes; false when the file ends first.
    bool skip(std::int64_t count)
    {
        while (count > 0) {
            if (at_ == block_.size()) {
                block_ = in_.read(64 * 1024);
                at_ = 0;
                if (block_.isEmpty()) return false;
            }
            const std::int64_t step = std::min<std::int64_t>(count, block_.size() - at_);
            at_ += step;
            count -= step;
        }
        return true;
    }

private:
    QIODevice& in_;
    qint64 start_;
    QByteArray block_;
    qsizetype at_ = 0;
};

std::int64_t LittleEndian(const QByteArray& bytes, int at, int size)
{
    std::uint64_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
    return static_cast<std::int64_t>(v);
}

std::int64_t Signed32(std::int64_t v) { return v >= 0x80000000LL ? v - 0x100000000LL : v; }

Failure Truncated(const char* format) { return MakeFailure(FailureKind::Truncated, QString::fromLatin1(format)); }

// Walks run-length data (RLE8: `nibbles` false, RLE4: true): complete at the
// end-of-bitmap code or once every row has been passed.
bool RunLengthDataIsWhole(ByteReader& reader, std::int64_t height, bool nibbles)
{
    std::int64_t row = 0;
    while (row < height) {
        const int count = reader.next(), value = reader.next();
        if (count < 0 || value < 0) return false;
        if (count > 0) continue; // a run of one value
        switch (value) {
        case 0: ++row; break; // end of line
        case 1: return true; // end of bitmap
        case 2: { // move right and down
            reader.next();
            const int down = reader.next();
            if (down < 0) return false;
            row += down;
            break;
        }
        default: { // literal pixels, padded to a 16-bit boundary
            const std::int64_t bytes = nibbles ? (value + 1) / 2 : value;
            if (!reader.skip(bytes + (bytes & 1))) return false;
        }
        }
    }
    return true;
}

} // namespace

Failure CheckBmp(QIODevice& file)
{
    const QByteArray head = file.peek(54);
    if (head.size() < 26 || !head.startsWith("BM")) return {};
    const std::int64_t dataOffset = LittleEndian(head, 10, 4);
    const std::int64_t headerSize = LittleEndian(head, 14, 4);
    std::int64_t width, height, bitsPerPixel, compression = 0;
    if (headerSize == 12) { // OS/2 1.x: 16-bit sizes, never compressed
        width = LittleEndian(head, 18, 2);
        height = LittleEndian(head, 20, 2);
        bitsPerPixel = LittleEndian(head, 24, 2);
    } else if (headerSize >= 40 && head.size() >= 34) {
        width = Signed32(LittleEndian(head, 18, 4));
        height = Signed32(LittleEndian(head, 22, 4));
        bitsPerPixel = LittleEndian(head, 28, 2);
        compression = LittleEndian(head, 30, 4);
    } else {
        return {}; // the decoder judges
    }
    // Negative heights are top-down images; the sizes are the magnitudes.
    width = width < 0 ? -width : width;
    height = height < 0 ? -height : height;
    if (!FitsLimits(width, height)) return TooLargeFailure(width, height);
    if (width == 0 || height == 0) return {};

    const std::int64_t fileSize = file.size() - file.pos();
    constexpr std::int64_t kUncompressed = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3;
    if (compression == kUncompressed || compression == kBitFields) {
        if (bitsPerPixel == 0 || bitsPerPixel > 64) return {};
        const std::int64_t rowBytes = (width * bitsPerPixel + 31) / 32 * 4;
        return dataOffset + rowBytes * height > fileSize ? Truncated("BMP") : Failure{};
    }
    if ((compression == kRle8 && bitsPerPixel == 8) || (compression == kRle4 && bitsPerPixel == 4)) {
        ByteReader reader(file);
        if (!reader.seekTo(dataOffset) || !RunLengthDataIsWhole(reader, height, compression == kRle4))
            return Truncated("BMP");
    }
    return {};
}

Failure CheckGif(QIODevice& file)
{
    const QByteArray head = file.peek(13);
    if (head.size() < 13 || !(head.startsWith("GIF87a") || head.startsWith("GIF89a"))) return {};
    // The logical screen is what Qt allocates.
    const std::int64_t screenWidth = LittleEndian(head, 6, 2), screenHeight = LittleEndian(head, 8, 2);
    if (!FitsLimits(screenWidth, screenHeight)) return TooLargeFailure(screenWidth, screenHeight);

    ByteReader reader(file);
    auto colorTableBytes = [](int flags) -> std::int64_t { return (flags & 0x80) ? 3 * (2 << (flags & 7)) : 0; };
    if (!reader.skip(13 + colorTableBytes(static_cast<unsigned char>(head[10])))) return Truncated("GIF");
    // Skips a chain of data sub-blocks; false when the file ends inside it.
    auto skipSubBlocks = [&] {
        for (int length; (length = reader.next()) != 0;)
            if (length < 0 || !reader.skip(length)) return false;
        return true;
    };
    // The first frame is whole once the terminator of its data sub-blocks is
    // in the file; later frames and the trailer are not needed.
    while (true) {
        switch (reader.next()) {
        case 0x21: // extension: label, then sub-blocks
            if (reader.next() < 0 || !skipSubBlocks()) return Truncated("GIF");
            break;
        case 0x2C: { // image: descriptor, local colour table, code size, sub-blocks
            QByteArray descriptor;
            for (int i = 0; i < 9; ++i) {
                const int b = reader.next();
                if (b < 0) return Truncated("GIF");
                descriptor.append(static_cast<char>(b));
            }
            const std::int64_t frameWidth = LittleEndian(descriptor, 4, 2),
                               frameHeight = LittleEndian(descriptor, 6, 2);
            if (!FitsLimits(frameWidth, frameHeight)) return TooLargeFailure(frameWidth, frameHeight);
            const int flags = static_cast<unsigned char>(descriptor[8]);
            if (!reader.skip(colorTableBytes(flags) + 1) || !skipSubBlocks()) return Truncated("GIF");
            return {};
        }
        case -1: // ends before the first image
            return Truncated("GIF");
        default: // trailer or garbage: the decoder judges
            return {};
        }
    }
}

Failure CheckXbm(QIODevice& file)
{
    // "#define name_width W", "#define name_height H", then the bits as
    // "0x.." numbers, one byte per 8 pixels of a row.
    if (!file.peek(64).trimmed().startsWith("#define")) return {};
    ByteReader reader(file);
    QByteArray text;
    std::int64_t width = -1, height = -1, numbers = 0;
    bool inData = false;
    auto defineValue = [&](const QByteArray& line, const char* suffix) -> std::int64_t {
        const QByteArray simplified = line.simplified();
        if (!simplified.startsWith("#define ")) return -1;
        const QList<QByteArray> parts = simplified.split(' ');
        if (parts.size() < 3 || !parts[1].endsWith(suffix)) return -1;
        bool ok = false;
        const qlonglong value = parts[2].toLongLong(&ok);
        return ok && value >= 0 ? value : -1;
    };
    int previous = 0;
    for (int c; (c = reader.next()) >= 0;) {
        if (!inData) {
            if (c == '{') {
                inData = true;
                if (width < 0 || height < 0) return {};
                if (!FitsLimits(width, height)) return TooLargeFailure(width, height);
                continue;
            }
            if (c != '\n') {
                if (text.size() < 4096) text.append(static_cast<char>(c));
                continue;
            }
            if (const std::int64_t w = defineValue(text, "_width"); w >= 0) width = w;
            if (const std::int64_t h = defineValue(text, "_height"); h >= 0) height = h;
            text.clear();
            continue;
        }
        if (c == '}') break;
        if ((c == 'x' || c == 'X') && previous == '0') ++numbers;
        previous = c;
    }
    if (!inData) return {};
    const std::int64_t needed = (width + 7) / 8 * height;
    return numbers < needed ? Truncated("XBM") : Failure{};
}

} // namespace imaging::qt
