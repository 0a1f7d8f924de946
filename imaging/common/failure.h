#pragma once
// Why loading or saving an image failed: one kind a program can act on (and
// word in its own language), plus the technical detail the kind's sentence
// carries. The English sentence is what the batch tool prints. Every layer
// of the imaging code answers with this one type.

#include <QString>

#include <cstdint>

namespace imaging {

enum class FailureKind {
    None,
    // Not a failure of the file: this reader or way does not take it, and
    // another (libpng, the whole image) will; detail: what it did not take.
    Declined,
    NotStarted, // the imaging services are not started
    // Loading
    NotFound, // no file at the path
    IsFolder, // the path names a folder
    NotRegularFile, // a device, pipe or socket
    CannotRead, // opening or reading failed; detail: the system's words
    Empty, // a file of 0 bytes
    UnknownFormat, // not an image in a format that can be read
    Truncated, // the file ends before the image data does
    Damaged, // the image data is corrupt; detail: the decoder's words
    TooLarge, // more pixels than can be opened; width and height say how many
    OutOfMemory,
    // Saving
    NoImage, // nothing to save
    NoFileName, // the path has no file name
    NoEncoder, // PNG cannot be written on this platform
    FolderMissing, // the folder of the result does not exist; detail: the folder
    NotAFolder, // the folder of the result is a file; detail: that path
    TargetIsFolder, // a folder stands at the result's path
    TargetNotRegularFile, // a symbolic link, device, pipe or socket stands there; left as it is
    CannotCreate, // the file cannot be created; detail: the system's words
    NoSpace, // the device (or the user's quota) is full
    FileSizeLimit, // the file would pass the process's file-size limit (ulimit -f)
    WriteFailed, // writing failed otherwise; detail: the system's or encoder's words
};

struct Failure {
    FailureKind kind = FailureKind::None;
    QString detail; // technical words (a system or decoder message, a path shown escaped)
    std::int64_t width = 0; // TooLarge: the size the file declares
    std::int64_t height = 0;

    explicit operator bool() const noexcept { return kind != FailureKind::None; }
    bool declined() const noexcept { return kind == FailureKind::Declined; }
};

// Whether the failure is of saving (the kinds from NoImage on), not of loading.
constexpr bool IsSavingFailure(FailureKind kind) noexcept { return kind >= FailureKind::NoImage; }

// The English sentence for a failure, as the batch tool prints it.
QString Describe(const Failure& failure);

// Name of the kind ("TooLarge"), for logs and tests.
const char* KindName(FailureKind kind) noexcept;

inline Failure MakeFailure(FailureKind kind, QString detail = {})
{
    Failure failure;
    failure.kind = kind;
    failure.detail = std::move(detail);
    return failure;
}

Failure TooLargeFailure(std::int64_t width, std::int64_t height);

// The usual failures of writing: the encoder's own, when the system named no error.
Failure NotWritten();
Failure NoMemoryToEncode();

inline Failure Declined(QString why) { return MakeFailure(FailureKind::Declined, std::move(why)); }

} // namespace imaging
