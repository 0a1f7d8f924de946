#include "banded_conversion.h"

#include "atomic_save.h"
#include "jpeg_codec.h"
#include "mgdip.h"
#include "png_codec.h"
#include "png_fast_reader.h"
#include "png_writer.h"
#include "regular_file.h"

#include <cstring>
#include <new>

namespace mGdip {
namespace {

constexpr std::int32_t kWidestBandedRow = 1 << 18; // pixels: 1 MB of ARGB32

bool Opened(detail::CommonPngRowReader& reader) { return reader.open() == detail::FastPngOutcome::Decoded; }
bool Opened(detail::JpegRowReader& reader) { return reader.open(); }

// Either reader: open(), width(), height(), readRows() and finish() alike.
template <class RowReader>
bool Convert(QFile& file, const QString& output, RowStage& stage)
{
    RowReader reader(file);
    if (!Opened(reader)) return false;
    const std::int32_t width = reader.width(), height = reader.height();
    // Rows of megabytes would make each band a row or two and the few
    // bands in flight weigh more than the image: such files go whole.
    if (width > kWidestBandedRow || !stage.begin(width, height)) return false;

    bool declined = false; // by the reader or the stage: not a failure to report
    const Failure saved = detail::SaveAtomically(output, [&](detail::ByteSink& sink, QString* words) {
        detail::PngStreamWriter writer(sink, width, height, {});
        const auto wordsPerLine = static_cast<std::size_t>(width);
        for (std::int32_t top = 0; top < height;) {
            std::int32_t rows = 0;
            std::uint32_t* band = writer.nextRows(&rows);
            if (!band) break;
            if (!reader.readRows(band, wordsPerLine, rows) || !stage.apply(band, wordsPerLine, top, rows)) {
                declined = true;
                return false;
            }
            if (!writer.commit(rows)) break;
            top += rows;
        }
        if (!reader.finish()) {
            declined = true;
            return false;
        }
        if (writer.finish()) return true;
        *words = writer.reason();
        return false;
    });
    return !saved && !declined;
}

} // namespace

bool ConvertInBands(const QString& input, const QString& output, RowStage& stage)
{
    if (ImagingToken() == 0) return false;
    QFile file;
    if (detail::OpenRegularFile(input, file)) return false;
    // The format is told by the first bytes, before any block is read.
    const QByteArray head = file.peek(sizeof detail::kPngSignature);
    try {
        if (detail::StartsWith(head, detail::kPngSignature, sizeof detail::kPngSignature))
            return Convert<detail::CommonPngRowReader>(file, output, stage);
        if (detail::StartsWith(head, detail::kJpegSignature, sizeof detail::kJpegSignature))
            return Convert<detail::JpegRowReader>(file, output, stage);
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace mGdip
