#pragma once
// The man page: a hand-written template whose @PASSES@ and @OPTIONS@ are
// filled from the pass and option tables, and @VERSION@ with the version.

#include <string>

namespace cli::docs {

std::string ManPage(const std::string& templateText, const std::string& version);

} // namespace cli::docs
