#pragma once
// The Paeth unfilter for 3- and 4-byte pixels, written once and compiled by
// each png_unfilter_paeth_<isa>.cpp with that instruction set enabled; the
// code takes what the compiler is allowed (SSSE3's byte alignment, SSE4.1's
// byte blend, AVX2's 32-byte registers). Everything here has internal
// linkage, so the copies built for different processors never mix.
//
// Paeth predicts a byte by whichever of a (left), b (above) or c (upper
// left) is closest to a + b - c, ties in that order. b and c are known for a
// whole register of pixels before any a is, and for fixed b and c the choice
// depends on a alone: with b >= c and d = b - c it is
//   c  for a in [c - 2d + 1, c - floor(d / 2)),
//   b  for a in [c - floor(d / 2), b),
//   a  everywhere else (all of it when d = 0),
// and the same mirrored (v -> 255 - v) when b < c. So the bounds of those two
// ranges are worked out for a register of pixels at once, and what remains
// per pixel, on the chain from one pixel to the next, is two range tests of
// a (a subtraction and a signed compare each) and two byte selects.
//
// A row goes in blocks of 16 bytes (15 for 3-byte pixels: whole pixels).
// With SSSE3, each step re-derives the whole block from the block shifted by
// one pixel (palignr), so the left pixel arrives in place in one
// instruction; without it, the precomputed vectors are shifted down to the
// pixel instead. The last bytes of a row go through a scratch block.

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace imaging::png {
namespace {

#define PAETH_INLINE [[gnu::always_inline]] inline

// ---- byte operations on 16 bytes (and on 32, two independent halves) ------------

PAETH_INLINE __m128i Add(__m128i x, __m128i y) { return _mm_add_epi8(x, y); }
PAETH_INLINE __m128i Sub(__m128i x, __m128i y) { return _mm_sub_epi8(x, y); }
PAETH_INLINE __m128i Xor(__m128i x, __m128i y) { return _mm_xor_si128(x, y); }
PAETH_INLINE __m128i And(__m128i x, __m128i y) { return _mm_and_si128(x, y); }
PAETH_INLINE __m128i GreaterSigned(__m128i x, __m128i y) { return _mm_cmpgt_epi8(x, y); }
PAETH_INLINE __m128i Equal(__m128i x, __m128i y) { return _mm_cmpeq_epi8(x, y); }
PAETH_INLINE __m128i MaxUnsigned(__m128i x, __m128i y) { return _mm_max_epu8(x, y); }
PAETH_INLINE __m128i AddSaturated(__m128i x, __m128i y) { return _mm_adds_epu8(x, y); }
PAETH_INLINE __m128i SubSaturated(__m128i x, __m128i y) { return _mm_subs_epu8(x, y); }
PAETH_INLINE __m128i HalfDown(__m128i x) { return _mm_and_si128(_mm_srli_epi16(x, 1), _mm_set1_epi8(0x7F)); }
PAETH_INLINE __m128i Splat(std::uint8_t v, __m128i) { return _mm_set1_epi8(static_cast<char>(v)); }
// mask ? yes : no, per byte; `mask` bytes are 0 or 0xFF.
PAETH_INLINE __m128i Select(__m128i mask, __m128i yes, __m128i no)
{
#if defined(__SSE4_1__)
    return _mm_blendv_epi8(no, yes, mask);
#else
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
#endif
}
template <int n>
PAETH_INLINE __m128i BytesDown(__m128i x)
{
    if constexpr (n == 0)
        return x;
    else
        return _mm_srli_si128(x, n);
}
template <int n>
PAETH_INLINE __m128i BytesUp(__m128i x)
{
    if constexpr (n == 0)
        return x;
    else
        return _mm_slli_si128(x, n);
}
#if defined(__SSSE3__)
// The top n bytes of `low` followed by the bottom 16 - n of `high`.
template <int n>
PAETH_INLINE __m128i Align(__m128i high, __m128i low)
{
    return _mm_alignr_epi8(high, low, 16 - n);
}
#endif

#if defined(__AVX2__)
PAETH_INLINE __m256i Add(__m256i x, __m256i y) { return _mm256_add_epi8(x, y); }
PAETH_INLINE __m256i Sub(__m256i x, __m256i y) { return _mm256_sub_epi8(x, y); }
PAETH_INLINE __m256i Xor(__m256i x, __m256i y) { return _mm256_xor_si256(x, y); }
PAETH_INLINE __m256i And(__m256i x, __m256i y) { return _mm256_and_si256(x, y); }
PAETH_INLINE __m256i GreaterSigned(__m256i x, __m256i y) { return _mm256_cmpgt_epi8(x, y); }
PAETH_INLINE __m256i Equal(__m256i x, __m256i y) { return _mm256_cmpeq_epi8(x, y); }
PAETH_INLINE __m256i MaxUnsigned(__m256i x, __m256i y) { return _mm256_max_epu8(x, y); }
PAETH_INLINE __m256i AddSaturated(__m256i x, __m256i y) { return _mm256_adds_epu8(x, y); }
PAETH_INLINE __m256i SubSaturated(__m256i x, __m256i y) { return _mm256_subs_epu8(x, y); }
PAETH_INLINE __m256i HalfDown(__m256i x) { return _mm256_and_si256(_mm256_srli_epi16(x, 1), _mm256_set1_epi8(0x7F)); }
PAETH_INLINE __m256i Splat(std::uint8_t v, __m256i) { return _mm256_set1_epi8(static_cast<char>(v)); }
PAETH_INLINE __m256i Select(__m256i mask, __m256i yes, __m256i no) { return _mm256_blendv_epi8(no, yes, mask); }
// Per 16-byte half, as the 16-byte forms.
template <int n>
PAETH_INLINE __m256i BytesDown(__m256i x)
{
    return _mm256_srli_si256(x, n);
}
template <int n>
PAETH_INLINE __m256i BytesUp(__m256i x)
{
    return _mm256_slli_si256(x, n);
}
template <int n>
PAETH_INLINE __m256i Align(__m256i high, __m256i low)
{
    return _mm256_alignr_epi8(high, low, 16 - n);
}
#endif

// ---- the per-pixel decision -----------------------------------------------------

// Per byte: a is not the prediction when a - notALow (mod 256) is below
// notAWidth; it is c when a - cLow is below cWidth (a range inside the
// first). The lows carry a bias of 0x80 and the widths too, so one signed
// compare tests an unsigned range. fb and fc are the filtered bytes plus b
// and c: the results when b or c is chosen.
template <class V>
struct Bounds {
    V notALow, notAWidth, cLow, cWidth, fb, fc, filtered;
};

template <class V>
PAETH_INLINE Bounds<V> Prepare(V filtered, V b, V c)
{
    const V bias = Splat(0x80, b);
    const V mirror = Xor(Equal(MaxUnsigned(b, c), b), Splat(0xFF, b)); // b < c
    const V bm = Xor(b, mirror), cm = Xor(c, mirror); // now bm >= cm
    const V d = Sub(bm, cm);
    // c - 2d + 1 and c - floor(d / 2), clamped at 0; when d = 0 the first
    // is above b and both ranges are empty.
    const V cFrom = SubSaturated(SubSaturated(AddSaturated(cm, Splat(1, b)), d), d);
    const V bFrom = SubSaturated(cm, HalfDown(d));
    // Mirrored, [lo, hi) becomes [256 - hi, 256 - lo): the same width.
    const V zero = Sub(b, b);
    Bounds<V> p;
    p.notALow = Xor(Select(mirror, Sub(zero, bm), cFrom), bias);
    p.notAWidth = Xor(SubSaturated(bm, cFrom), bias);
    p.cLow = Xor(Select(mirror, Sub(zero, bFrom), cFrom), bias);
    p.cWidth = Xor(SubSaturated(bFrom, cFrom), bias);
    p.fb = Add(filtered, b);
    p.fc = Add(filtered, c);
    p.filtered = filtered;
    return p;
}

// The pixel bytes where `a` holds the left neighbours, in the same lanes as `p`.
template <class V>
PAETH_INLINE V Step(const Bounds<V>& p, V a)
{
    const V notA = GreaterSigned(p.notAWidth, Sub(a, p.notALow));
    const V isC = GreaterSigned(p.cWidth, Sub(a, p.cLow));
    return Select(notA, Select(isC, p.fc, p.fb), Add(p.filtered, a));
}

template <int bpp>
struct Blocks {
    static constexpr int kBytes = bpp == 4 ? 16 : 15; // whole pixels in a register
    static constexpr int kPixels = kBytes / bpp;
};

PAETH_INLINE __m128i Load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
PAETH_INLINE void Store(std::uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

#if defined(__SSSE3__)
// A block's pixel bytes (the register's byte 15 is meaningless for 3-byte
// pixels); `last` is the block before, its last pixel ending at byte kBytes.
template <int bpp, int k = 1, class V>
PAETH_INLINE V Pixels(const Bounds<V>& p, V x, V carry)
{
    if constexpr (k == Blocks<bpp>::kPixels)
        return x;
    else
        return Pixels<bpp, k + 1>(p, Step(p, Align<bpp>(x, carry)), carry);
}

template <int bpp, class V>
PAETH_INLINE V UnfilterBlock(const Bounds<V>& p, V last)
{
    constexpr int kBytes = Blocks<bpp>::kBytes;
    const V carry = BytesUp<16 - kBytes>(last); // the left pixel of the block in the top bytes
    return Pixels<bpp>(p, Step(p, BytesDown<kBytes - bpp>(last)), carry);
}

// What a row carries from block to block: the last block's pixel bytes.
using Carry = __m128i;

// Unfilters and stores the block at `out`; for 3-byte pixels the byte after
// it is stored as it was in `filtered`.
template <int bpp>
PAETH_INLINE void UnfilterAndStore(std::uint8_t* out, __m128i filtered, __m128i b, __m128i c, Carry& last)
{
    last = UnfilterBlock<bpp>(Prepare(filtered, b, c), last);
    __m128i x = last;
    if constexpr (bpp == 3) x = Select(_mm_set_epi8(-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), filtered, x);
    Store(out, x);
}
#else
// Without SSSE3: the left pixel stays in the low bytes, and the block's
// precomputed bytes are shifted down to each pixel in turn.
template <int n, class V>
PAETH_INLINE Bounds<V> Down(const Bounds<V>& p)
{
    return {BytesDown<n>(p.notALow), BytesDown<n>(p.notAWidth), BytesDown<n>(p.cLow), BytesDown<n>(p.cWidth),
        BytesDown<n>(p.fb), BytesDown<n>(p.fc), BytesDown<n>(p.filtered)};
}

// The last pixel's bytes in the low bytes.
using Carry = __m128i;

template <int bpp, int k = 0, class V>
PAETH_INLINE void StorePixels(std::uint8_t* out, const Bounds<V>& p, V& a)
{
    if constexpr (k < Blocks<bpp>::kPixels) {
        a = Step(Down<k * bpp>(p), a);
        const auto bytes = static_cast<std::uint32_t>(_mm_cvtsi128_si32(a));
        // Four bytes at once but for the last 3-byte pixel, whose fourth is the next block's.
        std::memcpy(out + k * bpp, &bytes, k + 1 < Blocks<bpp>::kPixels ? 4 : bpp);
        StorePixels<bpp, k + 1>(out, p, a);
    }
}

template <int bpp>
PAETH_INLINE void UnfilterAndStore(std::uint8_t* out, __m128i filtered, __m128i b, __m128i c, Carry& last)
{
    StorePixels<bpp>(out, Prepare(filtered, b, c), last);
}
#endif

// Unfilters bytes [from, n) of `row`, every byte before `from` done and
// `last` carried from the block that ended there (zero at the row's start).
template <int bpp>
void UnfilterFrom(std::uint8_t* row, const std::uint8_t* prior, std::size_t n, std::size_t from, Carry last)
{
    constexpr std::size_t kBytes = Blocks<bpp>::kBytes;
    std::size_t i = from;
    if (i + 16 <= n) {
        __m128i filtered = Load(row + i);
        for (;;) {
            const __m128i b = Load(prior + i);
            const __m128i c = i == 0 ? BytesUp<bpp>(b) : Load(prior + i - bpp);
            // The next block's bytes are read before this one is stored: with
            // 3-byte pixels they share a byte, and a load that overlaps a
            // pending store waits for it.
            const bool more = i + kBytes + 16 <= n;
            const __m128i next = more ? Load(row + i + kBytes) : filtered;
            UnfilterAndStore<bpp>(row + i, filtered, b, c, last);
            i += kBytes;
            if (!more) break;
            filtered = next;
        }
    }
    if (i < n) {
        alignas(16) std::uint8_t rest[16] = {}, above[16 + bpp] = {};
        const std::size_t count = n - i;
        std::memcpy(rest, row + i, count);
        if (i > 0)
            std::memcpy(above, prior + i - bpp, count + bpp);
        else
            std::memcpy(above + bpp, prior, count); // no upper left for the first pixel
        UnfilterAndStore<bpp>(rest, Load(rest), Load(above + bpp), Load(above), last);
        std::memcpy(row + i, rest, count);
    }
}

template <int bpp>
void UnfilterRowOf(std::uint8_t* row, const std::uint8_t* prior, std::size_t n)
{
    UnfilterFrom<bpp>(row, prior, n, 0, _mm_setzero_si128());
}

// The row kernel for `bytesPerPixel` 3 or 4.
inline void UnfilterPaethRowHere(std::uint8_t* row, const std::uint8_t* prior, std::size_t n, int bytesPerPixel)
{
    bytesPerPixel == 3 ? UnfilterRowOf<3>(row, prior, n) : UnfilterRowOf<4>(row, prior, n);
}

#undef PAETH_INLINE

} // namespace
} // namespace imaging::png
