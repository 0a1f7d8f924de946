#pragma once
// Command-line syntax of the batch tool.

#include "color_argument.h"

#include "passes/pass_parameters.h"

#include <optional>
#include <string>
#include <vector>

namespace cli {

struct Options {
    int command = 0; // passes::PassCommand
    std::optional<ColorArgument> key;
    std::optional<PixelPosition> keyAt;
    int tolerance = passes::kTolerance.initial;
    std::optional<ColorArgument> replacement;
    std::string outputFolder = ".";
    int jobs = 0; // 0: one per core
    bool connected = false;           // only the key-matching pixels connected to the border or the seeds
    std::vector<PixelPosition> seeds; // with `connected`; none: the border
    bool trim = false;                // crop to the pixels that are not fully transparent
    std::vector<std::string> files;
};

struct ParsedArguments {
    enum class Action { Run, Help, Version, UsageError } action = Action::UsageError;
    Options options;
    std::string error; // for UsageError
};

// `args` without the program name.
ParsedArguments ParseArguments(const std::vector<std::string>& args);

extern const char* const kUsage; // short, shown with usage errors
extern const std::string kHelp; // full, for --help

} // namespace cli
