#include "png_writer.h"

#include "deflate_backend_choice.h"
#include "encoder_threads.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <exception>
#include <thread>
#include <vector>

namespace mGdip::detail {
namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Filtered bytes per band: big enough that restarting the compressor's
// history costs nothing measurable, small enough to hold one per thread.
constexpr std::size_t kBandBytes = std::size_t{4} << 20;
// Below this, a second thread costs more than it saves.
constexpr std::size_t kSmallestSplit = std::size_t{1} << 20;
constexpr std::size_t kMostChunkBytes = std::size_t{1} << 20;

void PutBigEndian(std::uint32_t value, std::uint8_t* out)
{
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
}

const QString& WriteFailedWords()
{
    static const QString words = QStringLiteral("the file could not be written");
    return words;
}

const QString& NoMemoryWords()
{
    static const QString words = QStringLiteral("not enough memory to encode the image");
    return words;
}

bool WriteChunk(ByteSink& sink, const char type[4], const std::uint8_t* data, std::size_t size)
{
    std::uint8_t head[8], tail[4];
    PutBigEndian(static_cast<std::uint32_t>(size), head);
    std::copy(type, type + 4, head + 4);
    std::uint32_t crc = crc32_gzip_refl(0, head + 4, 4);
    if (size) crc = crc32_gzip_refl(crc, data, size);
    PutBigEndian(crc, tail);
    return sink.write(head, 8) && (size == 0 || sink.write(data, size)) && sink.write(tail, 4);
}

bool WriteImageData(ByteSink& sink, const std::uint8_t* data, std::size_t size)
{
    for (std::size_t at = 0; at < size;) {
        const std::size_t piece = std::min(kMostChunkBytes, size - at);
        if (!WriteChunk(sink, "IDAT", data + at, piece)) return false;
        at += piece;
    }
    return true;
}

struct BandPlan {
    std::int32_t rowsPerBand = 1;
    std::int32_t bands = 1;
};

BandPlan PlanBands(const QImage& image, const PngWriterSettings& settings, int threads)
{
    const std::size_t rowBytes = FilteredRowBytes(static_cast<std::size_t>(image.width()));
    const std::size_t total = rowBytes * static_cast<std::size_t>(image.height());
    std::size_t bandBytes = settings.bandBytes ? settings.bandBytes : kBandBytes;
    // Every thread gets a band of a mid-sized image too.
    if (!settings.bandBytes && threads > 1 && total >= kSmallestSplit)
        bandBytes = std::min(bandBytes, (total + threads - 1) / static_cast<std::size_t>(threads));
    BandPlan plan;
    plan.rowsPerBand = static_cast<std::int32_t>(
        std::clamp<std::size_t>(bandBytes / rowBytes, 1, static_cast<std::size_t>(image.height())));
    plan.bands = (image.height() + plan.rowsPerBand - 1) / plan.rowsPerBand;
    return plan;
}

// Bands are taken by whichever thread is free and written strictly in order:
// a thread with a finished band waits for the one before it.
class BandWriter {
public:
    BandWriter(const QImage& image, ByteSink& sink, const PngWriterSettings& settings, DeflateBackend backend,
               BandPlan plan)
        : image_(image), sink_(sink), settings_(settings), backend_(backend), plan_(plan)
    {
    }

    // One thread's share: bands until none are left or one failed.
    void work() noexcept
    {
        try {
            BandDeflater deflater(backend_);
            std::vector<std::uint8_t> filtered, packed;
            for (std::int32_t band; (band = next_.fetch_add(1)) < plan_.bands;) {
                if (failed()) return;
                filter(band, filtered);
                packed.clear();
                if (band == 0) packed = {0x78, 0x01}; // zlib header: deflate, 32 KB window
                const bool last = band == plan_.bands - 1;
                const bool compressed = deflater.compress(filtered.data(), filtered.size(), last, packed);
                const std::uint32_t adler = isal_adler32(1, filtered.data(), filtered.size());
                if (!deliver(band, compressed, adler, filtered.size(), packed)) return;
            }
        } catch (const std::bad_alloc&) {
            fail(NoMemoryWords());
        }
    }

    bool failed()
    {
        std::lock_guard lock(mutex_);
        return !reason_.isNull();
    }
    QString reason()
    {
        std::lock_guard lock(mutex_);
        return reason_;
    }

private:
    void filter(std::int32_t band, std::vector<std::uint8_t>& out) const
    {
        const std::int32_t top = band * plan_.rowsPerBand;
        const std::int32_t bottom = std::min(image_.height(), top + plan_.rowsPerBand);
        const std::size_t width = static_cast<std::size_t>(image_.width());
        const std::size_t rowBytes = FilteredRowBytes(width);
        out.resize(rowBytes * static_cast<std::size_t>(bottom - top));
        for (std::int32_t y = top; y < bottom; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(image_.constScanLine(y));
            const auto* above = y > 0 ? reinterpret_cast<const std::uint32_t*>(image_.constScanLine(y - 1)) : nullptr;
            FilterRow(row, above, width, settings_.filter, out.data() + rowBytes * static_cast<std::size_t>(y - top));
        }
    }

    bool deliver(std::int32_t band, bool compressed, std::uint32_t adler, std::size_t size,
                 std::vector<std::uint8_t>& packed)
    {
        std::unique_lock lock(mutex_);
        turn_.wait(lock, [&] { return written_ == band || !reason_.isNull(); });
        if (!reason_.isNull()) return false;
        if (!compressed) {
            reason_ = NoMemoryWords();
        } else {
            adler_ = band == 0 ? adler : static_cast<std::uint32_t>(adler32_combine(adler_, adler, static_cast<z_off_t>(size)));
            if (band == plan_.bands - 1) {
                packed.resize(packed.size() + 4);
                PutBigEndian(adler_, packed.data() + packed.size() - 4);
            }
            if (!WriteImageData(sink_, packed.data(), packed.size())) reason_ = WriteFailedWords();
        }
        ++written_;
        turn_.notify_all();
        return reason_.isNull();
    }

    void fail(const QString& reason)
    {
        std::lock_guard lock(mutex_);
        if (reason_.isNull()) reason_ = reason;
        turn_.notify_all();
    }

    const QImage& image_;
    ByteSink& sink_;
    const PngWriterSettings& settings_;
    const DeflateBackend backend_;
    const BandPlan plan_;
    std::atomic<std::int32_t> next_{0};
    std::mutex mutex_;
    std::condition_variable turn_;
    std::int32_t written_ = 0;
    std::uint32_t adler_ = 1;
    QString reason_; // null while nothing failed
};

bool WriteHeader(ByteSink& sink, const QImage& image)
{
    std::uint8_t header[13] = {};
    PutBigEndian(static_cast<std::uint32_t>(image.width()), header);
    PutBigEndian(static_cast<std::uint32_t>(image.height()), header + 4);
    header[8] = 8;  // bits per channel
    header[9] = 6;  // RGBA
    // compression 0 (deflate), filter method 0, no interlace
    return sink.write(kSignature, sizeof kSignature) && WriteChunk(sink, "IHDR", header, sizeof header);
}

} // namespace

bool WritePng(const QImage& argb32, ByteSink& out, const PngWriterSettings& settings, QString* reason)
{
    Q_ASSERT(argb32.format() == QImage::Format_ARGB32 && !argb32.isNull());
    auto failWith = [&](const QString& words) {
        if (reason) *reason = words;
        return false;
    };
    if (!WriteHeader(out, argb32)) return failWith(WriteFailedWords());

    const int threads = settings.threads > 0 ? settings.threads : EncoderThreads();
    const BandPlan plan = PlanBands(argb32, settings, threads);
    DeflateBackend backend = DeflateBackend::Fast;
    try {
        backend = settings.backend ? *settings.backend : ChooseDeflateBackend(argb32, settings.filter);
    } catch (const std::bad_alloc&) {
        return failWith(NoMemoryWords());
    }
    BandWriter writer(argb32, out, settings, backend, plan);
    std::vector<std::thread> helpers;
    for (int t = 1; t < std::min(threads, plan.bands); ++t) {
        try {
            helpers.emplace_back([&writer] { writer.work(); });
        } catch (const std::exception&) {
            break; // fewer threads do the same work
        }
    }
    writer.work();
    for (std::thread& helper : helpers) helper.join();
    if (writer.failed()) return failWith(writer.reason());
    if (!WriteChunk(out, "IEND", nullptr, 0)) return failWith(WriteFailedWords());
    return true;
}

} // namespace mGdip::detail
