#pragma once
// Colors on the command line: "A,R,G,B", "R,G,B", "#RRGGBB" or "#AARRGGBB".

#include <optional>
#include <string_view>

namespace cli {

struct ColorArgument {
    std::optional<int> alpha; // absent for the three-channel forms
    int red = 0, green = 0, blue = 0;
};

std::optional<ColorArgument> ParseColorArgument(std::string_view text);

// "X,Y" with non-negative integers.
struct PixelPosition {
    int x = 0, y = 0;
};
std::optional<PixelPosition> ParsePixelPosition(std::string_view text);

// A decimal integer within [low, high], nothing else.
std::optional<int> ParseBoundedInt(std::string_view text, int low, int high);

} // namespace cli
