#include "failure.h"
#include "limits.h"

namespace imaging {

Failure TooLargeFailure(std::int64_t width, std::int64_t height)
{
    Failure failure = MakeFailure(FailureKind::TooLarge);
    failure.width = width;
    failure.height = height;
    return failure;
}

Failure NotWritten() { return MakeFailure(FailureKind::WriteFailed, QStringLiteral("the file could not be written")); }

Failure NoMemoryToEncode()
{
    return MakeFailure(FailureKind::WriteFailed, QStringLiteral("not enough memory to encode the image"));
}

QString Describe(const Failure& f)
{
    switch (f.kind) {
    case FailureKind::None: return {};
    case FailureKind::Declined: return QStringLiteral("the file was left to another reader (%1)").arg(f.detail);
    case FailureKind::NotStarted: return QStringLiteral("the imaging services are not started");
    case FailureKind::NotFound: return QStringLiteral("the file does not exist");
    case FailureKind::IsFolder: return QStringLiteral("this is a folder, not an image file");
    case FailureKind::NotRegularFile: return QStringLiteral("this is not a regular file (a device, pipe or socket)");
    case FailureKind::CannotRead: return QStringLiteral("the file cannot be opened (%1)").arg(f.detail);
    case FailureKind::Empty: return QStringLiteral("the file is empty");
    case FailureKind::UnknownFormat: return QStringLiteral("the file is not an image in a format that can be read");
    case FailureKind::Truncated:
        return f.detail.isEmpty() ? QStringLiteral("the file is truncated: image data is missing")
                                  : QStringLiteral("the file is truncated: image data is missing (%1)").arg(f.detail);
    case FailureKind::Damaged:
        return f.detail.isEmpty() ? QStringLiteral("the image data is damaged")
                                  : QStringLiteral("the image data is damaged or incomplete (%1)").arg(f.detail);
    case FailureKind::TooLarge:
        if (f.width > kMaxImageWidth && f.width * f.height <= PixelLimit())
            return QStringLiteral("the image is %1 × %2 pixels: too large, rows wider than %3 pixels cannot be opened")
                .arg(f.width)
                .arg(f.height)
                .arg(kMaxImageWidth);
        return QStringLiteral("the image is %1 × %2 pixels: too large, more than the %3 megapixels that can be opened")
            .arg(f.width)
            .arg(f.height)
            .arg(PixelLimit() / 1'000'000);
    case FailureKind::OutOfMemory: return QStringLiteral("not enough memory");
    case FailureKind::NoImage: return QStringLiteral("there is no image to save");
    case FailureKind::NoFileName: return QStringLiteral("no file name was given");
    case FailureKind::NoEncoder: return QStringLiteral("no PNG encoder");
    case FailureKind::FolderMissing: return QStringLiteral("the folder %1 does not exist").arg(f.detail);
    case FailureKind::NotAFolder: return QStringLiteral("%1 is not a folder").arg(f.detail);
    case FailureKind::TargetIsFolder: return QStringLiteral("a folder of that name is in the way");
    case FailureKind::TargetNotRegularFile:
        return QStringLiteral("a symbolic link or other special file of that name is in the way; it was left as it is");
    case FailureKind::CannotCreate: return QStringLiteral("the file cannot be created (%1)").arg(f.detail);
    case FailureKind::NoSpace: return QStringLiteral("no space left on the device");
    case FailureKind::FileSizeLimit: return QStringLiteral("the file would be larger than the file-size limit");
    case FailureKind::WriteFailed: return QStringLiteral("writing failed (%1)").arg(f.detail);
    }
    return {};
}

const char* KindName(FailureKind kind) noexcept
{
    switch (kind) {
    case FailureKind::None: return "None";
    case FailureKind::Declined: return "Declined";
    case FailureKind::NotStarted: return "NotStarted";
    case FailureKind::NotFound: return "NotFound";
    case FailureKind::IsFolder: return "IsFolder";
    case FailureKind::NotRegularFile: return "NotRegularFile";
    case FailureKind::CannotRead: return "CannotRead";
    case FailureKind::Empty: return "Empty";
    case FailureKind::UnknownFormat: return "UnknownFormat";
    case FailureKind::Truncated: return "Truncated";
    case FailureKind::Damaged: return "Damaged";
    case FailureKind::TooLarge: return "TooLarge";
    case FailureKind::OutOfMemory: return "OutOfMemory";
    case FailureKind::NoImage: return "NoImage";
    case FailureKind::NoFileName: return "NoFileName";
    case FailureKind::NoEncoder: return "NoEncoder";
    case FailureKind::FolderMissing: return "FolderMissing";
    case FailureKind::NotAFolder: return "NotAFolder";
    case FailureKind::TargetIsFolder: return "TargetIsFolder";
    case FailureKind::TargetNotRegularFile: return "TargetNotRegularFile";
    case FailureKind::CannotCreate: return "CannotCreate";
    case FailureKind::NoSpace: return "NoSpace";
    case FailureKind::FileSizeLimit: return "FileSizeLimit";
    case FailureKind::WriteFailed: return "WriteFailed";
    }
    return "?";
}

} // namespace imaging
