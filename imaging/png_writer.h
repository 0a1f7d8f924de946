#pragma once
// The PNG writer: 8-bit RGBA (colour type 6), non-interlaced, rows filtered
// by png_row_filter and deflated in bands (deflate_band) on several threads,
// joined into one zlib stream. The bytes reach the sink band by band, in
// order; no more than a band per thread is held at a time.

#include "byte_sink.h"
#include "deflate_band.h"
#include "png_row_filter.h"

#include <QImage>
#include <QString>

#include <cstddef>
#include <optional>

namespace mGdip::detail {

struct PngWriterSettings {
    FilterChoice filter = FilterChoice::Adaptive;
    // Empty: chosen per image from a sample of its rows.
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

} // namespace mGdip::detail
