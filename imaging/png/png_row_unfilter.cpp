// Sub and Up vectorise by themselves; Average and Paeth depend on the pixel
// to the left, so SSE2 only pays for them on 3- and 4-byte pixels, where one
// pixel fills a register's lanes. Narrower pixels take the plain loops.
#include "png_row_unfilter.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include "png_unfilter_paeth.h"
#endif

namespace imaging::png {
namespace {

void UnfilterSub(std::uint8_t* row, std::size_t n, int bpp)
{
    for (std::size_t i = static_cast<std::size_t>(bpp); i < n; ++i)
        row[i] = static_cast<std::uint8_t>(row[i] + row[i - bpp]);
}

void UnfilterUp(std::uint8_t* row, const std::uint8_t* prior, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) row[i] = static_cast<std::uint8_t>(row[i] + prior[i]);
}

void UnfilterAveragePlain(std::uint8_t* row, const std::uint8_t* prior, std::size_t n, int bpp)
{
    const auto b = static_cast<std::size_t>(bpp);
    for (std::size_t i = 0; i < b && i < n; ++i) row[i] = static_cast<std::uint8_t>(row[i] + (prior[i] >> 1));
    for (std::size_t i = b; i < n; ++i) row[i] = static_cast<std::uint8_t>(row[i] + ((row[i - b] + prior[i]) >> 1));
}

std::uint8_t Paeth(int a, int b, int c)
{
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
    return static_cast<std::uint8_t>(pb <= pc ? b : c);
}

void UnfilterPaethPlain(std::uint8_t* row, const std::uint8_t* prior, std::size_t n, int bpp)
{
    const auto b = static_cast<std::size_t>(bpp);
    for (std::size_t i = 0; i < b && i < n; ++i) row[i] = static_cast<std::uint8_t>(row[i] + prior[i]);
    for (std::size_t i = b; i < n; ++i)
        row[i] = static_cast<std::uint8_t>(row[i] + Paeth(row[i - b], prior[i], prior[i - b]));
}

#if defined(__SSE2__)
// One pixel of `bpp` (3 or 4) bytes in the low lanes of a register; never
// touches a byte beyond the pixel. (The size is a template argument so that
// the copies compile to plain moves. Three bytes are put together in a
// register: copied into a word, they went through the stack, and reading the
// word back waited for the narrower stores each pixel.)
template <int bpp>
__m128i LoadPixel(const std::uint8_t* p)
{
    std::uint32_t v = 0;
    if constexpr (bpp == 3)
        v = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16;
    else
        std::memcpy(&v, p, bpp);
    return _mm_cvtsi32_si128(static_cast<int>(v));
}

template <int bpp>
void StorePixel(std::uint8_t* p, __m128i v)
{
    const auto bits = static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
    std::memcpy(p, &bits, bpp);
}

template <int bpp>
void UnfilterSubSse2(std::uint8_t* row, std::size_t n)
{
    __m128i a = _mm_setzero_si128();
    for (std::size_t i = 0; i + static_cast<std::size_t>(bpp) <= n; i += static_cast<std::size_t>(bpp)) {
        a = _mm_add_epi8(LoadPixel<bpp>(row + i), a);
        StorePixel<bpp>(row + i, a);
    }
}

template <int bpp>
void UnfilterAverageSse2(std::uint8_t* row, const std::uint8_t* prior, std::size_t n)
{
    const __m128i one = _mm_set1_epi8(1);
    __m128i a = _mm_setzero_si128();
    for (std::size_t i = 0; i + static_cast<std::size_t>(bpp) <= n; i += static_cast<std::size_t>(bpp)) {
        const __m128i b = LoadPixel<bpp>(prior + i);
        // _mm_avg_epu8 rounds up; the filter rounds down.
        const __m128i average = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
        a = _mm_add_epi8(LoadPixel<bpp>(row + i), average);
        StorePixel<bpp>(row + i, a);
    }
}

#endif

} // namespace

bool UnfilterRow(int filterType, std::uint8_t* row, const std::uint8_t* prior, std::size_t rowBytes, int bytesPerPixel)
{
#if defined(__SSE2__)
    const bool wide = bytesPerPixel >= 3;
#endif
    switch (filterType) {
    case 0: return true;
    case 1:
#if defined(__SSE2__)
        if (wide) {
            bytesPerPixel == 3 ? UnfilterSubSse2<3>(row, rowBytes) : UnfilterSubSse2<4>(row, rowBytes);
            return true;
        }
#endif
        UnfilterSub(row, rowBytes, bytesPerPixel);
        return true;
    case 2: UnfilterUp(row, prior, rowBytes); return true;
    case 3:
#if defined(__SSE2__)
        if (wide) {
            bytesPerPixel == 3 ? UnfilterAverageSse2<3>(row, prior, rowBytes)
                               : UnfilterAverageSse2<4>(row, prior, rowBytes);
            return true;
        }
#endif
        UnfilterAveragePlain(row, prior, rowBytes, bytesPerPixel);
        return true;
    case 4:
#if defined(__x86_64__)
        if (wide) {
            UnfilterPaethRow(row, prior, rowBytes, bytesPerPixel);
            return true;
        }
#endif
        UnfilterPaethPlain(row, prior, rowBytes, bytesPerPixel);
        return true;
    default: return false;
    }
}

bool UnfilterPaethPair(
    std::uint8_t* first, std::uint8_t* second, const std::uint8_t* prior, std::size_t rowBytes, int bytesPerPixel)
{
#if defined(__x86_64__)
    if (first[0] != 4 || second[0] != 4 || bytesPerPixel < 3) return false;
    UnfilterPaethRowPair(first + 1, second + 1, prior, rowBytes, bytesPerPixel);
    return true;
#else
    (void)first, (void)second, (void)prior, (void)rowBytes, (void)bytesPerPixel;
    return false;
#endif
}

} // namespace imaging::png
