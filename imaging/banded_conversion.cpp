#include "banded_conversion.h"

#include "atomic_save.h"
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

} // namespace

bool ConvertPngInBands(const QString& input, const QString& output, RowStage& stage)
{
    if (ImagingToken() == 0) return false;
    QFile file;
    if (detail::OpenRegularFile(input, file)) return false;
    // Other formats are told by their first bytes, before any block is read.
    const QByteArray head = file.peek(sizeof detail::kPngSignature);
    if (head.size() != sizeof detail::kPngSignature
        || std::memcmp(head.constData(), detail::kPngSignature, sizeof detail::kPngSignature) != 0)
        return false;
    try {
        detail::CommonPngRowReader reader(file);
        if (reader.open() != detail::FastPngOutcome::Decoded) return false;
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
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace mGdip
