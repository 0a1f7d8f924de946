#pragma once
// Text for roff (man pages): backslashes and hyphens escaped, and a line that
// would start with a control character made plain.

#include <string>
#include <string_view>

namespace cli::docs {

std::string RoffEscaped(std::string_view text);

} // namespace cli::docs
