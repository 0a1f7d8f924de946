#include "png_writer.h"

#include "imaging/common/band_pipeline.h"
#include "imaging/common/encoder_threads.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace imaging::png {
namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Filtered bytes per band: big enough that restarting the compressor's
// history costs little (0.2 % more bytes on flat images than 4 MB bands),
// small enough that the few bands in flight, each touched afresh by the
// first file, stay small (a 24 MP file peaks 10 MB lower, with 40 % fewer
// page faults).
constexpr std::size_t kBandBytes = std::size_t{2} << 20;
// Below this, a second thread costs more than it saves.
constexpr std::size_t kSmallestSplit = std::size_t{1} << 20;
constexpr std::size_t kSmallestSharedBand = std::size_t{64} << 10;
constexpr std::size_t kMostChunkBytes = std::size_t{1} << 20;

void PutBigEndian(std::uint32_t value, std::uint8_t* out)
{
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
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
    header[8] = 8; // bits per channel
    header[9] = 6; // RGBA
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
    return static_cast<std::int32_t>(
        std::clamp<std::size_t>(bandBytes / rowBytes, 1, static_cast<std::size_t>(height)));
}

// What each thread filters and deflates with; the deflated band reaches the
// sink as IDAT chunks in order, its Adler-32 joined to the ones before.
class PngBandWork final : public BandWork {
public:
    PngBandWork(PngStreamWriter::Stream& stream, std::optional<deflate::DeflateBackend> backend, FilterChoice filter)
        : stream_(stream), deflater_(backend), filter_(filter)
    {
    }

    Failure make(const BandRows& band) override
    {
        const std::size_t width = static_cast<std::size_t>(stream_.width);
        const std::size_t rowBytes = FilteredRowBytes(width);
        filteredSize_ = rowBytes * static_cast<std::size_t>(band.count);
        // Sized at the first band, which is the largest; never cleared, as
        // every byte is filtered into before it is read.
        if (filteredSize_ > filteredRoom_) {
            filtered_ = std::make_unique_for_overwrite<std::uint8_t[]>(filteredSize_);
            filteredRoom_ = filteredSize_;
        }
        const std::uint32_t* above = band.above;
        for (std::int32_t r = 0; r < band.count; ++r) {
            const std::uint32_t* row = band.rows + band.wordsPerLine * static_cast<std::size_t>(r);
            FilterRow(row, above, width, filter_, filtered_.get() + rowBytes * static_cast<std::size_t>(r));
            above = row;
        }
        packed_.clear();
        if (band.index == 0) packed_ = {0x78, 0x01}; // zlib header: deflate, 32 KB window
        if (!deflater_.compress(filtered_.get(), filteredSize_, band.last, packed_)) return NoMemoryToEncode();
        adler_ = isal_adler32(1, filtered_.get(), filteredSize_);
        return {};
    }

    Failure deliver(const BandRows& band) override
    {
        std::uint32_t& joined = stream_.adler;
        joined = band.index == 0
            ? adler_
            : static_cast<std::uint32_t>(adler32_combine(joined, adler_, static_cast<z_off_t>(filteredSize_)));
        if (band.last) {
            packed_.resize(packed_.size() + 4);
            PutBigEndian(joined, packed_.data() + packed_.size() - 4);
        }
        return WriteImageData(stream_.sink, packed_.data(), packed_.size()) ? Failure{} : NotWritten();
    }

private:
    PngStreamWriter::Stream& stream_;
    deflate::BandDeflater deflater_;
    const FilterChoice filter_;
    std::unique_ptr<std::uint8_t[]> filtered_;
    std::size_t filteredSize_ = 0, filteredRoom_ = 0;
    std::vector<std::uint8_t> packed_;
    std::uint32_t adler_ = 1;
};

// Bands smaller than kSmallestSharedBand cost less to compress than to hand
// to another thread: the producer does them all.
int Helpers(std::int32_t width, std::int32_t height, std::int32_t rowsPerBand, int threads)
{
    const std::size_t bandBytes =
        FilteredRowBytes(static_cast<std::size_t>(width)) * static_cast<std::size_t>(rowsPerBand);
    const int bands = (height + rowsPerBand - 1) / rowsPerBand;
    return bandBytes < kSmallestSharedBand ? 0 : std::min(threads, bands) - 1;
}

} // namespace

PngStreamWriter::PngStreamWriter(
    ByteSink& sink, std::int32_t width, std::int32_t height, const PngWriterSettings& settings)
    : stream_{sink, width, 1}
{
    const int threads = settings.threads > 0 ? settings.threads : EncoderThreads();
    const std::int32_t rowsPerBand = PlanRowsPerBand(width, height, settings, threads);
    const bool headerWritten = WriteHeader(sink, width, height);
    const int helpers = headerWritten ? Helpers(width, height, rowsPerBand, threads) : 0;
    pipeline_ = std::make_unique<BandPipeline>(width, height, rowsPerBand, helpers,
        [this, settings] { return std::make_unique<PngBandWork>(stream_, settings.backend, settings.filter); });
    if (!headerWritten) pipeline_->fail(NotWritten());
}

PngStreamWriter::~PngStreamWriter() = default;

Failure PngStreamWriter::finish()
{
    if (Failure failure = pipeline_->finish()) return failure;
    return WriteChunk(stream_.sink, "IEND", nullptr, 0) ? Failure{} : NotWritten();
}

Failure PngStreamWriter::failure() const { return pipeline_->failure(); }

Failure WritePng(const QImage& argb32, ByteSink& out, const PngWriterSettings& settings)
{
    Q_ASSERT(argb32.format() == QImage::Format_ARGB32 && !argb32.isNull());
    try {
        PngStreamWriter writer(out, argb32.width(), argb32.height(), settings);
        const std::size_t wordsPerLine = static_cast<std::size_t>(argb32.bytesPerLine()) / 4;
        const std::int32_t step = writer.rows().rowsPerBand();
        for (std::int32_t top = 0; top < argb32.height(); top += step)
            if (Failure failure =
                    writer.rows().commitInPlace(reinterpret_cast<const std::uint32_t*>(argb32.constScanLine(top)),
                        wordsPerLine, std::min(step, argb32.height() - top)))
                return failure;
        return writer.finish();
    } catch (const std::bad_alloc&) {
        return NoMemoryToEncode();
    }
}

Failure EncodePng(const QImage& argb32, ByteSink& out) { return WritePng(argb32, out, PngWriterSettings{}); }

} // namespace imaging::png
