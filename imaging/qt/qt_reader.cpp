#include "qt_reader.h"

#include "codec_messages.h"
#include "completeness_checks.h"

#include "imaging/common/limits.h"

#include <QImageReader>

namespace imaging::qt {
namespace {

DecodedImage Fail(Failure failure)
{
    DecodedImage result;
    result.failure = std::move(failure);
    return result;
}

} // namespace

DecodedImage DecodeWithQt(QIODevice& file)
{
    for (Failure (*check)(QIODevice&) : {CheckBmp, CheckGif, CheckXbm})
        if (Failure failure = check(file)) return Fail(std::move(failure));

    // Readers warn about damage while probing too; those warnings are part of
    // the reason, not stray lines on the console.
    CodecMessages messages;
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    if (!reader.canRead()) return Fail(MakeFailure(FailureKind::UnknownFormat));
    const QSize announced = reader.size();
    if (announced.isValid() && !FitsLimits(announced.width(), announced.height()))
        return Fail(TooLargeFailure(announced.width(), announced.height()));

    QImage decoded;
    if (!reader.read(&decoded) || decoded.isNull())
        return Fail(
            MakeFailure(FailureKind::Damaged, messages.first().isEmpty() ? reader.errorString() : messages.first()));
    if (const QString damage = messages.damage(); !damage.isEmpty())
        return Fail(MakeFailure(FailureKind::Damaged, damage));
    if (!FitsLimits(decoded.width(), decoded.height())) return Fail(TooLargeFailure(decoded.width(), decoded.height()));

    // Exact for 8-bit, palette and gray sources; 16-bit channels round to the
    // nearest 8-bit value; premultiplied sources are un-premultiplied.
    DecodedImage result;
    result.image = std::move(decoded).convertToFormat(QImage::Format_ARGB32);
    if (result.image.isNull()) result.failure = MakeFailure(FailureKind::OutOfMemory);
    return result;
}

} // namespace imaging::qt
