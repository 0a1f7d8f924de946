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
// anyway) never stop a decode: they are counted and never printed.
void OnPngWarning(png_structp png, png_const_charp message)
{
    auto* messages = static_cast<PngMessages*>(png_get_error_ptr(png));
    if (messages->warnings++ == 0)
        std::snprintf(messages->firstWarning, sizeof messages->firstWarning, "%s", message);
}

} // namespace imaging::png
