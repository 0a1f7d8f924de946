#pragma once
// Command-line syntax of the batch tool: what a command line asks for, read
// through the declared option table (option_table.h).

#include "color_argument.h"

#include "passes/pass_parameters.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// "-" as an input or an output folder: standard input or output.
inline constexpr const char* kStandardStream = "-";

struct Options {
    int command = 0; // passes::PassCommand
    std::optional<ColorArgument> key;
    std::optional<PixelPosition> keyAt;
    int tolerance = passes::kTolerance.initial;
    std::optional<ColorArgument> replacement;
    bool connected = false; // only the key-matching pixels connected to the border or the seeds
    std::vector<PixelPosition> seeds; // with `connected`; none: the border
    int defringe = 0; // simple: un-blend the key out of the pixels this near a removed one; 0: not
    bool trim = false; // crop to the pixels that are not fully transparent

    // Inputs: names on the command line, then those of the lists, as bytes.
    std::vector<std::string> files;
    bool recursive = false; // walk folders
    std::vector<std::string> lineLists; // --files-from: one name a line
    std::vector<std::string> nulLists; // --files0-from: each name ends with NUL

    std::string outputFolder = ".";
    bool overwrite = false; // replace results that exist
    bool skipExisting = false; // count results that exist as done
    int jobs = 0; // 0: one per core
    std::uint64_t memoryLimit = 0; // bytes the decodes in flight may take together; 0: half the physical memory

    bool quiet = false; // nothing on stdout, no progress
    bool verbose = false; // a line of details per file
    bool print0 = false; // result paths as raw bytes, each ending with NUL

    bool toStandardOutput() const { return outputFolder == kStandardStream; }
};

struct ParsedArguments {
    enum class Action { Run, Help, Version, UsageError } action = Action::UsageError;
    Options options;
    std::string error; // for UsageError
};

// `args` without the program name.
ParsedArguments ParseArguments(const std::vector<std::string>& args);

} // namespace cli
