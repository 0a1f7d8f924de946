#pragma once
// Lists of input names (--files-from, --files0-from): one name a line, or
// each ending with a NUL byte, read byte for byte.

#include <string>
#include <variant>
#include <vector>

namespace cli {

// The names in the list at `path` ("-": standard input), split at
// `separator`, empty names left out; or why the list cannot be read.
std::variant<std::vector<std::string>, std::string> ReadNameList(const std::string& path, char separator);

} // namespace cli
