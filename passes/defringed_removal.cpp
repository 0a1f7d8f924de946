#include "defringed_removal.h"

#include "bit_dilation.h"
#include "sparing_pass.h"

#include <algorithm>

namespace passes {

DefringedRemoval::DefringedRemoval(
    std::int32_t width, std::int32_t height, const PassParameters& p, std::int32_t radius, const BitMask* spared)
    : width_(std::max(0, width)), height_(std::max(0, height)), radius_(kDefringeRadius.clamp(radius)), pass_(p),
      outside_(OutsideKernel<SimpleRemovalKernel>(p)), spared_(spared), unblend_(p.key),
      removed_(width_, 2 * radius_ + 1), spare_(removed_.wordsPerRow())
{
    near_.reserve(static_cast<std::size_t>(2 * radius_ + 1));
    for (Fringe& fringe : fringes_) {
        fringe.bits.resize(removed_.wordsPerRow());
        fringe.words.resize(removed_.wordsPerRow());
    }
    remembered_.assign(std::size_t{1} << kRememberedBits, {0, unblend_(0)});
}

std::size_t DefringedRemoval::extraBytes() const noexcept
{
    const std::size_t wordRows = 1 + 2 * 2; // the spare row, and each fringe's bits and words
    return removed_.bytes() + wordRows * removed_.wordsPerRow() * sizeof(std::uint32_t)
        + near_.capacity() * sizeof(near_[0]) + remembered_.size() * sizeof(Remembered) + sizeof(KeyUnblend);
}

std::int32_t DefringedRemoval::run(const ConstPixelView& source, const PixelView& work)
{
    const std::int32_t top = finished_;
    const std::int32_t end = std::min(height_, top + std::min(source.height, work.height));
    if (width_ == 0) { // rows without pixels
        passed_ = found_ = finished_ = end;
        return end - top;
    }
    const auto finishOne = [&] {
        unblendFringe(work.row(finished_ - top));
        ++finished_;
    };
    // A row's fringe is found as soon as its removed rows are noted, while
    // the rows below it are still on their way; it is un-blended once the
    // next row is painted (or the image is done).
    for (; passed_ < end; ++passed_) {
        passRow(passed_, source.row(passed_ - top), work.row(passed_ - top));
        if (passed_ - radius_ < found_) continue;
        findFringe(found_, work.row(found_ - top));
        ++found_;
        if (found_ - finished_ > 1) finishOne();
    }
    if (end == height_) {
        for (; found_ < end; ++found_) {
            findFringe(found_, work.row(found_ - top));
            if (found_ - finished_ > 0) finishOne();
        }
        while (finished_ < end) finishOne();
    }
    return finished_ - top;
}

void DefringedRemoval::passRow(std::int32_t y, const std::uint32_t* src, std::uint32_t* dst)
{
    std::uint32_t* removed = removed_.row(slot(y));
    if (!spared_) return pass_.paintNotingRemoved(src, dst, static_cast<std::size_t>(width_), removed, 0);
    ForEachSparingRun(
        pass_, outside_, *spared_, y, 0, width_, [&](SimpleRemovalKernel& kernel, std::int32_t x, std::int32_t end) {
            kernel.paintNotingRemoved(
                src + x, dst + x, static_cast<std::size_t>(end - x), removed, static_cast<std::size_t>(x));
        });
}

void DefringedRemoval::findFringe(std::int32_t y, const std::uint32_t* row)
{
    Fringe& fringe = fringes_[y % 2];
    fringe.listed = 0;
    near_.clear();
    for (std::int32_t r = std::max(0, y - radius_); r <= std::min(height_ - 1, y + radius_); ++r)
        near_.push_back(removed_.row(slot(r)));
    std::uint32_t* bits = fringe.bits.data();
    if (!OrRows(near_, bits, removed_.wordsPerRow())) return;
    SpreadRow(bits, spare_.data(), width_, radius_);

    // Near a removed pixel, and not removed itself; the words holding any listed.
    const std::size_t wordsPerRow = removed_.wordsPerRow();
    ClearWhere(removed_.row(slot(y)), bits, wordsPerRow);
    fringe.listed = ListSetWords(bits, wordsPerRow, fringe.words.data());
    // The pass wrote the row past the cache: its fringe is asked for now.
    for (std::size_t i = 0; i < fringe.listed; ++i) {
        const std::uint32_t w = fringe.words[i];
        if (bits[w] & 0xFFFFu) __builtin_prefetch(row + 32 * w, 1);
        if (bits[w] >> 16) __builtin_prefetch(row + 32 * w + 16, 1);
    }
}

void DefringedRemoval::unblendFringe(std::uint32_t* row)
{
    const Fringe& fringe = fringes_[finished_ % 2];
    for (std::size_t i = 0; i < fringe.listed; ++i) {
        std::uint32_t* pixels = row + 32 * fringe.words[i];
        for (std::uint32_t bits = fringe.bits[fringe.words[i]]; bits != 0; bits &= bits - 1)
            pixels[__builtin_ctz(bits)] = unblended(pixels[__builtin_ctz(bits)]);
    }
}

std::uint32_t DefringedRemoval::unblended(std::uint32_t pixel)
{
    // The edges of flat artwork repeat a few blends over and over.
    Remembered& remembered = remembered_[(pixel * 0x9E3779B1u) >> (32 - kRememberedBits)];
    if (remembered.pixel != pixel) remembered = {pixel, unblend_(pixel)};
    return remembered.result;
}

void RunDefringedRemoval(const ConstPixelView& source, const PixelView& work, const PassParameters& p,
    std::int32_t radius, const BitMask* spared)
{
    DefringedRemoval removal(
        std::min(source.width, work.width), std::min(source.height, work.height), p, radius, spared);
    removal.run(source, work);
}

} // namespace passes
