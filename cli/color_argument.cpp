#include "color_argument.h"

#include "color_names.h"

#include <charconv>
#include <string>
#include <vector>

namespace cli {
namespace {

std::vector<std::string_view> SplitAtCommas(std::string_view text)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) return parts;
        start = comma + 1;
    }
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Exactly two hex digits (from_chars would also take a sign: "-1").
std::optional<int> ParseHexByte(std::string_view two)
{
    if (two.size() != 2) return std::nullopt;
    const int high = HexDigit(two[0]), low = HexDigit(two[1]);
    if (high < 0 || low < 0) return std::nullopt;
    return high << 4 | low;
}

} // namespace

std::optional<int> ParseBoundedInt(std::string_view text, int low, int high)
{
    if (text.empty() || text.front() == '+') return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    if (value < low || value > high) return std::nullopt;
    return value;
}

std::optional<ColorArgument> ParseColorArgument(std::string_view text)
{
    // A name, or three channels (R, G, B) or four (A, R, G, B): as hex digits
    // after '#', one each (doubled) or two each, or as decimals between commas.
    if (const auto named = FindColorName(text)) {
        ColorArgument color{std::nullopt, static_cast<int>(named->argb >> 16 & 0xFF),
            static_cast<int>(named->argb >> 8 & 0xFF), static_cast<int>(named->argb & 0xFF)};
        // Only "transparent" says an alpha; the other names are like R,G,B.
        if (named->argb >> 24 != 0xFF) color.alpha = static_cast<int>(named->argb >> 24);
        return color;
    }
    std::vector<int> channels;
    if (!text.empty() && text.front() == '#') {
        const std::string_view hex = text.substr(1);
        const std::size_t digits = hex.size() == 3 || hex.size() == 4 ? 1 : hex.size() == 6 || hex.size() == 8 ? 2 : 0;
        if (digits == 0) return std::nullopt;
        for (std::size_t i = 0; i < hex.size(); i += digits) {
            const std::string_view part = hex.substr(i, digits);
            const auto byte = ParseHexByte(digits == 1 ? std::string{part[0], part[0]} : std::string(part));
            if (!byte) return std::nullopt;
            channels.push_back(*byte);
        }
    } else {
        const auto parts = SplitAtCommas(text);
        if (parts.size() != 3 && parts.size() != 4) return std::nullopt;
        for (const auto part : parts) {
            const auto channel = ParseBoundedInt(part, 0, 255);
            if (!channel) return std::nullopt;
            channels.push_back(*channel);
        }
    }
    ColorArgument color;
    if (channels.size() == 4) color.alpha = channels[0];
    const std::size_t first = channels.size() - 3;
    color.red = channels[first];
    color.green = channels[first + 1];
    color.blue = channels[first + 2];
    return color;
}

std::optional<PixelPosition> ParsePixelPosition(std::string_view text)
{
    const auto parts = SplitAtCommas(text);
    if (parts.size() != 2) return std::nullopt;
    const auto x = ParseBoundedInt(parts[0], 0, 0x7FFFFFFF);
    const auto y = ParseBoundedInt(parts[1], 0, 0x7FFFFFFF);
    if (!x || !y) return std::nullopt;
    return PixelPosition{*x, *y};
}

} // namespace cli
