#pragma once
// The one place that talks to the imaging library (Qt's QtGui): start-up and
// shutdown, decoding, the work bitmap, pixel reads and paints, drawing and PNG
// encoding. Every other part of the program goes through these operations.
//
// Operations return an ImagingStatus and leave their outputs untouched when
// they fail.
//
// The codecs, files and shared pieces below this wrapper live in their own
// namespaces (imaging, imaging::png, ...); the few names of theirs that the
// window and the batch tool use are the wrapper's too, below.

#include "bitmap_for_pass.h"
#include "encoder_clsid.h"
#include "image.h"
#include "pixels.h"

#include "imaging/common/encoder_threads.h"
#include "imaging/common/failure.h"
#include "imaging/common/limits.h"
#include "imaging/files/file_naming.h"
#include "imaging/files/file_path.h"
#include "imaging/files/leftover_temporaries.h"
#include "imaging/files/no_replace_rename.h"
#include "imaging/files/save_place.h"
#include "imaging/files/temporary_files.h"
#include "imaging/files/temporary_name.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace mGdip {

// ---- names from below the wrapper ------------------------------------------

using imaging::Describe;
using imaging::Failure;
using imaging::FailureKind;
using imaging::FileInProgress;
using imaging::IsSavingFailure;
using imaging::KindName;
using imaging::kMaxImagePixels;
using imaging::kMaxImageWidth;
using imaging::MakeFailure;
using imaging::PixelLimit;
using imaging::SetPixelLimitForTesting;
using imaging::TooLargeFailure;
using imaging::files::CheckSavePlace;
using imaging::files::DisplayPath;
using imaging::files::FolderOfPath;
using imaging::files::LastPathComponent;
using imaging::files::PathFromBytes;
using imaging::files::PathFromLocalUrl;
using imaging::files::PathToBytes;
using imaging::files::RemoveLeftoverTemporaries;
using imaging::files::RenameNoReplace;
using imaging::files::ResultFileNameFor;
using imaging::files::SourceFileNameOf;
using imaging::files::TemporaryFileGuard;
using imaging::files::TemporaryNameFor;

// The status code an operation returns for a failure of this kind.
ImagingStatus StatusOf(FailureKind kind) noexcept;

// ---- start-up and shutdown ------------------------------------------------

// Non-zero while the imaging services are started.
std::uint32_t ImagingToken() noexcept;

// Starts the imaging services once; a second call while started returns Ok
// and does nothing. Start-up succeeds only when images can be decoded and PNG
// encoded. From then on a signal that ends the process removes the
// temporary files of saves in progress, and a write past the file-size limit
// fails instead of ending it (temporary_files.h). On failure: shows `message` (with `style` and `title`) through the
// message presenter when `showMessage` is set, then ends the program when
// `exitOnFailure` is set.
ImagingStatus StartImaging(
    bool showMessage, bool exitOnFailure, const QString& message, std::int32_t style, const QString& title);
void ShutdownImaging() noexcept;

// How the start-up failure message reaches the user: the window shows a
// message box, the batch tool prints to stderr (the default).
using MessagePresenter = std::function<void(const QString& message, std::int32_t style, const QString& title)>;
void SetMessagePresenter(MessagePresenter presenter);

// Message style of a critical error with an OK button.
inline constexpr std::int32_t kCriticalMessageStyle = 16;

// Test seam: replaces the check of what the platform can decode and encode,
// so start-up failure can be exercised. An empty probe restores the real one.
using PlatformProbe = std::function<bool()>;
void SetPlatformProbeForTesting(PlatformProbe probe);

// ---- decoding -------------------------------------------------------------

struct LoadedImage {
    Image image; // null when decoding failed
    ImagingStatus status = ImagingStatus::GenericError;
    Failure failure; // what went wrong; kind None on success
    QString reason; // Describe(failure): English words for it; empty on success
};

// Decodes any format the platform reads into non-premultiplied ARGB32,
// honouring the orientation stored in the file. `path` is a QString from
// PathFromBytes (file_path.h), so any byte string names a file; only regular
// files are read. A file beyond the size limits (limits.h) is refused from
// its header, and a damaged or short one is refused, never half decoded.
LoadedImage LoadImageFile(const QString& path);

// The pixels the file at `path` says its image has, from its header alone
// (cheap: nothing is decoded); 0 when it cannot be read or does not say.
std::int64_t DeclaredPixelsOf(const QString& path);

// 0 for a null image.
std::int32_t ImageWidthOf(const Image& image) noexcept;
std::int32_t ImageHeightOf(const Image& image) noexcept;

// ---- encoding ---------------------------------------------------------------

// Writes a 32-bit RGBA PNG that keeps every ARGB value. The file appears only
// after a complete encode: the bytes go to a temporary file in the same
// folder (its name starts with a dot; it is removed on failure and when a
// signal ends the process), renamed over the target
// once complete. A failure never leaves a partial file or damages an existing
// one; a symbolic link or other non-regular file at the target is refused and
// left as it is. `path` is a QString from PathFromBytes, as for loading.
// `reason` (optional) receives Describe(failure), `failure` (optional) the
// failure itself.
ImagingStatus SaveImageAsPng(
    const Image& image, const QString& path, QString* reason = nullptr, Failure* failure = nullptr);

} // namespace mGdip
