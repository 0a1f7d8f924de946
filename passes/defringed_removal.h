#pragma once
// Simple removal with clean edges: the pass, then every pixel it keeps
// (alpha above 0) that lies within `radius` pixels of one it removes (alpha
// 0), counting the larger of the horizontal and vertical distances, is
// un-blended from the key (KeyUnblend). A pixel the pass keeps is painted
// as its source pixel, so it is un-blended from the pass's result.
//
// Rows go top to bottom, in one piece or in bands. The pass notes what it
// removes as it paints a row; a row's fringe is known once the `radius` rows
// below it are painted, and un-blended a row later still (its pixels are
// asked of memory in between), so a band's last rows wait for the next band.
// Beyond the images: 2 x radius + 6 rows of one bit per pixel, and 22 KB of
// tables.

#include "bit_mask.h"
#include "key_unblend.h"
#include "pass_command.h"
#include "pixel_view.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace passes {

// The distance in pixels, as the batch tool takes it.
inline constexpr ParameterRange kDefringeRadius{1, 16, 2};

class DefringedRemoval {
public:
    // For an image width x height; radius 1..16. `spared`, when given, holds
    // the pixels to paint as the pass paints a pixel outside its tolerance
    // (the connected variant's), for the whole image; it must outlive this.
    DefringedRemoval(std::int32_t width, std::int32_t height, const PassParameters& p, std::int32_t radius,
        const BitMask* spared = nullptr);

    // The next rows of the image, from the first one not finished yet: rows
    // of the source, and the same rows of the result (the same memory, or
    // not). Rows given for the first time are painted by the pass; then
    // those whose `radius` rows below are among them (all of them once the
    // last row of the image is) are finished, top first. Returns how many
    // rows are finished. The others, as they are in `work`, must come again
    // at the top of the next call (their source rows are not read again).
    std::int32_t run(const ConstPixelView& source, const PixelView& work);

    std::int32_t rowsFinished() const noexcept { return finished_; }
    // The most rows a call leaves unfinished at the bottom of what it is given.
    static constexpr std::int32_t RowsHeldBack(std::int32_t radius) noexcept
    {
        return kDefringeRadius.clamp(radius) + 1;
    }
    // Memory held beyond the images.
    std::size_t extraBytes() const noexcept;

private:
    // The fringe of one row, and the words of it that hold any.
    struct Fringe {
        std::vector<std::uint32_t> bits, words;
        std::size_t listed = 0;
    };
    struct Remembered {
        std::uint32_t pixel, result;
    };
    static constexpr int kRememberedBits = 11;

    std::int32_t slot(std::int32_t y) const noexcept { return y % removed_.height(); }
    void passRow(std::int32_t y, const std::uint32_t* src, std::uint32_t* dst);
    void findFringe(std::int32_t y, const std::uint32_t* row);
    void unblendFringe(std::uint32_t* row);
    std::uint32_t unblended(std::uint32_t pixel);

    std::int32_t width_, height_, radius_;
    SimpleRemovalKernel pass_, outside_;
    const BitMask* spared_;
    KeyUnblend unblend_;
    BitMask removed_; // what the pass removed, row y in row y % (2 x radius + 1)
    std::vector<const std::uint32_t*> near_; // the removed rows around a row
    std::vector<std::uint32_t> spare_; // room to work out a fringe
    Fringe fringes_[2]; // of rows y, in fringes_[y % 2]
    std::vector<Remembered> remembered_; // recent results, by a hash of the pixel
    std::int32_t passed_ = 0, found_ = 0, finished_ = 0; // rows painted, with their fringe found, un-blended
};

// The whole image at once; work may be the source itself.
void RunDefringedRemoval(const ConstPixelView& source, const PixelView& work, const PassParameters& p,
    std::int32_t radius, const BitMask* spared = nullptr);

} // namespace passes
