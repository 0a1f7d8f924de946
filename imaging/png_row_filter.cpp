#include "png_row_filter.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mGdip::detail {
namespace {

// One pixel's R, G, B, A bytes in file order from its ARGB word.
inline void StoreRgba(std::uint32_t argb, std::uint8_t* out)
{
    out[0] = static_cast<std::uint8_t>(argb >> 16);
    out[1] = static_cast<std::uint8_t>(argb >> 8);
    out[2] = static_cast<std::uint8_t>(argb);
    out[3] = static_cast<std::uint8_t>(argb >> 24);
}

// Byte-wise difference of two pixels, kept as an ARGB word: the channels
// wrap independently, as PNG's residues do.
inline std::uint32_t Residue(std::uint32_t value, std::uint32_t predicted)
{
    std::uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8)
        result |= (((value >> shift) - (predicted >> shift)) & 0xFFu) << shift;
    return result;
}

// Sum of the residue bytes read as signed values' magnitudes.
inline std::uint32_t Magnitude(std::uint32_t residue)
{
    std::uint32_t sum = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int byte = static_cast<std::int8_t>(residue >> shift);
        sum += static_cast<std::uint32_t>(byte < 0 ? -byte : byte);
    }
    return sum;
}

inline std::uint32_t Left(const std::uint32_t* row, std::size_t x) { return x ? row[x - 1] : 0; }
inline std::uint32_t Above(const std::uint32_t* above, std::size_t x) { return above ? above[x] : 0; }

#if defined(__SSE2__)

// The memory order of four ARGB32 pixels is B, G, R, A on a little-endian
// machine; swapping R and B gives the file's order. Byte-wise differences
// commute with the swap, so it is applied to the residues.
inline __m128i SwapRedBlue(__m128i bgra)
{
    const __m128i greenAlpha = _mm_and_si128(bgra, _mm_set1_epi32(static_cast<int>(0xFF00FF00u)));
    const __m128i redBlue = _mm_and_si128(bgra, _mm_set1_epi32(0x00FF00FF));
    return _mm_or_si128(greenAlpha, _mm_or_si128(_mm_slli_epi32(redBlue, 16), _mm_srli_epi32(redBlue, 16)));
}

inline __m128i Load(const std::uint32_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }

// The four pixels left of those at x.
inline __m128i LoadLeft(const std::uint32_t* row, std::size_t x)
{
    return x ? Load(row + x - 1) : _mm_slli_si128(Load(row), 4);
}

inline __m128i LoadAbove(const std::uint32_t* above, std::size_t x)
{
    return above ? Load(above + x) : _mm_setzero_si128();
}

// Magnitudes of signed residue bytes, summed into two 64-bit lanes.
inline __m128i AddMagnitudes(__m128i sums, __m128i residues)
{
    const __m128i magnitude = _mm_min_epu8(residues, _mm_sub_epi8(_mm_setzero_si128(), residues));
    return _mm_add_epi64(sums, _mm_sad_epu8(magnitude, _mm_setzero_si128()));
}

inline std::uint64_t Total(__m128i sums)
{
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(sums))
         + static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
}

#endif

// Sums of residue magnitudes of the row under both filters.
void MeasureResidues(const std::uint32_t* row, const std::uint32_t* above, std::size_t width, std::uint64_t* sub,
                     std::uint64_t* up)
{
    std::size_t x = 0;
    std::uint64_t subSum = 0, upSum = 0;
#if defined(__SSE2__)
    __m128i subs = _mm_setzero_si128(), ups = _mm_setzero_si128();
    for (; x + 4 <= width; x += 4) {
        const __m128i pixels = Load(row + x);
        subs = AddMagnitudes(subs, _mm_sub_epi8(pixels, LoadLeft(row, x)));
        ups = AddMagnitudes(ups, _mm_sub_epi8(pixels, LoadAbove(above, x)));
    }
    subSum = Total(subs);
    upSum = Total(ups);
#endif
    for (; x < width; ++x) {
        subSum += Magnitude(Residue(row[x], Left(row, x)));
        upSum += Magnitude(Residue(row[x], Above(above, x)));
    }
    *sub = subSum;
    *up = upSum;
}

template <RowFilter Filter>
void WriteResidues(const std::uint32_t* row, const std::uint32_t* above, std::size_t width, std::uint8_t* out)
{
    std::size_t x = 0;
#if defined(__SSE2__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (; x + 4 <= width; x += 4) {
        const __m128i predicted = Filter == RowFilter::Sub ? LoadLeft(row, x) : LoadAbove(above, x);
        const __m128i residues = SwapRedBlue(_mm_sub_epi8(Load(row + x), predicted));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), residues);
    }
#endif
    for (; x < width; ++x)
        StoreRgba(Residue(row[x], Filter == RowFilter::Sub ? Left(row, x) : Above(above, x)), out + 4 * x);
}

} // namespace

RowFilter FilterRow(const std::uint32_t* row, const std::uint32_t* above, std::size_t width, FilterChoice choice,
                    std::uint8_t* out)
{
    RowFilter filter = choice == FilterChoice::UpOnly ? RowFilter::Up : RowFilter::Sub;
    if (choice == FilterChoice::Adaptive) {
        std::uint64_t sub = 0, up = 0;
        MeasureResidues(row, above, width, &sub, &up);
        filter = up < sub ? RowFilter::Up : RowFilter::Sub;
    }
    out[0] = static_cast<std::uint8_t>(filter);
    if (filter == RowFilter::Sub) WriteResidues<RowFilter::Sub>(row, above, width, out + 1);
    else WriteResidues<RowFilter::Up>(row, above, width, out + 1);
    return filter;
}

} // namespace mGdip::detail
