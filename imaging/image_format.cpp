#include "image_format.h"

#include "imaging/gif/gif_reader.h"
#include "imaging/jpeg/jpeg_reader.h"
#include "imaging/png/png_decode.h"
#include "imaging/png/png_reader.h"
#include "imaging/qt/codec_messages.h"
#include "imaging/qt/qt_reader.h"

#include <QIODevice>
#include <QImageReader>

#include <cstring>

namespace mGdip {
namespace {

bool StartsWith(const QByteArray& head, const unsigned char* signature, std::size_t size)
{
    return static_cast<std::size_t>(head.size()) >= size && std::memcmp(head.constData(), signature, size) == 0;
}

} // namespace

ImageFormat FormatOf(QIODevice& file)
{
    using imaging::jpeg::kJpegSignature;
    using imaging::png::kPngSignature;
    const QByteArray head = file.peek(sizeof kPngSignature);
    if (StartsWith(head, kPngSignature, sizeof kPngSignature)) return ImageFormat::Png;
    if (StartsWith(head, kJpegSignature, sizeof kJpegSignature)) return ImageFormat::Jpeg;
    for (const auto& signature : imaging::gif::kGifSignatures)
        if (StartsWith(head, signature, sizeof signature)) return ImageFormat::Gif;
    return ImageFormat::Other;
}

std::int64_t DeclaredPixels(QIODevice& file)
{
    const QByteArray head = file.peek(24);
    auto byte = [&](int at) { return std::int64_t{static_cast<unsigned char>(head[at])}; };
    switch (FormatOf(file)) {
    case ImageFormat::Png: // IHDR comes first: big-endian width and height
        if (head.size() < 24) return 0;
        return (byte(16) << 24 | byte(17) << 16 | byte(18) << 8 | byte(19))
            * (byte(20) << 24 | byte(21) << 16 | byte(22) << 8 | byte(23));
    case ImageFormat::Gif: // the logical screen, little-endian; what is decoded
        if (head.size() < 10) return 0;
        return (byte(6) | byte(7) << 8) * (byte(8) | byte(9) << 8);
    case ImageFormat::Jpeg:
    case ImageFormat::Other: break;
    }
    // What the readers say about a damaged header is for the decode to tell.
    const imaging::qt::CodecMessages quiet;
    const qint64 start = file.pos();
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    file.seek(start);
    return size.isValid() ? std::int64_t{size.width()} * size.height() : 0;
}

imaging::DecodedImage DecodeImage(QIODevice& file)
{
    switch (FormatOf(file)) {
    case ImageFormat::Png: return imaging::png::DecodePng(file);
    case ImageFormat::Jpeg: return imaging::jpeg::DecodeJpeg(file);
    case ImageFormat::Gif:
        if (!file.isSequential()) {
            const qint64 start = file.pos();
            {
                imaging::gif::GifReader reader(file);
                imaging::DecodedImage own = imaging::ReadWholeImage(reader);
                if (!own.failure.declined()) return own;
            }
            // What the GIF reader leaves to Qt is read from the start again.
            if (!file.seek(start)) {
                imaging::DecodedImage failed;
                failed.failure = imaging::MakeFailure(imaging::FailureKind::CannotRead, file.errorString());
                return failed;
            }
        }
        break;
    case ImageFormat::Other: break;
    }
    return imaging::qt::DecodeWithQt(file);
}

std::unique_ptr<imaging::RowReader> RowReaderFor(QIODevice& file)
{
    switch (FormatOf(file)) {
    case ImageFormat::Png: return std::make_unique<imaging::png::PngReader>(file);
    case ImageFormat::Jpeg:
        return std::make_unique<imaging::jpeg::JpegReader>(file, imaging::jpeg::JpegReader::Rows::Upright);
    case ImageFormat::Gif: return std::make_unique<imaging::gif::GifReader>(file);
    case ImageFormat::Other: break;
    }
    return nullptr;
}

} // namespace mGdip
