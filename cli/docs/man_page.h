#pragma once
// The man page: a hand-written template whose @PASSES@ and @OPTIONS@ are
// filled from the pass and option tables, @VERSION@ with the version and
// @DATE@ with the day it was released.

#include <string>

namespace cli::docs {

std::string ManPage(const std::string& templateText, const std::string& version, const std::string& date);

} // namespace cli::docs
