#pragma once
// Amounts of memory on the command line: a whole number of bytes, or of K,
// M, G or T (each 1024 of the one before, in any letter case, "iB" or "B"
// after it allowed): 512M, 4G, 1.5 is not one.

#include <cstdint>
#include <optional>
#include <string_view>

namespace cli {

// Above 0 and below 2^64, or nothing.
std::optional<std::uint64_t> ParseByteSize(std::string_view text);

} // namespace cli
