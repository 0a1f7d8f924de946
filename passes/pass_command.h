#pragma once
// The three passes by command number, as the window's buttons post them and
// the batch tool names them, with the replacement deltas fixed at the start.

#include "color_model.h"
#include "pass_driver.h"

#include <cstdint>

namespace passes {

enum PassCommand : std::int16_t {
    kNoCommand = 0,
    kSimpleRemoval = 1,
    kAlphaRestoringRemoval = 2,
    kColorReplacement = 3,
};

struct ArgbChannels {
    Channel A = 0, R = 0, G = 0, B = 0;
    friend bool operator==(const ArgbChannels&, const ArgbChannels&) = default;
};

// `key` and `tolerance` are read by reference after every yield. The
// replacement color (alpha = target alpha) is used only by color replacement,
// which takes its deltas from it once, before the first pixel. An unknown
// command runs no pass and reports Completed.
PassOutcome RunPassCommand(std::int32_t command, const PassImages& images, std::int32_t width,
                           std::int32_t height, const ArgbChannels& key,
                           const std::int32_t& tolerance, const ArgbChannels& replacement);

} // namespace passes
