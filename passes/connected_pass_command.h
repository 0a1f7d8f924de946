#pragma once
// The passes by command number, restricted to the key-matching pixels
// connected (4-neighbourhood, through key-matching pixels) to the image
// border or to seed pixels. "Key-matching" is the pass's own tolerance test.

#include "connected_fill.h"
#include "pass_parameters.h"
#include "pixel_view.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace passes {

struct ConnectedRun {
    enum class Outcome { Completed, SeedOutside, SeedNotMatching } outcome = Outcome::Completed;
    std::size_t seed = 0; // the seed that stopped the run
    std::size_t regionPixels = 0;
    // Memory beyond the images: the masks and the fill's spans.
    std::size_t extraBytes = 0;
};

// Runs pass `command` on the pixels of source connected to `seeds` (to the
// border when there are none) and paints work, which may be the source
// itself; the settings are read once. A seed outside the image or not
// matching the key stops the run before anything is painted. An unknown
// command paints nothing. `defringeRadius` above 0, for simple removal: the
// fringe of what it removes is un-blended from the key (DefringedRemoval).
ConnectedRun RunConnectedPassCommand(std::int32_t command, const ConstPixelView& source, const PixelView& work,
    const ArgbChannels& key, std::int32_t tolerance, const ArgbChannels& replacement,
    std::span<const PixelPoint> seeds = {}, std::int32_t defringeRadius = 0);

} // namespace passes
