// Plain loops over values, not bytes of words: the same on either byte
// order, and the compiler vectorises them; but without SSSE3's byte shuffle
// it does RGB poorly (an eighth of a 4096 x 4096 RGB file's whole run).
#include "png_row_convert.h"

namespace imaging::png {

void ConvertRowToArgbPlain(int colorType, const std::uint8_t* p, std::uint32_t* argb, std::uint32_t width)
{
    switch (colorType) {
    case 0:
        for (std::uint32_t x = 0; x < width; ++x) argb[x] = 0xFF000000u | p[x] * 0x010101u;
        break;
    case 2:
        for (std::uint32_t x = 0; x < width; ++x, p += 3)
            argb[x] = 0xFF000000u | std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
        break;
    case 4:
        for (std::uint32_t x = 0; x < width; ++x, p += 2) argb[x] = std::uint32_t{p[1]} << 24 | p[0] * 0x010101u;
        break;
    case 6:
        for (std::uint32_t x = 0; x < width; ++x, p += 4)
            argb[x] = std::uint32_t{p[3]} << 24 | std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
        break;
    default: break;
    }
}

void ConvertRowToArgb(int colorType, const std::uint8_t* p, std::uint32_t* argb, std::uint32_t width)
{
#if defined(__x86_64__)
    static const bool ssse3 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    if (ssse3 && colorType == 2) return ConvertRgbRowToArgbSsse3(p, argb, width);
    if (ssse3 && colorType == 6) return ConvertRgbaRowToArgbSsse3(p, argb, width);
#endif
    ConvertRowToArgbPlain(colorType, p, argb, width);
}

} // namespace imaging::png
