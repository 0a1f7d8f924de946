#pragma once
// Colors on the command line: "A,R,G,B", "R,G,B", "#RGB", "#ARGB", "#RRGGBB",
// "#AARRGGBB" or a CSS/SVG colour name, in any letter case.

#include <optional>
#include <string_view>

namespace cli {

struct ColorArgument {
    std::optional<int> alpha; // absent for the three-channel forms
    int red = 0, green = 0, blue = 0;
};

std::optional<ColorArgument> ParseColorArgument(std::string_view text);

// The forms ParseColorArgument takes, for messages and help.
inline constexpr const char* kColorForms =
    "A,R,G,B, R,G,B, #RGB, #ARGB, #RRGGBB, #AARRGGBB or a color name such as white";

// "X,Y" with non-negative integers.
struct PixelPosition {
    int x = 0, y = 0;
};
std::optional<PixelPosition> ParsePixelPosition(std::string_view text);

// A decimal integer within [low, high], nothing else.
std::optional<int> ParseBoundedInt(std::string_view text, int low, int high);

} // namespace cli
