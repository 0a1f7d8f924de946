#include "bitmap_memory.h"
#include "mgdip.h"
#include "platform_probe.h"

#include <QImageReader>

#include <png.h>

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
    const bool libpngMatches = png_access_version_number() / 100 == PNG_LIBPNG_VER / 100;
    return readers && libpngMatches;
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

ImagingStatus StartImaging(bool showMessage, bool exitOnFailure, const QString& message,
                           std::int32_t style, const QString& title)
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
    g_token.store(g_nextToken.fetch_add(1));
    return ImagingStatus::Ok;
}

void ShutdownImaging() noexcept
{
    g_token.store(0);
    detail::DropBitmapMemory();
}

} // namespace mGdip
