// PNG encoding with libpng, tuned for speed at a size close to what general
// tools produce. Two settings, picked per image by compressing a sample of
// rows both ways: flat artwork (logos, removed backgrounds) gets run-length
// matching with a per-row choice of the "sub" and "up" filters; photographs
// get fast general matching with the "up" filter.
#include "limits.h"
#include "png_codec.h"
#include "png_messages.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace mGdip::detail {
namespace {

struct DeflateChoice {
    int filters; // libpng filter mask
    int level;
    int strategy;
};

constexpr DeflateChoice kFlatArtwork{PNG_FILTER_SUB | PNG_FILTER_UP, 6, Z_RLE};
constexpr DeflateChoice kPhotograph{PNG_FILTER_UP, 1, Z_DEFAULT_STRATEGY};

// Size of `data` deflated with a level and strategy, or SIZE_MAX when zlib fails.
std::size_t DeflatedSize(const std::vector<unsigned char>& data, int level, int strategy)
{
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, 15, 8, strategy) != Z_OK) return SIZE_MAX;
    std::vector<unsigned char> out(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&stream, Z_FINISH);
    const std::size_t size = stream.total_out;
    deflateEnd(&stream);
    return status == Z_STREAM_END ? size : SIZE_MAX;
}

enum class SampleFilter { Sub, Up };

// Filtered bytes of pieces of rows spread over the image, about what the
// encoder will see. Enough bands that one odd band cannot swing the choice,
// and never more than kSamplePixels pixels whatever the image's shape: a
// short, very wide image samples pieces of its rows, not whole rows.
std::vector<unsigned char> SampleRows(const QImage& image, SampleFilter filter)
{
    constexpr int kBands = 32, kRowsPerBand = 8;
    constexpr std::int64_t kSamplePixels = 1 << 18;
    const int width = image.width(), height = image.height();
    const int bands = std::min(kBands, (height + kRowsPerBand - 1) / kRowsPerBand);
    const int span = static_cast<int>(std::min<std::int64_t>(
        width, std::max<std::int64_t>(64, kSamplePixels / (std::int64_t{bands} * kRowsPerBand))));
    std::vector<unsigned char> sample;
    sample.reserve(static_cast<std::size_t>(bands) * kRowsPerBand * (static_cast<std::size_t>(span) * 4 + 1));
    for (int band = 0; band < bands; ++band) {
        const int top = static_cast<int>(std::int64_t{height - kRowsPerBand} * band / std::max(1, bands - 1));
        // Each band looks at another stretch of the row.
        const int left = static_cast<int>(std::int64_t{width - span} * band / std::max(1, bands - 1));
        const std::size_t begin = static_cast<std::size_t>(left) * 4, end = begin + static_cast<std::size_t>(span) * 4;
        for (int y = std::max(0, top); y < std::min(height, std::max(0, top) + kRowsPerBand); ++y) {
            const uchar* row = image.constScanLine(y);
            const uchar* above = y > 0 ? image.constScanLine(y - 1) : nullptr;
            sample.push_back(filter == SampleFilter::Sub ? 1 : 2);
            for (std::size_t i = begin; i < end; ++i) {
                const uchar before = filter == SampleFilter::Sub ? (i >= begin + 4 ? row[i - 4] : 0) : (above ? above[i] : 0);
                sample.push_back(static_cast<unsigned char>(row[i] - before));
            }
        }
    }
    return sample;
}

DeflateChoice ChooseDeflate(const QImage& image)
{
    const std::size_t flat = DeflatedSize(SampleRows(image, SampleFilter::Sub), kFlatArtwork.level, kFlatArtwork.strategy);
    const std::size_t photo = DeflatedSize(SampleRows(image, SampleFilter::Up), kPhotograph.level, kPhotograph.strategy);
    return flat <= photo ? kFlatArtwork : kPhotograph;
}

void OnWrite(png_structp png, png_bytep data, png_size_t length)
{
    auto* sink = static_cast<ByteSink*>(png_get_io_ptr(png));
    if (!sink->write(data, length)) png_error(png, "the file could not be written");
}

void OnFlush(png_structp) {}

// Only trivially destructible locals: libpng leaves by longjmp on error.
bool WriteImage(png_structp png, png_infop info, const QImage* image, DeflateChoice choice)
{
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(image->width()),
                 static_cast<png_uint_32>(image->height()), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, choice.filters);
    png_set_compression_level(png, choice.level);
    png_set_compression_strategy(png, choice.strategy);
    png_set_compression_buffer_size(png, 1 << 20);
    png_write_info(png, info);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    png_set_bgr(png); // rows are B, G, R, A in memory
#else
    png_set_swap_alpha(png); // rows are A, R, G, B in memory
#endif
    for (int y = 0; y < image->height(); ++y) png_write_row(png, image->constScanLine(y));
    png_write_end(png, info);
    return true;
}

} // namespace

bool EncodePng(const QImage& argb32, ByteSink& out, QString* reason)
{
    Q_ASSERT(argb32.format() == QImage::Format_ARGB32);
    PngMessages messages;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &messages, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, nullptr);
        if (reason) *reason = QStringLiteral("not enough memory to encode the image");
        return false;
    }
    png_set_write_fn(png, &out, OnWrite, OnFlush);
    // libpng refuses sizes above a million by default; everything the
    // decoder accepts must be written.
    png_set_user_limits(png, static_cast<png_uint_32>(kMaxImagePixels), static_cast<png_uint_32>(kMaxImagePixels));
    const bool written = WriteImage(png, info, &argb32, ChooseDeflate(argb32));
    png_destroy_write_struct(&png, &info);
    if (!written && reason) *reason = QString::fromUtf8(messages.error);
    return written;
}

} // namespace mGdip::detail
