#include "mgdip.h"
#include "png_codec.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace mGdip {
namespace {

ImagingStatus Fail(ImagingStatus status, QString* reason, const QString& why)
{
    if (reason) *reason = why;
    return status;
}

} // namespace

ImagingStatus SaveImageAsPng(const Image& image, const QString& path, QString* reason)
{
    if (ImagingToken() == 0)
        return Fail(ImagingStatus::NotInitialized, reason, QStringLiteral("the imaging services are not started"));
    if (image.isNull()) return Fail(ImagingStatus::InvalidParameter, reason, QStringLiteral("there is no image to save"));
    static const ClassId kPngEncoder = EncoderClsid(kFormatPng);
    if (kPngEncoder == ClassId{})
        return Fail(ImagingStatus::NotImplemented, reason, QStringLiteral("no PNG encoder"));

    const QFileInfo target(path);
    if (path.isEmpty() || target.fileName().isEmpty())
        return Fail(ImagingStatus::InvalidParameter, reason, QStringLiteral("no file name was given"));
    const QFileInfo folder(target.absolutePath());
    if (!folder.isDir())
        return Fail(ImagingStatus::Win32Error, reason,
                    QStringLiteral("the folder %1 does not exist").arg(QDir::toNativeSeparators(folder.filePath())));
    if (target.isDir())
        return Fail(ImagingStatus::AccessDenied, reason, QStringLiteral("a folder of that name is in the way"));

    // The encode goes to a temporary file beside the target, which replaces
    // the target only once it is complete.
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return Fail(ImagingStatus::AccessDenied, reason,
                    QStringLiteral("the file cannot be created (%1)").arg(file.errorString()));
    QString why;
    if (!detail::EncodePng(image.qimage(), file, &why)) {
        file.cancelWriting();
        file.commit(); // discards the temporary file
        return Fail(ImagingStatus::Win32Error, reason, QStringLiteral("writing failed (%1)").arg(why));
    }
    if (!file.commit())
        return Fail(ImagingStatus::Win32Error, reason, QStringLiteral("writing failed (%1)").arg(file.errorString()));
    return ImagingStatus::Ok;
}

} // namespace mGdip
