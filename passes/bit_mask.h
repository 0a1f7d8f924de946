#pragma once
// One bit per pixel: the pixels that match a pass's key window, or those of a
// connected region. Rows of 32-bit words, pixel x in bit x % 32 of word
// x / 32; the bits past the last pixel of a row are always clear, so a run of
// set bits never runs past the row.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace passes {

class BitMask {
public:
    BitMask() = default;
    // All clear.
    BitMask(std::int32_t width, std::int32_t height)
        : width_(width > 0 && height > 0 ? width : 0), height_(width > 0 && height > 0 ? height : 0),
          wordsPerRow_((static_cast<std::size_t>(width_) + 31) / 32),
          words_(wordsPerRow_ * static_cast<std::size_t>(height_), 0)
    {
    }

    std::int32_t width() const noexcept { return width_; }
    std::int32_t height() const noexcept { return height_; }
    std::size_t wordsPerRow() const noexcept { return wordsPerRow_; }
    std::size_t bytes() const noexcept { return words_.size() * sizeof(std::uint32_t); }

    std::uint32_t* row(std::int32_t y) noexcept { return words_.data() + static_cast<std::size_t>(y) * wordsPerRow_; }
    const std::uint32_t* row(std::int32_t y) const noexcept
    {
        return words_.data() + static_cast<std::size_t>(y) * wordsPerRow_;
    }

    bool test(std::int32_t x, std::int32_t y) const noexcept { return (row(y)[x / 32] >> (x % 32)) & 1u; }

    // The first set bit of row y in [from, to), or `to`.
    std::int32_t nextSet(std::int32_t y, std::int32_t from, std::int32_t to) const noexcept
    {
        return Next(row(y), from, to, 0u);
    }
    // The first clear bit of row y at or after `from`, or the width.
    std::int32_t nextClear(std::int32_t y, std::int32_t from) const noexcept
    {
        return Next(row(y), from, static_cast<std::int32_t>(wordsPerRow_ * 32), ~0u);
    }
    // The first pixel of the run of set bits that ends at `at` (set) going left.
    std::int32_t runStart(std::int32_t y, std::int32_t at) const noexcept
    {
        const std::uint32_t* words = row(y);
        std::int32_t word = at / 32;
        // Clear bits at and below `at`, with everything above it counted as clear too.
        std::uint32_t clear = ~words[word] & (0xFFFFFFFFu >> (31 - at % 32));
        while (clear == 0) {
            if (word == 0) return 0;
            clear = ~words[--word];
        }
        return word * 32 + (31 - __builtin_clz(clear)) + 1;
    }

    void setRange(std::int32_t y, std::int32_t from, std::int32_t to) noexcept { Change(row(y), from, to, true); }
    void clearRange(std::int32_t y, std::int32_t from, std::int32_t to) noexcept { Change(row(y), from, to, false); }

private:
    // The first bit in [from, to) that differs from the bits of `flip`
    // (0: the first set bit, ~0: the first clear one), or `to`.
    static std::int32_t Next(
        const std::uint32_t* words, std::int32_t from, std::int32_t to, std::uint32_t flip) noexcept
    {
        if (from >= to) return to;
        std::int32_t word = from / 32;
        std::uint32_t bits = (words[word] ^ flip) & (0xFFFFFFFFu << (from % 32));
        const std::int32_t lastWord = (to - 1) / 32;
        while (bits == 0) {
            if (word == lastWord) return to;
            bits = words[++word] ^ flip;
        }
        const std::int32_t found = word * 32 + __builtin_ctz(bits);
        return found < to ? found : to;
    }

    static void Change(std::uint32_t* words, std::int32_t from, std::int32_t to, bool set) noexcept
    {
        for (std::int32_t x = from; x < to;) {
            const std::int32_t word = x / 32, end = word * 32 + 32 < to ? word * 32 + 32 : to;
            const std::uint32_t bits = (end - x == 32 ? 0xFFFFFFFFu : ((1u << (end - x)) - 1u)) << (x % 32);
            words[word] = set ? words[word] | bits : words[word] & ~bits;
            x = end;
        }
    }

    std::int32_t width_ = 0, height_ = 0;
    std::size_t wordsPerRow_ = 0;
    std::vector<std::uint32_t> words_;
};

} // namespace passes
