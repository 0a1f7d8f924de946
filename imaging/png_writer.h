#pragma once
// The PNG writer: 8-bit RGBA (colour type 6), non-interlaced, rows filtered
// by png_row_filter and deflated in bands (deflate_band) on several threads,
// joined into one zlib stream. The bytes reach the sink band by band, in
// order; no more than a few bands are held at a time.
//
// Rows can come all at once (WritePng) or as they are produced
// (PngStreamWriter), so a file can be encoded while the next rows are still
// being decoded, without an image-sized buffer.

#include "byte_sink.h"
#include "deflate_band.h"
#include "png_row_filter.h"

#include <QImage>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace mGdip::detail {

struct PngWriterSettings {
    FilterChoice filter = FilterChoice::Adaptive;
    // Empty: chosen per band (see BandDeflater).
    std::optional<DeflateBackend> backend;
    // 0: EncoderThreads().
    int threads = 0;
    // Filtered bytes per band (whole rows, at least one); 0: the default,
    // which also splits an image into at least one band per thread.
    std::size_t bandBytes = 0;
};

// Writes `argb32` (Format_ARGB32, non-premultiplied) into `out`. On failure
// returns false with the reason in `reason`; what was written is garbage.
bool WritePng(const QImage& argb32, ByteSink& out, const PngWriterSettings& settings, QString* reason);

// A PNG written as its rows arrive, top to bottom: the caller fills the room
// nextRows() gives and hands it over with commit(); the band is filtered and
// deflated on the encoder threads (or at once, by the caller, when they are
// busy) while the caller produces the next one. Once anything fails, every
// call returns false (null) and reason() says why; what reached the sink is
// then garbage.
class PngStreamWriter {
public:
    // Writes the signature and the header.
    PngStreamWriter(ByteSink& sink, std::int32_t width, std::int32_t height, const PngWriterSettings& settings);
    // Stops the threads; a file not finished is left incomplete.
    ~PngStreamWriter();
    PngStreamWriter(const PngStreamWriter&) = delete;
    PngStreamWriter& operator=(const PngStreamWriter&) = delete;

    // Room for the next rows, `width` words each and contiguous: *rows is set
    // to how many it holds (a band, never past the last row). Null after a
    // failure or once every row is in.
    std::uint32_t* nextRows(std::int32_t* rows);
    // Hands over the first `rows` rows of the room last given.
    bool commit(std::int32_t rows);
    // Hands over rows that stay in place, unchanged, until finish() returns.
    bool commitInPlace(const std::uint32_t* rows, std::size_t wordsPerLine, std::int32_t count);
    // After the last row: waits for every band, ends the stream, writes IEND.
    bool finish();

    QString reason() const;
    std::int32_t rowsPerBand() const;

private:
    class Engine;
    std::unique_ptr<Engine> engine_;
};

} // namespace mGdip::detail
