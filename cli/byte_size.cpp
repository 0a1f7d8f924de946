#include "byte_size.h"

#include <cctype>
#include <charconv>
#include <string>

namespace cli {

std::optional<std::uint64_t> ParseByteSize(std::string_view text)
{
    std::uint64_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc{} || end == text.data() || number == 0) return std::nullopt;
    std::string unit(end, text.data() + text.size());
    for (char& c : unit) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    int shift = 0;
    if (!unit.empty()) {
        const std::string_view prefixes = "KMGT";
        const auto at = prefixes.find(unit.front());
        if (at == std::string_view::npos || !(unit.size() == 1 || unit.substr(1) == "B" || unit.substr(1) == "IB"))
            return std::nullopt;
        shift = 10 * static_cast<int>(at + 1);
    }
    if (number > (~std::uint64_t{0} >> shift)) return std::nullopt;
    return number << shift;
}

} // namespace cli
