#include "deflate_backend_choice.h"

#include <algorithm>
#include <vector>

namespace mGdip::detail {
namespace {

constexpr int kPieces = 16, kRowsPerPiece = 8;

struct SampleShape {
    int pieces = 0;
    int rows = 0;  // per piece
    int span = 0;  // pixels per sampled row
};

SampleShape ShapeOf(std::int32_t width, std::int32_t height)
{
    // A sixteenth of the image, at least 16384 pixels (all of a small image)
    // and at most 262144.
    const std::int64_t total = std::int64_t{width} * height;
    const std::int64_t budget = std::clamp<std::int64_t>(total / 16, 16384, 262144);
    SampleShape shape;
    shape.rows = std::min(kRowsPerPiece, height);
    shape.pieces = std::min<std::int64_t>(kPieces, std::max(1, height / shape.rows));
    shape.span = static_cast<int>(std::min<std::int64_t>(
        width, std::max<std::int64_t>(16, budget / (std::int64_t{shape.pieces} * shape.rows))));
    return shape;
}

} // namespace

std::int64_t DeflateSamplePixels(std::int32_t width, std::int32_t height)
{
    const SampleShape shape = ShapeOf(width, height);
    return std::int64_t{shape.pieces} * shape.rows * shape.span;
}

DeflateBackend ChooseDeflateBackend(const QImage& argb32, FilterChoice filter)
{
    const int width = argb32.width(), height = argb32.height();
    if (width <= 0 || height <= 0) return DeflateBackend::Fast;
    const SampleShape shape = ShapeOf(width, height);
    std::vector<std::uint8_t> sample(static_cast<std::size_t>(shape.pieces) * shape.rows
                                     * FilteredRowBytes(static_cast<std::size_t>(shape.span)));
    std::uint8_t* out = sample.data();
    for (int piece = 0; piece < shape.pieces; ++piece) {
        // Pieces spread from top to bottom, each over another stretch of its rows.
        const int spread = std::max(1, shape.pieces - 1);
        const int top = static_cast<int>(std::int64_t{height - shape.rows} * piece / spread);
        const int left = static_cast<int>(std::int64_t{width - shape.span} * piece / spread);
        for (int y = top; y < top + shape.rows; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(argb32.constScanLine(y)) + left;
            const auto* above = y > 0 ? reinterpret_cast<const std::uint32_t*>(argb32.constScanLine(y - 1)) + left : nullptr;
            FilterRow(row, above, static_cast<std::size_t>(shape.span), filter, out);
            out += FilteredRowBytes(static_cast<std::size_t>(shape.span));
        }
    }
    std::vector<std::uint8_t> fast, thorough;
    if (!BandDeflater(DeflateBackend::Fast).compress(sample.data(), sample.size(), true, fast)) return DeflateBackend::Fast;
    // Only what shrinks at least fourfold is worth the slower compressor's look.
    if (fast.size() * 4 > sample.size()) return DeflateBackend::Fast;
    if (!BandDeflater(DeflateBackend::Thorough).compress(sample.data(), sample.size(), true, thorough))
        return DeflateBackend::Fast;
    return thorough.size() * 4 < fast.size() * 3 ? DeflateBackend::Thorough : DeflateBackend::Fast;
}

} // namespace mGdip::detail
