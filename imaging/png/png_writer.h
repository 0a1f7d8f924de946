#pragma once
// The PNG writer: 8-bit RGBA (colour type 6), non-interlaced, rows filtered
// by png_row_filter and deflated in bands (deflate/band_deflater.h) on the
// threads of a band pipeline (common/band_pipeline.h), joined into one zlib
// stream. This file is the PNG framing around that pipeline: signature,
// IHDR, the zlib header, the Adler-32 joined band by band, IDAT and IEND.
//
// Rows can come all at once (WritePng) or as they are produced
// (PngStreamWriter), so a file can be encoded while the next rows are still
// being decoded, without an image-sized buffer.

#include "png_row_filter.h"

#include "imaging/common/band_pipeline.h"
#include "imaging/common/byte_sink.h"
#include "imaging/common/failure.h"
#include "imaging/deflate/band_deflater.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace imaging::png {

struct PngWriterSettings {
    FilterChoice filter = FilterChoice::Adaptive;
    // Empty: chosen per band (see BandDeflater).
    std::optional<deflate::DeflateBackend> backend;
    // 0: EncoderThreads().
    int threads = 0;
    // Filtered bytes per band (whole rows, at least one); 0: the default,
    // which also splits an image into at least one band per thread.
    std::size_t bandBytes = 0;
};

// Writes `argb32` (Format_ARGB32, non-premultiplied) into `out`. On failure
// what was written is garbage (the sink keeps the system's error).
Failure WritePng(const QImage& argb32, ByteSink& out, const PngWriterSettings& settings);

// The same with the settings chosen per image: what saving uses.
Failure EncodePng(const QImage& argb32, ByteSink& out);

// A PNG written as its rows arrive, top to bottom: the caller fills the room
// nextRows() gives and hands it over with commit(); the band is filtered and
// deflated on the encoder threads (or at once, by the caller, when they are
// busy) while the caller produces the next one. Once anything fails, every
// call fails (nextRows gives null) with the same failure; what reached the
// sink is then garbage.
class PngStreamWriter {
public:
    // Writes the signature and the header.
    PngStreamWriter(ByteSink& sink, std::int32_t width, std::int32_t height, const PngWriterSettings& settings);
    // Stops the threads; a file not finished is left incomplete.
    ~PngStreamWriter();
    PngStreamWriter(const PngStreamWriter&) = delete;
    PngStreamWriter& operator=(const PngStreamWriter&) = delete;

    // Where the rows go in (common/band_pipeline.h): nextRows() and
    // commit(), or commitInPlace(); never its finish(), but this one's.
    BandPipeline& rows() { return *pipeline_; }
    // After the last row: waits for every band, ends the stream, writes IEND.
    Failure finish();
    Failure failure() const;

    // What the bands share: where they go, and the Adler-32 of the rows
    // delivered so far.
    struct Stream {
        ByteSink& sink;
        std::int32_t width;
        std::uint32_t adler;
    };

private:
    Stream stream_;
    std::unique_ptr<BandPipeline> pipeline_;
};

} // namespace imaging::png
