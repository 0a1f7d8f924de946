#include "png_writer.h"

#include "encoder_threads.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace mGdip::detail {
namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Filtered bytes per band: big enough that restarting the compressor's
// history costs nothing measurable, small enough to hold a few.
constexpr std::size_t kBandBytes = std::size_t{4} << 20;
// Below this, a second thread costs more than it saves.
constexpr std::size_t kSmallestSplit = std::size_t{1} << 20;
// Bands smaller than this cost less to compress than to hand to another
// thread: they are all done by the producer.
constexpr std::size_t kSmallestSharedBand = std::size_t{64} << 10;
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

bool WriteHeader(ByteSink& sink, std::int32_t width, std::int32_t height)
{
    std::uint8_t header[13] = {};
    PutBigEndian(static_cast<std::uint32_t>(width), header);
    PutBigEndian(static_cast<std::uint32_t>(height), header + 4);
    header[8] = 8;  // bits per channel
    header[9] = 6;  // RGBA
    // compression 0 (deflate), filter method 0, no interlace
    return sink.write(kSignature, sizeof kSignature) && WriteChunk(sink, "IHDR", header, sizeof header);
}

std::int32_t PlanRowsPerBand(std::int32_t width, std::int32_t height, const PngWriterSettings& settings, int threads)
{
    const std::size_t rowBytes = FilteredRowBytes(static_cast<std::size_t>(width));
    const std::size_t total = rowBytes * static_cast<std::size_t>(height);
    std::size_t bandBytes = settings.bandBytes ? settings.bandBytes : kBandBytes;
    // Every thread gets a band of a mid-sized image too.
    if (!settings.bandBytes && threads > 1 && total >= kSmallestSplit)
        bandBytes = std::min(bandBytes, (total + threads - 1) / static_cast<std::size_t>(threads));
    return static_cast<std::int32_t>(std::clamp<std::size_t>(bandBytes / rowBytes, 1, static_cast<std::size_t>(height)));
}

// One band of rows on its way to the sink.
struct Band {
    std::int32_t index = 0;
    const std::uint32_t* rows = nullptr;
    std::size_t wordsPerLine = 0;
    std::int32_t count = 0;
    const std::uint32_t* above = nullptr; // the row before the band; null for the first
    bool last = false;
    std::vector<std::uint32_t> storage;   // rows the writer holds: the row above, then the band's
    std::vector<std::uint32_t> aboveCopy; // the row above, when the band before was held
};

// What each thread filters and deflates with.
struct Workspace {
    explicit Workspace(std::optional<DeflateBackend> backend) : deflater(backend) {}
    BandDeflater deflater;
    std::vector<std::uint8_t> filtered, packed;
};

} // namespace

// Bands are queued by the producer and taken by whichever thread is free;
// they reach the sink strictly in order: a thread with a finished band waits
// for the one before it. The producer takes a band itself whenever every
// helper is busy, so it never runs far ahead and the memory held stays a
// few bands.
class PngStreamWriter::Engine {
public:
    Engine(ByteSink& sink, std::int32_t width, std::int32_t height, const PngWriterSettings& settings)
        : sink_(sink), settings_(settings), width_(width), height_(height),
          threads_(settings.threads > 0 ? settings.threads : EncoderThreads()),
          rowsPerBand_(PlanRowsPerBand(width, height, settings, threads_)),
          bands_((height + rowsPerBand_ - 1) / rowsPerBand_), own_(settings.backend)
    {
        if (!WriteHeader(sink_, width_, height_)) {
            reason_ = WriteFailedWords();
            return;
        }
        const std::size_t bandBytes = FilteredRowBytes(static_cast<std::size_t>(width_)) * static_cast<std::size_t>(rowsPerBand_);
        const int helpers = bandBytes < kSmallestSharedBand ? 0 : std::min(threads_, bands_) - 1;
        for (int t = 0; t < helpers; ++t) {
            try {
                helpers_.emplace_back([this] { help(); });
            } catch (const std::exception&) {
                break; // fewer threads do the same work
            }
        }
    }

    ~Engine() { stop(); }

    std::int32_t rowsPerBand() const { return rowsPerBand_; }

    QString reason()
    {
        std::lock_guard lock(mutex_);
        return reason_;
    }

    std::uint32_t* nextRows(std::int32_t* rows)
    {
        *rows = 0;
        if (failed() || committedRows_ >= height_) return nullptr;
        try {
            // Room given before and not committed is given again.
            if (room_.empty()) room_ = takeStorage();
            if (room_.empty()) return nullptr;
        } catch (const std::bad_alloc&) {
            fail(NoMemoryWords());
            return nullptr;
        }
        *rows = std::min(rowsPerBand_, height_ - committedRows_);
        return room_.data() + width_;
    }

    bool commit(std::int32_t rows)
    {
        if (room_.empty() || rows <= 0 || rows > std::min(rowsPerBand_, height_ - committedRows_)) return fail(WriteFailedWords());
        Band band;
        band.storage = std::move(room_);
        room_.clear();
        const std::size_t width = static_cast<std::size_t>(width_);
        band.rows = band.storage.data() + width;
        band.wordsPerLine = width;
        band.count = rows;
        if (committedRows_ > 0) {
            const std::uint32_t* previous = inPlaceLastRow_ ? inPlaceLastRow_ : lastRow_.data();
            std::copy(previous, previous + width, band.storage.begin());
            band.above = band.storage.data();
        }
        const std::uint32_t* lastRow = band.rows + width * static_cast<std::size_t>(rows - 1);
        lastRow_.assign(lastRow, lastRow + width);
        inPlaceLastRow_ = nullptr;
        return submit(std::move(band));
    }

    bool commitInPlace(const std::uint32_t* rows, std::size_t wordsPerLine, std::int32_t count)
    {
        if (count <= 0 || count > height_ - committedRows_) return fail(WriteFailedWords());
        Band band;
        band.rows = rows;
        band.wordsPerLine = wordsPerLine;
        band.count = count;
        if (committedRows_ > 0) {
            if (!inPlaceLastRow_) { // after rows the writer held
                band.aboveCopy = lastRow_;
                band.above = band.aboveCopy.data();
            } else {
                band.above = inPlaceLastRow_;
            }
        }
        inPlaceLastRow_ = rows + wordsPerLine * static_cast<std::size_t>(count - 1);
        return submit(std::move(band));
    }

    bool finish()
    {
        if (committedRows_ != height_) fail(WriteFailedWords());
        // What is still queued is done here, then the helpers' last bands awaited.
        while (!failed()) {
            std::unique_lock lock(mutex_);
            if (queue_.empty()) {
                turn_.wait(lock, [&] { return written_ == nextIndex_ || !reason_.isNull(); });
                break;
            }
            Band band = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            process(band, producerSpace());
        }
        stop();
        if (failed()) return false;
        if (!WriteChunk(sink_, "IEND", nullptr, 0)) return fail(WriteFailedWords());
        return true;
    }

    bool failed()
    {
        std::lock_guard lock(mutex_);
        return !reason_.isNull();
    }

private:
    bool fail(const QString& reason)
    {
        std::lock_guard lock(mutex_);
        if (reason_.isNull()) reason_ = reason;
        queue_.clear();
        turn_.notify_all();
        work_.notify_all();
        return false;
    }

    Workspace& producerSpace()
    {
        if (!producerSpace_) producerSpace_ = std::make_unique<Workspace>(own_);
        return *producerSpace_;
    }

    bool submit(Band band)
    {
        band.index = nextIndex_++;
        committedRows_ += band.count;
        band.last = committedRows_ == height_;
        try {
            std::unique_lock lock(mutex_);
            if (!reason_.isNull()) return false;
            queue_.push_back(std::move(band));
            work_.notify_one();
            // Every helper busy: the producer does the oldest band itself.
            if (queue_.size() <= helpers_.size()) return true;
            Band oldest = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            process(oldest, producerSpace());
        } catch (const std::bad_alloc&) {
            return fail(NoMemoryWords());
        }
        return !failed();
    }

    void help() noexcept
    {
        try {
            Workspace space(own_);
            for (;;) {
                std::unique_lock lock(mutex_);
                work_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
                if (queue_.empty()) return;
                Band band = std::move(queue_.front());
                queue_.pop_front();
                lock.unlock();
                process(band, space);
            }
        } catch (const std::bad_alloc&) {
            fail(NoMemoryWords());
        }
    }

    void process(Band& band, Workspace& space)
    {
        try {
            filter(band, space.filtered);
            space.packed.clear();
            if (band.index == 0) space.packed = {0x78, 0x01}; // zlib header: deflate, 32 KB window
            const bool compressed = space.deflater.compress(space.filtered.data(), space.filtered.size(), band.last, space.packed);
            const std::uint32_t adler = isal_adler32(1, space.filtered.data(), space.filtered.size());
            deliver(band, compressed, adler, space.filtered.size(), space.packed);
        } catch (const std::bad_alloc&) {
            fail(NoMemoryWords());
        }
        giveBack(std::move(band.storage));
    }

    void filter(const Band& band, std::vector<std::uint8_t>& out) const
    {
        const std::size_t width = static_cast<std::size_t>(width_);
        const std::size_t rowBytes = FilteredRowBytes(width);
        out.resize(rowBytes * static_cast<std::size_t>(band.count));
        const std::uint32_t* above = band.above;
        for (std::int32_t r = 0; r < band.count; ++r) {
            const std::uint32_t* row = band.rows + band.wordsPerLine * static_cast<std::size_t>(r);
            FilterRow(row, above, width, settings_.filter, out.data() + rowBytes * static_cast<std::size_t>(r));
            above = row;
        }
    }

    void deliver(const Band& band, bool compressed, std::uint32_t adler, std::size_t size, std::vector<std::uint8_t>& packed)
    {
        std::unique_lock lock(mutex_);
        turn_.wait(lock, [&] { return written_ == band.index || !reason_.isNull(); });
        if (!reason_.isNull()) return;
        if (!compressed) {
            reason_ = NoMemoryWords();
        } else {
            adler_ = band.index == 0 ? adler
                                     : static_cast<std::uint32_t>(adler32_combine(adler_, adler, static_cast<z_off_t>(size)));
            if (band.last) {
                packed.resize(packed.size() + 4);
                PutBigEndian(adler_, packed.data() + packed.size() - 4);
            }
            if (!WriteImageData(sink_, packed.data(), packed.size())) reason_ = WriteFailedWords();
        }
        ++written_;
        if (!reason_.isNull()) queue_.clear();
        turn_.notify_all();
    }

    // Row buffers go round: a band's comes back once it is written, so the
    // memory touched stays a few bands whatever the image's height.
    std::vector<std::uint32_t> takeStorage()
    {
        const std::size_t words = static_cast<std::size_t>(width_) * (static_cast<std::size_t>(rowsPerBand_) + 1);
        std::unique_lock lock(mutex_);
        // One being filled, and at most one queued and one in work per helper.
        const std::size_t most = 2 * helpers_.size() + 2;
        spare_.wait(lock, [&] { return !free_.empty() || held_ < most || !reason_.isNull(); });
        if (!reason_.isNull()) return {};
        ++held_;
        if (!free_.empty()) {
            std::vector<std::uint32_t> storage = std::move(free_.back());
            free_.pop_back();
            return storage;
        }
        lock.unlock();
        try {
            return std::vector<std::uint32_t>(words);
        } catch (const std::bad_alloc&) {
            lock.lock();
            --held_;
            throw;
        }
    }

    void giveBack(std::vector<std::uint32_t> storage)
    {
        if (storage.empty()) return;
        std::lock_guard lock(mutex_);
        --held_;
        if (storage.size() == static_cast<std::size_t>(width_) * (static_cast<std::size_t>(rowsPerBand_) + 1))
            free_.push_back(std::move(storage));
        spare_.notify_one();
    }

    void stop()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            // Abandoned halfway: nothing more is written.
            if (written_ < nextIndex_ && reason_.isNull() && committedRows_ < height_) {
                reason_ = WriteFailedWords();
                queue_.clear();
            }
        }
        work_.notify_all();
        turn_.notify_all();
        for (std::thread& helper : helpers_)
            if (helper.joinable()) helper.join();
    }

    ByteSink& sink_;
    const PngWriterSettings settings_;
    const std::int32_t width_, height_;
    const int threads_;
    const std::int32_t rowsPerBand_, bands_;
    const std::optional<DeflateBackend> own_;
    std::vector<std::thread> helpers_;
    std::unique_ptr<Workspace> producerSpace_;

    // The producer's side only.
    std::vector<std::uint32_t> room_, lastRow_;
    const std::uint32_t* inPlaceLastRow_ = nullptr;
    std::int32_t committedRows_ = 0, nextIndex_ = 0;

    std::mutex mutex_;
    std::condition_variable work_, turn_, spare_;
    std::deque<Band> queue_;
    std::vector<std::vector<std::uint32_t>> free_;
    std::size_t held_ = 0; // row buffers out of free_
    std::int32_t written_ = 0;
    std::uint32_t adler_ = 1;
    bool stopping_ = false;
    QString reason_; // null while nothing failed
};

PngStreamWriter::PngStreamWriter(ByteSink& sink, std::int32_t width, std::int32_t height,
                                 const PngWriterSettings& settings)
    : engine_(std::make_unique<Engine>(sink, width, height, settings))
{
}

PngStreamWriter::~PngStreamWriter() = default;

std::uint32_t* PngStreamWriter::nextRows(std::int32_t* rows) { return engine_->nextRows(rows); }
bool PngStreamWriter::commit(std::int32_t rows) { return engine_->commit(rows); }
bool PngStreamWriter::commitInPlace(const std::uint32_t* rows, std::size_t wordsPerLine, std::int32_t count)
{
    return engine_->commitInPlace(rows, wordsPerLine, count);
}
bool PngStreamWriter::finish() { return engine_->finish(); }
QString PngStreamWriter::reason() const { return engine_->reason(); }
std::int32_t PngStreamWriter::rowsPerBand() const { return engine_->rowsPerBand(); }

bool WritePng(const QImage& argb32, ByteSink& out, const PngWriterSettings& settings, QString* reason)
{
    Q_ASSERT(argb32.format() == QImage::Format_ARGB32 && !argb32.isNull());
    bool written = false;
    QString why;
    try {
        PngStreamWriter writer(out, argb32.width(), argb32.height(), settings);
        const std::size_t wordsPerLine = static_cast<std::size_t>(argb32.bytesPerLine()) / 4;
        const std::int32_t step = writer.rowsPerBand();
        bool going = true;
        for (std::int32_t top = 0; going && top < argb32.height(); top += step)
            going = writer.commitInPlace(reinterpret_cast<const std::uint32_t*>(argb32.constScanLine(top)), wordsPerLine,
                                         std::min(step, argb32.height() - top));
        written = going && writer.finish();
        if (!written) why = writer.reason();
    } catch (const std::bad_alloc&) {
        why = NoMemoryWords();
    }
    if (!written && reason) *reason = why.isNull() ? WriteFailedWords() : why;
    return written;
}

} // namespace mGdip::detail
