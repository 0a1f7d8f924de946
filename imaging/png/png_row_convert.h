#pragma once
// 8-bit PNG pixel bytes to ARGB32 words (0xAARRGGBB, not premultiplied), as
// libpng's expansions give them: grey spread to red, green and blue, alpha
// 255 where the file has none.

#include <cstdint>

namespace imaging::png {

// `colorType` is PNG's: 0 grey, 2 RGB, 4 grey and alpha, 6 RGBA.
void ConvertRowToArgb(int colorType, const std::uint8_t* pixels, std::uint32_t* argb, std::uint32_t width);

} // namespace imaging::png
