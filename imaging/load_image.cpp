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

#include <QFile>
#include <QImageReader>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Opens a regular file for reading by its exact bytes. Non-blocking, so a
// pipe or device at the path cannot stall the open; those are refused.
Failure OpenRegularFile(const QString& path, QFile& file)
{
    const QByteArray bytes = PathToBytes(path);
    if (bytes.isEmpty() || bytes.contains('\0')) return MakeFailure(FailureKind::NotFound);
    const int fd = ::open(bytes.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) return MakeFailure(FailureKind::NotFound);
        return MakeFailure(FailureKind::CannotRead, QString::fromLocal8Bit(std::strerror(error)));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return MakeFailure(FailureKind::CannotRead, QString::fromLocal8Bit(std::strerror(error)));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return MakeFailure(S_ISDIR(info.st_mode) ? FailureKind::IsFolder : FailureKind::NotRegularFile);
    }
    if (info.st_size == 0) {
        ::close(fd);
        return MakeFailure(FailureKind::Empty);
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return MakeFailure(FailureKind::CannotRead, file.errorString());
    }
    return {};
}

bool StartsWith(const QByteArray& head, const unsigned char* signature, std::size_t size)
{
    return static_cast<std::size_t>(head.size()) >= size && std::memcmp(head.constData(), signature, size) == 0;
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
    if (Failure failure = OpenRegularFile(path, file)) return Fail(std::move(failure));

    const QByteArray head = file.peek(8);
    if (StartsWith(head, detail::kPngSignature, sizeof detail::kPngSignature)) {
        detail::PngDecodeResult png = detail::DecodePng(file);
        return png.failure ? Fail(std::move(png.failure)) : Loaded(std::move(png.image));
    }
    if (StartsWith(head, detail::kJpegSignature, sizeof detail::kJpegSignature)) {
        detail::JpegDecodeResult jpeg = detail::DecodeJpeg(file);
        return jpeg.failure ? Fail(std::move(jpeg.failure)) : Loaded(std::move(jpeg.image));
    }
    return DecodeWithQt(file);
}

} // namespace mGdip
