// Decoding of image files, with a clear reason for every file that cannot be
// opened.
#include "decoder_warnings.h"
#include "mgdip.h"
#include "png_codec.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <cstring>

namespace mGdip {
namespace {

LoadedImage Failure(ImagingStatus status, const QString& reason)
{
    LoadedImage result;
    result.status = status;
    result.reason = reason;
    return result;
}

LoadedImage TooLarge(std::int64_t width, std::int64_t height)
{
    return Failure(ImagingStatus::ValueOverflow,
                   QStringLiteral("the image is %1 × %2 pixels, more than the %3 megapixels that can be opened")
                       .arg(width)
                       .arg(height)
                       .arg(kMaxImagePixels / 1'000'000));
}

bool Exceeds(const QSize& size)
{
    return std::int64_t{size.width()} * size.height() > kMaxImagePixels;
}

std::uint32_t LittleEndian32(const QByteArray& bytes, int at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

// Qt's BMP reader returns whatever rows it got from a short file as if the
// image were whole; for uncompressed bitmaps the expected size is known.
bool IsTruncatedBmp(QFile& file)
{
    const QByteArray head = file.peek(34);
    if (head.size() < 34 || !head.startsWith("BM")) return false;
    const std::uint32_t dataOffset = LittleEndian32(head, 10);
    const std::uint32_t headerSize = LittleEndian32(head, 14);
    if (headerSize < 40) return false; // old OS/2 headers: leave them to the decoder
    const auto width = static_cast<std::int32_t>(LittleEndian32(head, 18));
    const auto height = static_cast<std::int32_t>(LittleEndian32(head, 22));
    const std::uint32_t bitsPerPixel = static_cast<unsigned char>(head[28]) | static_cast<unsigned char>(head[29]) << 8;
    const std::uint32_t compression = LittleEndian32(head, 30);
    constexpr std::uint32_t kUncompressed = 0, kBitFields = 3;
    if (compression != kUncompressed && compression != kBitFields) return false;
    const std::int64_t rowBytes = (std::int64_t{width < 0 ? -width : width} * bitsPerPixel + 31) / 32 * 4;
    const std::int64_t expected = dataOffset + rowBytes * (height < 0 ? -std::int64_t{height} : height);
    return file.size() < expected;
}

// Qt's GIF reader does the same with a short first frame. The frame is whole
// once the terminator of its data sub-blocks is in the file; later frames and
// the trailer are not needed.
bool IsTruncatedGif(QFile& file)
{
    const QByteArray head = file.peek(13);
    if (head.size() < 13 || !(head.startsWith("GIF87a") || head.startsWith("GIF89a"))) return false;
    const qint64 start = file.pos();
    const qint64 size = file.size();
    auto byteAt = [&](qint64 offset) -> int {
        char c = 0;
        if (offset >= size || !file.seek(start + offset) || !file.getChar(&c)) return -1;
        return static_cast<unsigned char>(c);
    };
    auto colorTableBytes = [](int flags) { return (flags & 0x80) ? 3 * (2 << (flags & 7)) : 0; };
    qint64 at = 13 + colorTableBytes(static_cast<unsigned char>(head[10]));
    // Skips a chain of data sub-blocks; false when the file ends inside it.
    auto skipSubBlocks = [&]() {
        for (int length; (length = byteAt(at)) != 0; at += 1 + length)
            if (length < 0) return false;
        ++at;
        return true;
    };
    bool truncated = false;
    for (bool done = false; !done;) {
        switch (byteAt(at)) {
        case 0x21: // extension: label, then sub-blocks
            at += 2;
            truncated = !skipSubBlocks();
            done = truncated;
            break;
        case 0x2C: { // image: descriptor, local colour table, code size, sub-blocks
            const int flags = byteAt(at + 9);
            at += 10 + colorTableBytes(flags < 0 ? 0 : flags) + 1;
            truncated = flags < 0 || !skipSubBlocks();
            done = true;
            break;
        }
        case -1: // ends before the first image
            truncated = true;
            done = true;
            break;
        default: // trailer or garbage: the decoder judges
            done = true;
            break;
        }
    }
    file.seek(start);
    return truncated;
}

LoadedImage DecodeWithQt(QFile& file)
{
    if (IsTruncatedBmp(file) || IsTruncatedGif(file))
        return Failure(ImagingStatus::GenericError, QStringLiteral("the file is truncated: image data is missing"));

    // Decoders warn about damage while probing too; those warnings are part of
    // the reason, not stray lines on the console.
    detail::DecoderWarnings warnings;
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        return Failure(ImagingStatus::UnknownImageFormat,
                       QStringLiteral("the file is not an image in a format that can be read"));
    const QSize announced = reader.size();
    if (announced.isValid() && Exceeds(announced)) return TooLarge(announced.width(), announced.height());

    QImage decoded;
    if (!reader.read(&decoded) || decoded.isNull())
        return Failure(ImagingStatus::GenericError,
                       QStringLiteral("the image data is damaged or incomplete (%1)")
                           .arg(warnings.first().isEmpty() ? reader.errorString() : warnings.first()));
    if (const QString damage = warnings.damage(); !damage.isEmpty())
        return Failure(ImagingStatus::GenericError,
                       QStringLiteral("the image data is damaged or incomplete (%1)").arg(damage));
    if (Exceeds(decoded.size())) return TooLarge(decoded.width(), decoded.height());

    // Exact for 8-bit, palette and gray sources; 16-bit channels round to the
    // nearest 8-bit value; premultiplied sources are un-premultiplied.
    QImage argb = std::move(decoded).convertToFormat(QImage::Format_ARGB32);
    if (argb.isNull()) return Failure(ImagingStatus::OutOfMemory, QStringLiteral("not enough memory to decode the image"));
    LoadedImage result;
    result.image = Image(std::move(argb));
    result.status = ImagingStatus::Ok;
    return result;
}

LoadedImage DecodePngFile(QFile& file)
{
    detail::PngDecodeResult png = detail::DecodePng(file, kMaxImagePixels);
    LoadedImage result;
    result.status = png.status;
    result.reason = png.reason;
    if (Succeeded(png.status)) result.image = Image(std::move(png.image));
    return result;
}

} // namespace

LoadedImage LoadImageFile(const QString& path)
{
    if (ImagingToken() == 0)
        return Failure(ImagingStatus::NotInitialized, QStringLiteral("the imaging services are not started"));
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return Failure(ImagingStatus::FileNotFound, QStringLiteral("the file does not exist"));
    if (info.isDir())
        return Failure(ImagingStatus::InvalidParameter, QStringLiteral("this is a folder, not an image file"));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure(ImagingStatus::AccessDenied,
                       QStringLiteral("the file cannot be opened (%1)").arg(file.errorString()));
    if (file.size() == 0) return Failure(ImagingStatus::UnknownImageFormat, QStringLiteral("the file is empty"));

    const QByteArray signature = file.peek(sizeof detail::kPngSignature);
    const bool isPng = signature.size() == sizeof detail::kPngSignature
                    && std::memcmp(signature.constData(), detail::kPngSignature, sizeof detail::kPngSignature) == 0;
    return isPng ? DecodePngFile(file) : DecodeWithQt(file);
}

} // namespace mGdip
