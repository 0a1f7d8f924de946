#include "png_row_filter.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstring>

namespace imaging::png {
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
    for (int shift = 0; shift < 32; shift += 8) result |= (((value >> shift) - (predicted >> shift)) & 0xFFu) << shift;
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

// The prediction of each channel under `filter`.
std::uint32_t Predict(RowFilter filter, std::uint32_t left, std::uint32_t up)
{
    if (filter == RowFilter::Sub) return left;
    if (filter == RowFilter::Up) return up;
    std::uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8)
        result |= ((((left >> shift) & 0xFF) + ((up >> shift) & 0xFF)) / 2) << shift;
    return result;
}

std::uint32_t ScalarResidue(RowFilter filter, const std::uint32_t* row, const std::uint32_t* above, std::size_t x)
{
    return Residue(row[x], Predict(filter, Left(row, x), Above(above, x)));
}

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

inline __m128i AverageOf(__m128i a, __m128i b)
{
    // The rounding-up mean, less the halves it rounded up.
    const __m128i roundedUp = _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1));
    return _mm_sub_epi8(_mm_avg_epu8(a, b), roundedUp);
}

template <RowFilter Filter>
inline __m128i PredictVector(const std::uint32_t* row, const std::uint32_t* above, std::size_t x)
{
    if constexpr (Filter == RowFilter::Sub)
        return LoadLeft(row, x);
    else if constexpr (Filter == RowFilter::Up)
        return LoadAbove(above, x);
    else
        return AverageOf(LoadLeft(row, x), LoadAbove(above, x));
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

constexpr int kFilterCount = 3;
constexpr RowFilter kFilters[kFilterCount] = {RowFilter::Sub, RowFilter::Up, RowFilter::Average};

// Rows at least this wide are judged from every fourth group of four pixels:
// a quarter of the work, and a row's residues are alike along its length.
constexpr std::size_t kSampledWidth = 64;

// Sums of residue magnitudes of the row under each filter, in kFilters' order.
void MeasureResidues(
    const std::uint32_t* row, const std::uint32_t* above, std::size_t width, std::uint64_t sums[kFilterCount])
{
    std::size_t x = 0;
    for (int i = 0; i < kFilterCount; ++i) sums[i] = 0;
#if defined(__SSE2__)
    const std::size_t step = width >= kSampledWidth ? 16 : 4;
    __m128i vectors[kFilterCount] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
    for (; x + 4 <= width; x += step) {
        const __m128i pixels = Load(row + x);
        const __m128i left = LoadLeft(row, x), up = LoadAbove(above, x);
        vectors[0] = AddMagnitudes(vectors[0], _mm_sub_epi8(pixels, left));
        vectors[1] = AddMagnitudes(vectors[1], _mm_sub_epi8(pixels, up));
        vectors[2] = AddMagnitudes(vectors[2], _mm_sub_epi8(pixels, AverageOf(left, up)));
    }
    for (int i = 0; i < kFilterCount; ++i) sums[i] = Total(vectors[i]);
    if (step > 4) return;
#endif
    for (; x < width; ++x)
        for (int i = 0; i < kFilterCount; ++i) sums[i] += Magnitude(ScalarResidue(kFilters[i], row, above, x));
}

template <RowFilter Filter>
void WriteResidues(const std::uint32_t* row, const std::uint32_t* above, std::size_t width, std::uint8_t* out)
{
    std::size_t x = 0;
#if defined(__SSE2__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (; x + 4 <= width; x += 4) {
        const __m128i residues = SwapRedBlue(_mm_sub_epi8(Load(row + x), PredictVector<Filter>(row, above, x)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), residues);
    }
#endif
    for (; x < width; ++x) StoreRgba(ScalarResidue(Filter, row, above, x), out + 4 * x);
}

} // namespace

RowFilter FilterRow(
    const std::uint32_t* row, const std::uint32_t* above, std::size_t width, FilterChoice choice, std::uint8_t* out)
{
    RowFilter filter = RowFilter::Sub;
    switch (choice) {
    case FilterChoice::Adaptive: {
        // A row like the one above (an empty canvas, a flat background) is
        // all zeros under Up. Sub and Average leave zeros only when the row
        // is zeros itself, and then the first filter wins the tie: what
        // measuring would choose, without measuring.
        if (above && std::memcmp(row, above, width * sizeof *row) == 0) {
            // Zeros: its first pixel is, and each is like the one before.
            if (row[0] == 0 && std::memcmp(row, row + 1, (width - 1) * sizeof *row) == 0) {
                out[0] = static_cast<std::uint8_t>(kFilters[0]);
                std::memset(out + 1, 0, width * sizeof *row);
                return kFilters[0];
            }
            filter = RowFilter::Up;
            break;
        }
        std::uint64_t sums[kFilterCount];
        MeasureResidues(row, above, width, sums);
        int best = 0;
        for (int i = 1; i < kFilterCount; ++i)
            if (sums[i] < sums[best]) best = i;
        filter = kFilters[best];
        break;
    }
    case FilterChoice::SubOnly: filter = RowFilter::Sub; break;
    case FilterChoice::UpOnly: filter = RowFilter::Up; break;
    case FilterChoice::AverageOnly: filter = RowFilter::Average; break;
    }
    out[0] = static_cast<std::uint8_t>(filter);
    switch (filter) {
    case RowFilter::Sub: WriteResidues<RowFilter::Sub>(row, above, width, out + 1); break;
    case RowFilter::Up: WriteResidues<RowFilter::Up>(row, above, width, out + 1); break;
    case RowFilter::Average: WriteResidues<RowFilter::Average>(row, above, width, out + 1); break;
    }
    return filter;
}

} // namespace imaging::png
