#include "options.h"

#include "passes/pass_command.h"

#include <map>

namespace cli {

const char* const kUsage =
    "usage: chromobrisk-cli simple|alpha|replace [--key COLOR | --key-at X,Y] [--tolerance T]\n"
    "                       [--to COLOR] [--connected [--seed X,Y]...] [--trim]\n"
    "                       [-o DIR] [-j N] FILE...\n"
    "       chromobrisk-cli --help | --version\n";

namespace {

const std::string kToleranceRange =
    std::to_string(passes::kTolerance.minimum) + ".." + std::to_string(passes::kTolerance.maximum);

} // namespace

const std::string kHelp =
    "Removes or recolors the background of images and writes each result as\n"
    "<file name>.png into the output folder.\n"
    "\n"
    "Passes:\n"
    "  simple    pixels near the key color become fully transparent\n"
    "  alpha     pixels near the key color get a restored alpha and are\n"
    "            un-blended from it; all others become opaque\n"
    "  replace   pixels near the key color (alpha included) are shifted onto the\n"
    "            replacement color, keeping their shading\n"
    "\n"
    "Options:\n"
    "  --key COLOR       the key (background) color\n"
    "  --key-at X,Y      take the key from that pixel of each image (default 0,0)\n"
    "  --tolerance T     channel tolerance " + kToleranceRange
    + " (default " + std::to_string(passes::kTolerance.initial) + "); a channel matches\n"
    "                    when it differs from the key by less than T\n"
    "  --to COLOR        replacement color for 'replace' (default black); its\n"
    "                    alpha defaults to the key's alpha\n"
    "  --connected       change only the key-matching pixels connected to the image\n"
    "                    border through key-matching pixels (left, right, up,\n"
    "                    down; not diagonally); the others are left as the pass\n"
    "                    leaves a pixel that does not match (alpha: made opaque)\n"
    "  --seed X,Y        with --connected: connect from this pixel instead of the\n"
    "                    border; repeatable. A seed outside an image or not\n"
    "                    matching the key is a usage error for that file\n"
    "  --trim            crop each result to the smallest rectangle holding every\n"
    "                    pixel that is not fully transparent (nothing left: the\n"
    "                    top-left pixel is kept, with a note on stderr)\n"
    "  -o DIR            output folder (default: the current folder)\n"
    "  -j N              files processed in parallel (default: one per core)\n"
    "  --help, --version\n"
    "\n"
    "COLOR is A,R,G,B or R,G,B (decimal), or #RRGGBB or #AARRGGBB. Without an\n"
    "alpha, a key is opaque (255).\n"
    "\n"
    "Examples:\n"
    "  chromobrisk-cli simple --connected --trim -o out logo.png\n"
    "                    a logo on white: the background goes, the white inside\n"
    "                    the lettering stays, the margin is cropped\n"
    "  chromobrisk-cli simple --key 0,255,0 --tolerance 70 --connected frame.png\n"
    "                    a green-screen frame: green spill inside the subject stays\n"
    "\n"
    "Exit status: 0 all files written, 1 some file failed (the others are still\n"
    "written), 2 usage error (no file is read; for a seed that does not fit an\n"
    "image, that file is named and the others are still written).\n";

namespace {

ParsedArguments UsageError(std::string message)
{
    ParsedArguments parsed;
    parsed.action = ParsedArguments::Action::UsageError;
    parsed.error = std::move(message);
    return parsed;
}

const std::map<std::string, int> kCommands = {
    {"simple", passes::kSimpleRemoval},
    {"alpha", passes::kAlphaRestoringRemoval},
    {"replace", passes::kColorReplacement},
};

} // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& args)
{
    ParsedArguments parsed;
    Options& options = parsed.options;
    bool onlyFiles = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (onlyFiles || arg == "-" || arg.empty() || arg[0] != '-') {
            if (options.command == 0) {
                const auto command = kCommands.find(arg);
                if (command == kCommands.end())
                    return UsageError("unknown pass '" + arg + "' (expected simple, alpha or replace)");
                options.command = command->second;
            } else {
                options.files.push_back(arg);
            }
            continue;
        }
        if (arg == "--") {
            onlyFiles = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            parsed.action = ParsedArguments::Action::Help;
            return parsed;
        }
        if (arg == "--version") {
            parsed.action = ParsedArguments::Action::Version;
            return parsed;
        }
        if (arg == "--connected" || arg == "--trim") {
            (arg == "--trim" ? options.trim : options.connected) = true;
            continue;
        }

        // The option's value: "--name=value", "-oDIR", or the next argument.
        std::string name = arg, value;
        bool hasValue = false;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        } else if (arg.size() > 2 && arg[1] != '-' && (arg[1] == 'o' || arg[1] == 'j')) {
            name = arg.substr(0, 2);
            value = arg.substr(2);
            hasValue = true;
        }
        static const char* const kWithValue[] = {"--key", "--key-at", "--seed", "--tolerance", "--to", "-o", "-j"};
        bool known = false;
        for (const char* option : kWithValue) known = known || name == option;
        if (!known) return UsageError("unknown option '" + arg + "'");
        if (!hasValue) {
            if (i + 1 >= args.size()) return UsageError("option " + name + " needs a value");
            value = args[++i];
        }

        if (name == "--key") {
            options.key = ParseColorArgument(value);
            if (!options.key) return UsageError("invalid color '" + value + "' for --key");
        } else if (name == "--key-at") {
            options.keyAt = ParsePixelPosition(value);
            if (!options.keyAt) return UsageError("invalid position '" + value + "' for --key-at (expected X,Y)");
        } else if (name == "--seed") {
            const auto seed = ParsePixelPosition(value);
            if (!seed) return UsageError("invalid position '" + value + "' for --seed (expected X,Y)");
            options.seeds.push_back(*seed);
        } else if (name == "--tolerance") {
            const auto tolerance = ParseBoundedInt(value, passes::kTolerance.minimum, passes::kTolerance.maximum);
            if (!tolerance) return UsageError("invalid tolerance '" + value + "' (expected " + kToleranceRange + ")");
            options.tolerance = *tolerance;
        } else if (name == "--to") {
            options.replacement = ParseColorArgument(value);
            if (!options.replacement) return UsageError("invalid color '" + value + "' for --to");
        } else if (name == "-o") {
            if (value.empty()) return UsageError("option -o needs a folder");
            options.outputFolder = value;
        } else if (name == "-j") {
            const auto jobs = ParseBoundedInt(value, 1, 1024);
            if (!jobs) return UsageError("invalid job count '" + value + "' (expected 1..1024)");
            options.jobs = *jobs;
        }
    }

    if (options.command == 0) return UsageError("no pass given");
    if (options.files.empty()) return UsageError("no input files given");
    if (options.key && options.keyAt) return UsageError("--key and --key-at cannot be used together");
    if (options.replacement && options.command != passes::kColorReplacement)
        return UsageError("--to is only used by the replace pass");
    if (!options.seeds.empty() && !options.connected) return UsageError("--seed is only used with --connected");
    parsed.action = ParsedArguments::Action::Run;
    return parsed;
}

} // namespace cli
