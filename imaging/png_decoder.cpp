// PNG decoding with libpng. libpng reports errors by longjmp, so every
// function that calls setjmp keeps only trivially destructible locals, and the
// objects with destructors live in the caller.
#include "bitmap_memory.h"
#include "png_codec.h"

#include <QIODevice>

#include <png.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace mGdip::detail {
namespace {

struct ReadContext {
    QIODevice* in = nullptr;
    char error[256] = {};
};

void OnError(png_structp png, png_const_charp message)
{
    auto* context = static_cast<ReadContext*>(png_get_error_ptr(png));
    std::snprintf(context->error, sizeof context->error, "%s", message);
    png_longjmp(png, 1);
}

// Warnings (an odd colour profile, an unknown chunk) do not stop decoding.
void OnWarning(png_structp, png_const_charp) {}

void OnRead(png_structp png, png_bytep data, png_size_t length)
{
    auto* context = static_cast<ReadContext*>(png_get_io_ptr(png));
    const qint64 got = context->in->read(reinterpret_cast<char*>(data), static_cast<qint64>(length));
    if (got != static_cast<qint64>(length))
        png_error(png, got < 0 ? "the file could not be read" : "the file ends early (truncated)");
}

struct Header {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
};

// Reads the header and sets up the transforms that turn every PNG colour type
// and bit depth into 8-bit channels in the byte order of Format_ARGB32.
bool ReadHeader(png_structp png, png_infop info, Header* header)
{
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    const int colorType = png_get_color_type(png, info);
    const int bitDepth = png_get_bit_depth(png, info);
    // Rounds 16-bit samples to the nearest 8-bit value (not truncating).
    if (bitDepth == 16) png_set_scale_16(png);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    const bool hasTransparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (hasTransparency) png_set_tRNS_to_alpha(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    // Memory order B, G, R, A.
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !hasTransparency)
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_bgr(png);
#else
    // Memory order A, R, G, B.
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !hasTransparency)
        png_set_filler(png, 0xFF, PNG_FILLER_BEFORE);
    else
        png_set_swap_alpha(png);
#endif
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<png_size_t>(png_get_image_width(png, info)) * 4)
        png_error(png, "unsupported pixel layout");
    header->width = png_get_image_width(png, info);
    header->height = png_get_image_height(png, info);
    return true;
}

bool ReadRows(png_structp png, png_infop info, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

PngDecodeResult Failure(ImagingStatus status, const QString& reason)
{
    PngDecodeResult result;
    result.status = status;
    result.reason = reason;
    return result;
}

QString Damaged(const char* detail)
{
    return QStringLiteral("the PNG data is damaged or incomplete (%1)").arg(QString::fromUtf8(detail));
}

} // namespace

PngDecodeResult DecodePng(QIODevice& in, std::int64_t maxPixels)
{
    ReadContext context;
    context.in = &in;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &context, OnError, OnWarning);
    if (!png) return Failure(ImagingStatus::OutOfMemory, QStringLiteral("not enough memory"));
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return Failure(ImagingStatus::OutOfMemory, QStringLiteral("not enough memory"));
    }
    struct Release {
        png_structp* png;
        png_infop* info;
        ~Release() { png_destroy_read_struct(png, info, nullptr); }
    } release{&png, &info};

    png_set_read_fn(png, &context, OnRead);
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);

    Header header;
    if (!ReadHeader(png, info, &header)) return Failure(ImagingStatus::GenericError, Damaged(context.error));
    if (static_cast<std::int64_t>(header.width) * header.height > maxPixels)
        return Failure(ImagingStatus::ValueOverflow,
                       QStringLiteral("the image is %1 × %2 pixels, more than the %3 megapixels that can be opened")
                           .arg(header.width)
                           .arg(header.height)
                           .arg(maxPixels / 1'000'000));

    QImage image = AllocateBitmap(static_cast<std::int32_t>(header.width), static_cast<std::int32_t>(header.height),
                                  Contents::Unspecified);
    if (image.isNull()) return Failure(ImagingStatus::OutOfMemory, QStringLiteral("not enough memory to decode the image"));
    std::vector<png_bytep> rows(header.height);
    for (png_uint_32 y = 0; y < header.height; ++y) rows[y] = image.scanLine(static_cast<int>(y));

    if (!ReadRows(png, info, rows.data())) return Failure(ImagingStatus::GenericError, Damaged(context.error));

    PngDecodeResult result;
    result.image = std::move(image);
    result.status = ImagingStatus::Ok;
    return result;
}

} // namespace mGdip::detail
