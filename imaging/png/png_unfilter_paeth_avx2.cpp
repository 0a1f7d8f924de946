// The Paeth kernel built for AVX2: the SSE4.1 kernel in VEX form for single
// rows, and two rows at once. Each step of the kernel waits for the one
// before (the left pixel), so one row leaves most of the processor idle; a
// second row in the registers' upper halves runs its own chain alongside at
// no extra latency. That row trails the first by two blocks, so the pixels
// above it (the first row's results) are done an iteration before they are
// needed and preparing its bounds stays off the chain.
#include "png_unfilter_paeth.h"

#include "png_unfilter_paeth_kernel.h"

namespace imaging::png {

void UnfilterPaethRowAvx2(std::uint8_t* row, const std::uint8_t* prior, std::size_t rowBytes, int bytesPerPixel)
{
    UnfilterPaethRowHere(row, prior, rowBytes, bytesPerPixel);
}

namespace {

__m256i Join(__m128i low, __m128i high) { return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1); }

template <int bpp>
void UnfilterPair(std::uint8_t* first, std::uint8_t* second, const std::uint8_t* prior, std::size_t n)
{
    constexpr std::size_t kBytes = Blocks<bpp>::kBytes;
    constexpr std::size_t kLag = 2; // blocks the second row trails
    const std::size_t blocks = n >= 16 ? (n - 16) / kBytes + 1 : 0; // those with 16 bytes to load
    if (blocks <= kLag) {
        UnfilterRowOf<bpp>(first, prior, n);
        UnfilterRowOf<bpp>(second, first, n);
        return;
    }
    const __m128i zero = _mm_setzero_si128();
    const __m256i nextRowsByte = bpp == 3 ? Join(_mm_set_epi8(-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
                                     _mm_set_epi8(-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0))
                                          : _mm256_setzero_si256();
    __m256i last = _mm256_setzero_si256(); // low half: the first row's last block; high: the second row's
    // The first row's results, newest first: above the second row's block and before it.
    __m128i done[kLag + 1] = {zero, zero, zero};
    __m128i firstFiltered = Load(first), secondFiltered = zero;
    for (std::size_t j = 0; j < blocks; ++j) {
        const std::size_t at = j * kBytes;
        const __m128i b0 = Load(prior + at);
        const __m128i c0 = j == 0 ? BytesUp<bpp>(b0) : Load(prior + at - bpp);
        const __m128i b1 = done[kLag - 1];
        const __m128i c1 = Align<bpp>(b1, BytesUp<16 - kBytes>(done[kLag]));
        const __m256i filtered = Join(firstFiltered, secondFiltered);
        __m256i x = UnfilterBlock<bpp>(Prepare(filtered, Join(b0, b1), Join(c0, c1)), last);
        const bool secondStarted = j >= kLag;
        // Until the second row starts, its half carries zero: no left pixel.
        last = secondStarted ? x : Join(_mm256_castsi256_si128(x), zero);
        // Read the next blocks before storing these (3-byte pixels share a byte).
        if (j + 1 < blocks) firstFiltered = Load(first + at + kBytes);
        if (j + 1 >= kLag) secondFiltered = Load(second + (j + 1 - kLag) * kBytes);
        if constexpr (bpp == 3) x = Select(nextRowsByte, filtered, x);
        Store(first + at, _mm256_castsi256_si128(x));
        if (secondStarted) Store(second + (j - kLag) * kBytes, _mm256_extracti128_si256(x, 1));
        for (std::size_t k = kLag; k > 0; --k) done[k] = done[k - 1];
        done[0] = _mm256_castsi256_si128(last);
    }
    UnfilterFrom<bpp>(first, prior, n, blocks * kBytes, _mm256_castsi256_si128(last));
    UnfilterFrom<bpp>(second, first, n, (blocks - kLag) * kBytes, _mm256_extracti128_si256(last, 1));
}

} // namespace

void UnfilterPaethRowPairAvx2(
    std::uint8_t* first, std::uint8_t* second, const std::uint8_t* prior, std::size_t rowBytes, int bytesPerPixel)
{
    bytesPerPixel == 3 ? UnfilterPair<3>(first, second, prior, rowBytes)
                       : UnfilterPair<4>(first, second, prior, rowBytes);
}

} // namespace imaging::png
