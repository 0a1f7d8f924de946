#include "bit_dilation.h"

#include <algorithm>
#include <cstring>
#include <utility>

// The loops below are plain enough for the compiler to vectorize; each is
// compiled for AVX2 too, picked at load time where the processor has it.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__ELF__)
#define CHROMOBRISK_WIDE_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define CHROMOBRISK_WIDE_LOOP
#endif

namespace passes {
namespace {

// out = in | in shifted by `step` pixels either way; step 1..31.
CHROMOBRISK_WIDE_LOOP void ShiftedBothWays(
    const std::uint32_t* __restrict in, std::uint32_t* __restrict out, std::size_t words, unsigned step) noexcept
{
    // Pixel x is bit x: rightward is up, with the bits of the word before
    // coming in; leftward is down, with those of the word after.
    if (words == 1) {
        out[0] = in[0] | in[0] << step | in[0] >> step;
        return;
    }
    const std::size_t last = words - 1;
    out[0] = in[0] | in[0] << step | in[0] >> step | in[1] << (32 - step);
    for (std::size_t w = 1; w < last; ++w)
        out[w] = in[w] | in[w] << step | in[w - 1] >> (32 - step) | in[w] >> step | in[w + 1] << (32 - step);
    out[last] = in[last] | in[last] << step | in[last - 1] >> (32 - step) | in[last] >> step;
}

// Eight words at a time, as one vector where the processor has them.
typedef std::uint32_t Words8 __attribute__((vector_size(32)));

// Vectors by reference only: a 32-byte vector passed or returned by value
// changes the calling convention between the AVX2 clone and the default one
// (clang refuses to build such a call).
void OrLoad8(Words8& v, const std::uint32_t* from) noexcept
{
    Words8 loaded;
    std::memcpy(&loaded, from, sizeof loaded);
    v |= loaded;
}

bool Any8(const Words8& v) noexcept
{
    std::uint32_t any = 0;
    for (int i = 0; i < 8; ++i) any |= v[i];
    return any != 0;
}

bool AnyOf8Words(const std::uint32_t* from) noexcept
{
    Words8 v{};
    OrLoad8(v, from);
    return Any8(v);
}

} // namespace

CHROMOBRISK_WIDE_LOOP bool OrRows(
    std::span<const std::uint32_t* const> rows, std::uint32_t* __restrict out, std::size_t words) noexcept
{
    std::size_t w = 0;
    Words8 any8{};
    for (; w + 8 <= words; w += 8) {
        Words8 v{};
        for (const std::uint32_t* row : rows) OrLoad8(v, row + w);
        std::memcpy(out + w, &v, sizeof v);
        any8 |= v;
    }
    std::uint32_t any = 0;
    for (; w < words; ++w) {
        std::uint32_t v = 0;
        for (const std::uint32_t* row : rows) v |= row[w];
        out[w] = v;
        any |= v;
    }
    return any != 0 || Any8(any8);
}

CHROMOBRISK_WIDE_LOOP void ClearWhere(
    const std::uint32_t* __restrict clear, std::uint32_t* __restrict bits, std::size_t words) noexcept
{
    for (std::size_t w = 0; w < words; ++w) bits[w] &= ~clear[w];
}

CHROMOBRISK_WIDE_LOOP std::size_t ListSetWords(
    const std::uint32_t* bits, std::size_t words, std::uint32_t* list) noexcept
{
    std::size_t listed = 0, w = 0;
    for (; w < words; ++w) {
        if (w % 8 == 0 && w + 8 <= words && !AnyOf8Words(bits + w)) {
            w += 7;
            continue;
        }
        list[listed] = static_cast<std::uint32_t>(w);
        listed += bits[w] != 0;
    }
    return listed;
}

void SpreadRow(std::uint32_t* bits, std::uint32_t* spare, std::int32_t width, std::int32_t radius) noexcept
{
    if (width <= 0) return;
    const auto words = (static_cast<std::size_t>(width) + 31) / 32;
    // Spread by `reach` so far, a step s both ways leaves no gap while
    // s <= 2 x reach + 1, and spreads by reach + s: 1, 4, 13, ... pixels in
    // as many whole passes over the row, between `bits` and `spare`.
    std::uint32_t* from = bits;
    std::uint32_t* to = spare;
    for (std::int32_t reach = 0; reach < radius;) {
        const std::int32_t step = std::min(2 * reach + 1, radius - reach);
        ShiftedBothWays(from, to, words, static_cast<unsigned>(step));
        std::swap(from, to);
        reach += step;
    }
    if (from != bits) std::copy(from, from + words, bits);
    if (const std::int32_t used = width % 32; used != 0) bits[words - 1] &= (1u << used) - 1u;
}

} // namespace passes
