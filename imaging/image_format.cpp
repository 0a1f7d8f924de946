#include "image_format.h"

#include "imaging/jpeg/jpeg_reader.h"
#include "imaging/png/png_decode.h"
#include "imaging/png/png_reader.h"
#include "imaging/qt/qt_reader.h"

#include <QIODevice>

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
    return ImageFormat::Other;
}

imaging::DecodedImage DecodeImage(QIODevice& file)
{
    switch (FormatOf(file)) {
    case ImageFormat::Png: return imaging::png::DecodePng(file);
    case ImageFormat::Jpeg: return imaging::jpeg::DecodeJpeg(file);
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
    case ImageFormat::Other: break;
    }
    return nullptr;
}

} // namespace mGdip
