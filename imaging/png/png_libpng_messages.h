#pragma once
// The one set of libpng error and warning callbacks, shared by the decoder
// and the encoder. libpng leaves a failing call by longjmp; the message is
// kept so the caller can give it as the reason.

#include <png.h>

namespace imaging::png {

struct PngMessages {
    char error[256] = {};
};

// Pass &messages as the error pointer with these two.
[[noreturn]] void OnPngError(png_structp png, png_const_charp message);
void OnPngWarning(png_structp png, png_const_charp message);

} // namespace imaging::png
