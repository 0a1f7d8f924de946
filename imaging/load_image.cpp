// Decoding of image files, with a failure kind and a clear reason for every
// file that cannot be opened. PNG and JPEG go through their libraries
// directly; every other format through Qt's readers, after a check of the
// file's structure where a reader would accept a short file.
#include "codec_messages.h"
#include "completeness_checks.h"
#include "file_path.h"
#include "jpeg_codec.h"
#include "limits.h"
#include "mgdip.h"
#include "png_codec.h"
#include "regular_file.h"

#include <QFile>
#include <QImageReader>

#include <cstring>

namespace mGdip {
namespace {

LoadedImage Fail(Failure failure)
{
    LoadedImage result;
    result.status = StatusOf(failure.kind);
    result.reason = Describe(failure);
    result.failure = std::move(failure);
    return result;
}

LoadedImage Loaded(QImage argb32)
{
    LoadedImage result;
    result.image = Image(std::move(argb32));
    result.status = ImagingStatus::Ok;
    return result;
}

LoadedImage DecodeWithQt(QFile& file)
{
    for (Failure (*check)(QIODevice&) : {detail::CheckBmp, detail::CheckGif, detail::CheckXbm})
        if (Failure failure = check(file)) return Fail(std::move(failure));

    // Readers warn about damage while probing too; those warnings are part of
    // the reason, not stray lines on the console.
    detail::CodecMessages messages;
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    if (!reader.canRead()) return Fail(MakeFailure(FailureKind::UnknownFormat));
    const QSize announced = reader.size();
    if (announced.isValid() && !FitsLimits(announced.width(), announced.height()))
        return Fail(TooLargeFailure(announced.width(), announced.height()));

    QImage decoded;
    if (!reader.read(&decoded) || decoded.isNull())
        return Fail(MakeFailure(FailureKind::Damaged, messages.first().isEmpty() ? reader.errorString() : messages.first()));
    if (const QString damage = messages.damage(); !damage.isEmpty())
        return Fail(MakeFailure(FailureKind::Damaged, damage));
    if (!FitsLimits(decoded.width(), decoded.height())) return Fail(TooLargeFailure(decoded.width(), decoded.height()));

    // Exact for 8-bit, palette and gray sources; 16-bit channels round to the
    // nearest 8-bit value; premultiplied sources are un-premultiplied.
    QImage argb = std::move(decoded).convertToFormat(QImage::Format_ARGB32);
    if (argb.isNull()) return Fail(MakeFailure(FailureKind::OutOfMemory));
    return Loaded(std::move(argb));
}

} // namespace

LoadedImage LoadImageFile(const QString& path)
{
    if (ImagingToken() == 0) return Fail(MakeFailure(FailureKind::NotStarted));
    QFile file;
    if (Failure failure = detail::OpenRegularFile(path, file)) return Fail(std::move(failure));

    const QByteArray head = file.peek(8);
    if (detail::StartsWith(head, detail::kPngSignature, sizeof detail::kPngSignature)) {
        detail::PngDecodeResult png = detail::DecodePng(file);
        return png.failure ? Fail(std::move(png.failure)) : Loaded(std::move(png.image));
    }
    if (detail::StartsWith(head, detail::kJpegSignature, sizeof detail::kJpegSignature)) {
        detail::JpegDecodeResult jpeg = detail::DecodeJpeg(file);
        return jpeg.failure ? Fail(std::move(jpeg.failure)) : Loaded(std::move(jpeg.image));
    }
    return DecodeWithQt(file);
}

} // namespace mGdip
