#pragma once
// The usage line and the --help text, made from the option table.

#include <string>

namespace cli {

// Short, shown with usage errors.
std::string UsageText();
// Full, for --help.
std::string HelpText();

// `text` broken into lines of at most `width` characters, each after `indent`
// spaces (the first line's indent left to the caller).
std::string Wrapped(const std::string& text, std::size_t indent, std::size_t width);

} // namespace cli
