#pragma once
// The CSS and SVG colour names ("white", "rebeccapurple", ...), and
// "transparent", for colours on the command line.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace cli {

struct NamedColor {
    std::string_view name; // lower case
    std::uint32_t argb; // opaque, except "transparent"
};

// Every name, sorted.
std::span<const NamedColor> ColorNames();

// The colour of a name in any letter case, or nothing.
std::optional<NamedColor> FindColorName(std::string_view name);

} // namespace cli
