#pragma once
// 8-bit PNG pixel bytes to ARGB32 words (0xAARRGGBB, not premultiplied), as
// libpng's expansions give them: grey spread to red, green and blue, alpha
// 255 where the file has none.

#include <cstdint>

namespace imaging::png {

// `colorType` is PNG's: 0 grey, 2 RGB, 4 grey and alpha, 6 RGBA.
void ConvertRowToArgb(int colorType, const std::uint8_t* pixels, std::uint32_t* argb, std::uint32_t width);

// The plain loops, on every processor; and for RGB and RGBA on x86-64 with
// SSSE3, one byte shuffle per four pixels (chosen at run time by
// ConvertRowToArgb). Apart for tests.
void ConvertRowToArgbPlain(int colorType, const std::uint8_t* pixels, std::uint32_t* argb, std::uint32_t width);
#if defined(__x86_64__)
void ConvertRgbRowToArgbSsse3(const std::uint8_t* pixels, std::uint32_t* argb, std::uint32_t width);
void ConvertRgbaRowToArgbSsse3(const std::uint8_t* pixels, std::uint32_t* argb, std::uint32_t width);
#endif

} // namespace imaging::png
