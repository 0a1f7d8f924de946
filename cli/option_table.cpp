#include "option_table.h"

#include "byte_size.h"
#include "color_argument.h"

#include "passes/defringed_removal.h"
#include "passes/pass_command.h"

// Entries name only the fields they use; GCC 12 warns about every other one,
// though each has its default.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace cli {
namespace {

using Action = ParsedArguments::Action;

std::string Quoted(const std::string& value) { return "'" + value + "'"; }

// ---- what an option does with its value ----------------------------------------

// A number within the entry's range; `noun` words the error.
ApplyValue Number(int Options::*field, std::string noun)
{
    return [field, noun](Options& options, const std::string& value,
               const DeclaredOption& declared) -> std::optional<std::string> {
        const auto number = ParseBoundedInt(value, declared.range->low, declared.range->high);
        if (!number) return "invalid " + noun + " " + Quoted(value) + " (expected " + declared.range->text() + ")";
        options.*field = *number;
        return std::nullopt;
    };
}

ApplyValue ByteSize(std::uint64_t Options::*field)
{
    return [field](Options& options, const std::string& value,
               const DeclaredOption& declared) -> std::optional<std::string> {
        const auto bytes = ParseByteSize(value);
        if (!bytes)
            return "invalid size " + Quoted(value) + " for " + std::string(declared.name())
                + " (expected a number of bytes, or of K, M, G or T such as 4G)";
        options.*field = *bytes;
        return std::nullopt;
    };
}

ApplyValue Color(std::optional<ColorArgument> Options::*field)
{
    return [field](Options& options, const std::string& value,
               const DeclaredOption& declared) -> std::optional<std::string> {
        options.*field = ParseColorArgument(value);
        if (!(options.*field))
            return "invalid color " + Quoted(value) + " for " + std::string(declared.name()) + " (expected "
                + kColorForms + ")";
        return std::nullopt;
    };
}

std::optional<std::string> PositionError(const std::string& value, const DeclaredOption& declared)
{
    return "invalid position " + Quoted(value) + " for " + std::string(declared.name()) + " (expected X,Y)";
}

ApplyValue Position(std::optional<PixelPosition> Options::*field)
{
    return [field](Options& options, const std::string& value,
               const DeclaredOption& declared) -> std::optional<std::string> {
        options.*field = ParsePixelPosition(value);
        return (options.*field) ? std::nullopt : PositionError(value, declared);
    };
}

ApplyValue AddPosition(std::vector<PixelPosition> Options::*field)
{
    return [field](Options& options, const std::string& value,
               const DeclaredOption& declared) -> std::optional<std::string> {
        const auto position = ParsePixelPosition(value);
        if (!position) return PositionError(value, declared);
        (options.*field).push_back(*position);
        return std::nullopt;
    };
}

// A name, kept byte for byte; `what` words the error for an empty one.
ApplyValue Path(std::string Options::*field, std::string what)
{
    return [field, what](Options& options, const std::string& value,
               const DeclaredOption& declared) -> std::optional<std::string> {
        if (value.empty()) return "option " + std::string(declared.name()) + " needs " + what;
        options.*field = value;
        return std::nullopt;
    };
}

ApplyValue AddPath(std::vector<std::string> Options::*field, std::string what)
{
    return [field, what](Options& options, const std::string& value,
               const DeclaredOption& declared) -> std::optional<std::string> {
        if (value.empty()) return "option " + std::string(declared.name()) + " needs " + what;
        (options.*field).push_back(value);
        return std::nullopt;
    };
}

constexpr IntRange kToleranceRange{passes::kTolerance.minimum, passes::kTolerance.maximum};
constexpr IntRange kDefringeRange{passes::kDefringeRadius.minimum, passes::kDefringeRadius.maximum};
constexpr IntRange kJobsRange{1, 1024};

constexpr std::string_view kPassAndKey = "Key and pass";
constexpr std::string_view kInputs = "Inputs";
constexpr std::string_view kResults = "Results";
constexpr std::string_view kMessages = "Messages";

} // namespace

std::string DeclaredOption::names() const
{
    if (shortName.empty() || longName.empty()) return std::string(shortName.empty() ? longName : shortName);
    return std::string(shortName) + ", " + std::string(longName);
}

std::string DeclaredOption::synopsis() const
{
    std::string text = names();
    if (takesValue()) (text += ' ') += valueName;
    return text;
}

const std::vector<DeclaredPass>& PassTable()
{
    static const std::vector<DeclaredPass> passes = {
        {"simple", passes::kSimpleRemoval, "pixels near the key color become fully transparent"},
        {"alpha", passes::kAlphaRestoringRemoval,
            "pixels near the key color get a restored alpha and are un-blended from it; all others become opaque"},
        {"replace", passes::kColorReplacement,
            "pixels near the key color (alpha included) are shifted onto the replacement color, keeping their shading"},
    };
    return passes;
}

std::string PassChoices()
{
    std::string choices;
    const auto& passes = PassTable();
    for (std::size_t i = 0; i < passes.size(); ++i)
        choices += (i == 0 ? "" : i + 1 == passes.size() ? " or " : ", ") + std::string(passes[i].name);
    return choices;
}

const std::vector<DeclaredOption>& OptionTable()
{
    static const std::vector<DeclaredOption> table = {
        {.longName = "--key",
            .valueName = "COLOR",
            .help = "the key (background) color",
            .group = kPassAndKey,
            .apply = Color(&Options::key),
            .completion = ValueCompletion::Color,
            .excludes = {"--key-at"}},
        {.longName = "--key-at",
            .valueName = "X,Y",
            .help = "take the key from that pixel of each image (default 0,0)",
            .group = kPassAndKey,
            .apply = Position(&Options::keyAt)},
        {.longName = "--tolerance",
            .valueName = "T",
            .help = "channel tolerance " + kToleranceRange.text() + " (default "
                + std::to_string(passes::kTolerance.initial)
                + "); a channel matches when it differs from the key by less than T",
            .group = kPassAndKey,
            .apply = Number(&Options::tolerance, "tolerance"),
            .range = kToleranceRange},
        {.longName = "--to",
            .valueName = "COLOR",
            .help = "replacement color for 'replace' (default black); its alpha defaults to the key's alpha",
            .group = kPassAndKey,
            .apply = Color(&Options::replacement),
            .completion = ValueCompletion::Color,
            .onlyPasses = {passes::kColorReplacement}},
        {.longName = "--connected",
            .help = "change only the key-matching pixels connected to the image border through key-matching pixels "
                    "(left, right, up, down; not diagonally); the others are left as the pass leaves a pixel that "
                    "does not match (alpha: made opaque)",
            .group = kPassAndKey,
            .flag = &Options::connected},
        {.longName = "--seed",
            .valueName = "X,Y",
            .help = "with --connected: connect from this pixel instead of the border; repeatable. A seed outside an "
                    "image or not matching the key is a usage error for that file",
            .group = kPassAndKey,
            .apply = AddPosition(&Options::seeds),
            .needs = "--connected"},
        {.longName = "--defringe",
            .valueName = "N",
            .help = "for 'simple': clean edges, un-blending the key color out of every pixel kept within N pixels ("
                + kDefringeRange.text()
                + "; across, down or diagonally) of a removed one, so no halo of the "
                  "background is left",
            .group = kPassAndKey,
            .apply = Number(&Options::defringe, "defringe distance"),
            .range = kDefringeRange,
            .onlyPasses = {passes::kSimpleRemoval}},
        {.longName = "--trim",
            .help = "crop each result to the smallest rectangle holding every pixel that is not fully transparent "
                    "(nothing left: the top-left pixel is kept, with a note on stderr)",
            .group = kPassAndKey,
            .flag = &Options::trim},

        {.shortName = "-r",
            .longName = "--recursive",
            .help = "walk the folders named: every image file below them, in sorted order, its folder mirrored under "
                    "the output folder; hidden files and folders and symbolic links inside are skipped",
            .group = kInputs,
            .flag = &Options::recursive},
        {.longName = "--files-from",
            .valueName = "FILE",
            .help = "also process the files named in FILE, one a line (- reads the list from standard input)",
            .group = kInputs,
            .apply = AddPath(&Options::lineLists, "a file"),
            .completion = ValueCompletion::File},
        {.longName = "--files0-from",
            .valueName = "FILE",
            .help = "the same, each name ending with a NUL byte (find -print0)",
            .group = kInputs,
            .apply = AddPath(&Options::nulLists, "a file"),
            .completion = ValueCompletion::File},

        {.shortName = "-o",
            .longName = "--output",
            .valueName = "DIR",
            .help = "output folder (default: the current folder); - writes the one result to standard output",
            .group = kResults,
            .apply = Path(&Options::outputFolder, "a folder"),
            .completion = ValueCompletion::Folder},
        {.longName = "--overwrite",
            .help = "replace results that exist (by default such a file is refused and left as it is)",
            .group = kResults,
            .flag = &Options::overwrite,
            .excludes = {"--skip-existing"}},
        {.longName = "--skip-existing",
            .help = "count a result that exists as done, without reading its input: a stopped batch run again "
                    "resumes where it stopped",
            .group = kResults,
            .flag = &Options::skipExisting},
        {.shortName = "-j",
            .longName = "--jobs",
            .valueName = "N",
            .help = "files processed in parallel, " + kJobsRange.text() + " (default: one per core)",
            .group = kResults,
            .apply = Number(&Options::jobs, "job count"),
            .range = kJobsRange},
        {.longName = "--memory-limit",
            .valueName = "SIZE",
            .help = "memory the images being processed may take together, such as 4G or 512M (default: half the "
                    "physical memory); a file waits until its decode fits, and one that alone needs more runs when "
                    "no other is in flight. An image loaded whole counts 8 bytes a pixel, a streamed one its bands",
            .group = kResults,
            .apply = ByteSize(&Options::memoryLimit)},

        {.shortName = "-q",
            .longName = "--quiet",
            .help = "print nothing on stdout and no progress; errors still go to stderr",
            .group = kMessages,
            .flag = &Options::quiet,
            .excludes = {"-v", "--print0"}},
        {.shortName = "-v",
            .longName = "--verbose",
            .help = "for each file, a line on stderr with the pass, the key used, the image size and the time",
            .group = kMessages,
            .flag = &Options::verbose},
        {.longName = "--print0",
            .help = "list the results as raw bytes, each followed by a NUL byte, instead of one escaped name a line",
            .group = kMessages,
            .flag = &Options::print0},
        {.shortName = "-h",
            .longName = "--help",
            .help = "show this help and exit",
            .group = kMessages,
            .action = Action::Help},
        {.longName = "--version", .help = "show the version and exit", .group = kMessages, .action = Action::Version},
    };
    return table;
}

const DeclaredOption* FindOption(std::string_view name)
{
    for (const DeclaredOption& declared : OptionTable())
        if (name == declared.shortName || name == declared.longName) return &declared;
    return nullptr;
}

} // namespace cli
