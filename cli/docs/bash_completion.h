#pragma once
// The bash completion script: options, pass names, colour names, and files
// or folders where an option's value is one.

#include <string>

namespace cli::docs {

std::string BashCompletion();

} // namespace cli::docs
