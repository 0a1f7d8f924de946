// PNG decoding with libpng. libpng reports errors by longjmp, so every
// function that calls setjmp keeps only trivially destructible locals, and the
// objects with destructors live in the caller.
#include "png_libpng_reader.h"

#include "png_libpng_messages.h"
#include "png_zlib_stream_check.h"

#include "imaging/common/bitmap_memory.h"
#include "imaging/common/limits.h"

#include <QIODevice>

#include <png.h>

#include <cstring>

namespace imaging::png {
namespace {

// Deflate expands at most about 1032 times; a little slack on top. A file
// that declares more pixel data than its size could hold is cut short, and
// is refused before its rows are allocated.
constexpr std::int64_t kMaxInflation = 1100;
constexpr std::int64_t kInflationSlack = 1 << 20;

// Ancillary chunks are never used, so they are never stored; this only caps
// what libpng may allocate for one chunk should it keep one after all.
constexpr png_alloc_size_t kChunkMemoryCap = 4 << 20;
constexpr png_uint_32 kChunkCountCap = 128;

struct ReadContext {
    QIODevice* in = nullptr;
    bool endedEarly = false;
    ZlibStreamCheck* stream = nullptr;
};

void OnRead(png_structp png, png_bytep data, png_size_t length)
{
    auto* context = static_cast<ReadContext*>(png_get_io_ptr(png));
    const qint64 got = context->in->read(reinterpret_cast<char*>(data), static_cast<qint64>(length));
    if (got == static_cast<qint64>(length)) {
        context->stream->Follow(data, length);
        return;
    }
    if (got < 0) png_error(png, "the file could not be read");
    context->endedEarly = true;
    png_error(png, "the file ends early");
}

struct Header {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    int interlace = 0;
    int passes = 1;
};

bool ReadInfo(png_structp png, png_infop info, Header* header)
{
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    header->width = png_get_image_width(png, info);
    header->height = png_get_image_height(png, info);
    header->bitDepth = png_get_bit_depth(png, info);
    header->colorType = png_get_color_type(png, info);
    header->interlace = png_get_interlace_type(png, info);
    return true;
}

// Transforms that turn every PNG colour type and bit depth into 8-bit
// channels in the byte order of Format_ARGB32.
bool SetTransforms(png_structp png, png_infop info, Header* header)
{
    if (setjmp(png_jmpbuf(png))) return false;
    const int colorType = header->colorType;
    // Rounds 16-bit samples to the nearest 8-bit value (not truncating).
    if (header->bitDepth == 16) png_set_scale_16(png);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && header->bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    const bool hasTransparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (hasTransparency) png_set_tRNS_to_alpha(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    // Memory order B, G, R, A.
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !hasTransparency) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_bgr(png);
#else
    // Memory order A, R, G, B.
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !hasTransparency)
        png_set_filler(png, 0xFF, PNG_FILLER_BEFORE);
    else
        png_set_swap_alpha(png);
#endif
    header->passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<png_size_t>(header->width) * 4)
        png_error(png, "unsupported pixel layout");
    return true;
}

// Row by row, so no table of row pointers (as large as the image is tall)
// is needed; interlaced images take one sweep per pass.
bool ReadRows(png_structp png, png_infop info, const Header* header, QImage* image)
{
    if (setjmp(png_jmpbuf(png))) return false;
    for (int pass = 0; pass < header->passes; ++pass)
        for (png_uint_32 y = 0; y < header->height; ++y)
            png_read_row(png, image->scanLine(static_cast<int>(y)), nullptr);
    png_read_end(png, info);
    return true;
}

DecodedImage Fail(Failure failure)
{
    DecodedImage result;
    result.failure = std::move(failure);
    return result;
}

Failure Damaged(const PngMessages& messages, const ReadContext& context)
{
    if (context.endedEarly) return MakeFailure(FailureKind::Truncated, QStringLiteral("PNG"));
    return MakeFailure(FailureKind::Damaged, QStringLiteral("PNG: %1").arg(QString::fromUtf8(messages.error)));
}

std::uint32_t BigEndian32(const unsigned char* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// Bytes of filtered pixel data the header promises (before compression).
std::int64_t RawDataBytes(const Header& h)
{
    int channels = 1;
    if (h.colorType == PNG_COLOR_TYPE_RGB) channels = 3;
    if (h.colorType == PNG_COLOR_TYPE_GRAY_ALPHA) channels = 2;
    if (h.colorType == PNG_COLOR_TYPE_RGB_ALPHA) channels = 4;
    const std::int64_t rowBytes = (std::int64_t{h.width} * channels * h.bitDepth + 7) / 8;
    // Interlacing splits rows into passes, each with its own filter bytes:
    // counting one sweep is a lower bound, which is all that is needed.
    return (rowBytes + 1) * h.height;
}

} // namespace

bool LibpngMatchesItsHeaders() noexcept { return png_access_version_number() / 100 == PNG_LIBPNG_VER / 100; }

DecodedImage DecodePngWithLibpng(QIODevice& in)
{
    // The size from IHDR before libpng sees it, so an image beyond the limit
    // is "too large" whatever libpng would say about it.
    const QByteArray head = in.peek(8 + 8 + 8);
    if (head.size() == 24 && std::memcmp(head.constData() + 12, "IHDR", 4) == 0) {
        const auto* p = reinterpret_cast<const unsigned char*>(head.constData());
        const std::uint32_t width = BigEndian32(p + 16), height = BigEndian32(p + 20);
        if (width <= 0x7FFFFFFFu && height <= 0x7FFFFFFFu && !FitsLimits(width, height))
            return Fail(TooLargeFailure(width, height));
    }

    PngMessages messages;
    ZlibStreamCheck stream;
    ReadContext context;
    context.in = &in;
    context.stream = &stream;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &messages, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    struct Release {
        png_structp* png;
        png_infop* info;
        ~Release() { png_destroy_read_struct(png, info, nullptr); }
    } release{&png, &info};
    if (!png || !info) return Fail(MakeFailure(FailureKind::OutOfMemory));

    png_set_read_fn(png, &context, OnRead);
    png_set_user_limits(png, static_cast<png_uint_32>(kMaxImagePixels), static_cast<png_uint_32>(kMaxImagePixels));
    png_set_chunk_malloc_max(png, kChunkMemoryCap);
    png_set_chunk_cache_max(png, kChunkCountCap);
    // Every chunk but the ones that make up the pixels (IHDR, PLTE, tRNS,
    // IDAT, IEND) is skipped without being stored or decompressed.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);

    Header header;
    if (!ReadInfo(png, info, &header)) return Fail(Damaged(messages, context));
    if (!FitsLimits(header.width, header.height)) return Fail(TooLargeFailure(header.width, header.height));
    if (RawDataBytes(header) > in.size() * kMaxInflation + kInflationSlack)
        return Fail(MakeFailure(FailureKind::Truncated, QStringLiteral("PNG")));
    if (!SetTransforms(png, info, &header)) return Fail(Damaged(messages, context));

    QImage image = AllocateBitmap(
        static_cast<std::int32_t>(header.width), static_cast<std::int32_t>(header.height), Contents::Unspecified);
    if (image.isNull()) return Fail(MakeFailure(FailureKind::OutOfMemory));
    if (!ReadRows(png, info, &header, &image)) return Fail(Damaged(messages, context));
    // Damage past the last row, in the fast reader's words: libpng only warns
    // about some of it and misses the rest.
    if (Failure damage = stream.Verdict()) return Fail(std::move(damage));

    DecodedImage result;
    result.image = std::move(image);
    return result;
}

} // namespace imaging::png
