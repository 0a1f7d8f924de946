#include "png_libpng_messages.h"

#include <cstdio>

namespace imaging::png {

void OnPngError(png_structp png, png_const_charp message)
{
    auto* messages = static_cast<PngMessages*>(png_get_error_ptr(png));
    std::snprintf(messages->error, sizeof messages->error, "%s", message);
    png_longjmp(png, 1);
}

// Warnings (an odd colour profile, a bad CRC in a chunk that is skipped
// anyway, damage after the last row, which the decoder finds itself) never
// stop a decode and are never printed.
void OnPngWarning(png_structp, png_const_charp) { }

} // namespace imaging::png
