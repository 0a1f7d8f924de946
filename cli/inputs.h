#pragma once
// The files a command line names: those given, those of the lists, and with
// -r the image files below the folders among them.

#include "folder_walk.h"
#include "options.h"

#include <string>
#include <vector>

namespace cli {

struct GatheredInputs {
    std::vector<InputFile> files;
    std::string usageError; // a list that cannot be read; empty when none
};

GatheredInputs GatherInputs(const Options& options);

} // namespace cli
