// RGB and RGBA bytes to ARGB32 words with one byte shuffle per four pixels;
// built with SSSE3 enabled and called only where the processor has it. On
// x86 an ARGB32 word is B, G, R, A in memory.
#include "png_row_convert.h"

#include <tmmintrin.h>

#include <cstddef>

namespace imaging::png {

void ConvertRgbRowToArgbSsse3(const std::uint8_t* p, std::uint32_t* argb, std::uint32_t width)
{
    const __m128i order = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    std::uint32_t x = 0;
    // Four pixels take 12 bytes of the 16 loaded: six must remain for the load to stay in the row.
    for (; width - x >= 6; x += 4) {
        const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * std::size_t{x}));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(argb + x), _mm_or_si128(_mm_shuffle_epi8(in, order), alpha));
    }
    ConvertRowToArgbPlain(2, p + 3 * std::size_t{x}, argb + x, width - x);
}

void ConvertRgbaRowToArgbSsse3(const std::uint8_t* p, std::uint32_t* argb, std::uint32_t width)
{
    const __m128i order = _mm_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
    std::uint32_t x = 0;
    for (; width - x >= 4; x += 4) {
        const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * std::size_t{x}));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(argb + x), _mm_shuffle_epi8(in, order));
    }
    ConvertRowToArgbPlain(6, p + 4 * std::size_t{x}, argb + x, width - x);
}

} // namespace imaging::png
