#include "banded_conversion.h"

#include "image_format.h"
#include "mgdip.h"

#include "imaging/files/atomic_save.h"
#include "imaging/files/regular_file.h"
#include "imaging/png/png_writer.h"

#include <algorithm>
#include <new>
#include <vector>

namespace mGdip {
namespace {

constexpr std::int32_t kWidestBandedRow = 1 << 18; // pixels: 1 MB of ARGB32

Failure StageDeclined() { return imaging::Declined(QStringLiteral("the stage declined")); }

// Reads, changes and writes band by band. A reader's or stage's decline
// leaves nothing behind, as any failure of the save does.
Failure Convert(imaging::RowReader& reader, const QString& output, RowStage& stage)
{
    if (Failure opened = reader.open()) return opened;
    const std::int32_t width = reader.width(), height = reader.height();
    // Rows of megabytes would make each band a row or two and the few
    // bands in flight weigh more than the image: such files go whole.
    if (width > kWidestBandedRow) return imaging::Declined(QStringLiteral("rows too wide for bands"));
    if (!stage.begin(width, height)) return StageDeclined();

    const std::int32_t keptBack = std::max(0, stage.rowsKeptBack());
    return imaging::files::SaveAtomically(output, [&](imaging::ByteSink& sink) -> Failure {
        imaging::png::PngStreamWriter writer(sink, width, height, {});
        // Every band needs room for a new row below those kept back.
        const std::int32_t rowsPerBand = writer.rows().rowsPerBand();
        if (keptBack >= rowsPerBand && rowsPerBand < height)
            return imaging::Declined(QStringLiteral("bands too short for the rows the stage keeps back"));
        const auto wordsPerLine = static_cast<std::size_t>(width);
        std::vector<std::uint32_t> kept; // the rows kept back, between two bands
        for (std::int32_t top = 0; top < height;) {
            std::int32_t rows = 0;
            std::uint32_t* band = writer.rows().nextRows(&rows);
            if (!band) return writer.failure();
            std::copy(kept.begin(), kept.end(), band);
            const auto held = static_cast<std::int32_t>(kept.size() / wordsPerLine);
            if (Failure read = reader.readRows(band + kept.size(), wordsPerLine, rows - held)) return read;
            const std::int32_t done = stage.apply(band, wordsPerLine, top, rows);
            if (done < 0) return StageDeclined();
            if (done > rows || done < rows - keptBack || (top + rows == height && done < rows))
                return imaging::Declined(QStringLiteral("the stage kept back rows it may not"));
            // Copied out before the band is handed over (the encoder owns its room from then on).
            kept.assign(band + static_cast<std::size_t>(done) * wordsPerLine,
                band + static_cast<std::size_t>(rows) * wordsPerLine);
            if (Failure committed = writer.rows().commit(done)) return committed;
            top += done;
        }
        if (Failure finished = reader.finish()) return finished;
        return writer.finish();
    });
}

} // namespace

imaging::Failure ConvertInBands(const QString& input, const QString& output, RowStage& stage)
{
    if (ImagingToken() == 0) return imaging::MakeFailure(FailureKind::NotStarted);
    QFile file;
    if (Failure failure = imaging::files::OpenRegularFile(input, file)) return failure;
    try {
        const std::unique_ptr<imaging::RowReader> reader = RowReaderFor(file);
        if (!reader) return imaging::Declined(QStringLiteral("a format read only whole"));
        return Convert(*reader, output, stage);
    } catch (const std::bad_alloc&) {
        // The whole image would need more: this is the file's answer.
        return imaging::MakeFailure(FailureKind::OutOfMemory);
    }
}

} // namespace mGdip
