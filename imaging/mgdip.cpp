// The wrapper itself: start-up and shutdown, loading and saving, and the
// status of a failure.
#include "mgdip.h"

#include "image_format.h"

#include "imaging/common/bitmap_memory.h"
#include "imaging/files/atomic_save.h"
#include "imaging/files/regular_file.h"
#include "imaging/files/temporary_files.h"
#include "imaging/png/png_libpng_reader.h"
#include "imaging/png/png_writer.h"

#include <QImageReader>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace mGdip {
namespace {

std::atomic<std::uint32_t> g_token{0};
std::atomic<std::uint32_t> g_nextToken{1};

std::mutex g_mutex;
MessagePresenter g_presenter;
PlatformProbe g_probe;

void PrintToStderr(const QString& message, std::int32_t, const QString& title)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(message));
}

// Decoding needs the platform's image readers (PNG at least) and libpng,
// which PNG files go through directly: its run-time library must match the
// headers. Encoding needs nothing the platform could lack.
bool PlatformCanDecodeAndEncodePng()
{
    const bool readers = QImageReader::supportedImageFormats().contains("png");
    return readers && imaging::png::LibpngMatchesItsHeaders();
}

} // namespace

void SetPlatformProbeForTesting(PlatformProbe probe)
{
    std::lock_guard lock(g_mutex);
    g_probe = std::move(probe);
}

std::uint32_t ImagingToken() noexcept { return g_token.load(); }

void SetMessagePresenter(MessagePresenter presenter)
{
    std::lock_guard lock(g_mutex);
    g_presenter = std::move(presenter);
}

ImagingStatus StartImaging(
    bool showMessage, bool exitOnFailure, const QString& message, std::int32_t style, const QString& title)
{
    // One start-up at a time, so threads racing here get one token.
    static std::mutex startMutex;
    std::unique_lock start(startMutex);
    if (g_token.load() != 0) return ImagingStatus::Ok;

    MessagePresenter presenter;
    bool available;
    {
        std::lock_guard lock(g_mutex);
        presenter = g_presenter ? g_presenter : MessagePresenter(PrintToStderr);
        available = g_probe ? g_probe() : PlatformCanDecodeAndEncodePng();
    }
    if (!available) {
        start.unlock();
        if (showMessage) presenter(message, style, title);
        if (exitOnFailure) std::exit(EXIT_FAILURE);
        return ImagingStatus::NotImplemented;
    }

    // Qt refuses images above 128 MB by default; real photos and the
    // 16-bit intermediates of large ones need more. Our own pixel limit is
    // checked before decoding.
    QImageReader::setAllocationLimit(static_cast<int>(kMaxImagePixels * 8 / (1024 * 1024)));
    imaging::files::HandleTerminatingSignals();
    g_token.store(g_nextToken.fetch_add(1));
    return ImagingStatus::Ok;
}

void ShutdownImaging() noexcept
{
    g_token.store(0);
    imaging::DropBitmapMemory();
}

// ---- loading and saving -----------------------------------------------------

namespace {

LoadedImage Loaded(imaging::DecodedImage decoded)
{
    LoadedImage result;
    result.status = StatusOf(decoded.failure.kind);
    result.reason = Describe(decoded.failure);
    result.failure = std::move(decoded.failure);
    if (!result.failure) result.image = Image(std::move(decoded.image));
    return result;
}

Failure Save(const Image& image, const QString& path)
{
    if (ImagingToken() == 0) return MakeFailure(FailureKind::NotStarted);
    if (image.isNull()) return MakeFailure(FailureKind::NoImage);
    static const ClassId kPngEncoder = EncoderClsid(kFormatPng);
    if (kPngEncoder == ClassId{}) return MakeFailure(FailureKind::NoEncoder);
    return imaging::files::SaveAtomically(
        path, [&](imaging::ByteSink& sink) { return imaging::png::EncodePng(image.qimage(), sink); });
}

} // namespace

LoadedImage LoadImageFile(const QString& path)
{
    imaging::DecodedImage decoded;
    QFile file;
    if (ImagingToken() == 0) {
        decoded.failure = MakeFailure(FailureKind::NotStarted);
    } else if (!(decoded.failure = imaging::files::OpenRegularFile(path, file))) {
        decoded = DecodeImage(file);
    }
    return Loaded(std::move(decoded));
}

std::int64_t DeclaredPixelsOf(const QString& path)
{
    QFile file;
    if (ImagingToken() == 0 || imaging::files::OpenRegularFile(path, file)) return 0;
    return DeclaredPixels(file);
}

ImagingStatus SaveImageAsPng(const Image& image, const QString& path, QString* reason, Failure* failure)
{
    Failure result = Save(image, path);
    if (reason) *reason = Describe(result);
    const ImagingStatus status = StatusOf(result.kind);
    if (failure) *failure = std::move(result);
    return status;
}

ImagingStatus StatusOf(FailureKind kind) noexcept
{
    switch (kind) {
    case FailureKind::None: return ImagingStatus::Ok;
    case FailureKind::Declined: return ImagingStatus::GenericError;
    case FailureKind::NotStarted: return ImagingStatus::NotInitialized;
    case FailureKind::NotFound: return ImagingStatus::FileNotFound;
    case FailureKind::IsFolder:
    case FailureKind::NotRegularFile:
    case FailureKind::NoImage:
    case FailureKind::NoFileName: return ImagingStatus::InvalidParameter;
    case FailureKind::CannotRead:
    case FailureKind::TargetIsFolder:
    case FailureKind::TargetNotRegularFile:
    case FailureKind::CannotCreate: return ImagingStatus::AccessDenied;
    case FailureKind::Empty:
    case FailureKind::UnknownFormat: return ImagingStatus::UnknownImageFormat;
    case FailureKind::Truncated:
    case FailureKind::Damaged: return ImagingStatus::GenericError;
    case FailureKind::TooLarge: return ImagingStatus::ValueOverflow;
    case FailureKind::OutOfMemory: return ImagingStatus::OutOfMemory;
    case FailureKind::NoEncoder: return ImagingStatus::NotImplemented;
    case FailureKind::FolderMissing:
    case FailureKind::NotAFolder:
    case FailureKind::NoSpace:
    case FailureKind::FileSizeLimit:
    case FailureKind::WriteFailed: return ImagingStatus::Win32Error;
    }
    return ImagingStatus::GenericError;
}

} // namespace mGdip
