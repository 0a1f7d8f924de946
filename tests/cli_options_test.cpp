#include "cli/byte_size.h"
#include "cli/color_argument.h"
#include "cli/color_names.h"
#include "cli/memory_budget.h"
#include "cli/option_table.h"
#include "cli/options.h"

#include "passes/pass_command.h"

#include <QColor>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using cli::ParseArguments;
using cli::ParseColorArgument;
using Action = cli::ParsedArguments::Action;
using Args = std::vector<std::string>;

// ---- colours ------------------------------------------------------------------

// `text` parses to exactly these channels; an alpha of nullopt must be absent.
void ExpectColor(const char* text, std::optional<int> alpha, int red, int green, int blue)
{
    SCOPED_TRACE(text);
    const auto color = ParseColorArgument(text);
    ASSERT_TRUE(color.has_value());
    EXPECT_EQ(color->alpha, alpha);
    EXPECT_EQ(color->red, red);
    EXPECT_EQ(color->green, green);
    EXPECT_EQ(color->blue, blue);
}

TEST(ParseColorArgument, DecimalAndHexForms)
{
    ExpectColor("255,10,20,30", 255, 10, 20, 30); // four channels are alpha, red, green, blue
    ExpectColor("0,0,0,0", 0, 0, 0, 0); // alpha 0 is present, not absent
    ExpectColor("12,0,255", std::nullopt, 12, 0, 255);
    ExpectColor("#0A14fF", std::nullopt, 0x0A, 0x14, 0xFF);
    ExpectColor("#80c8643A", 0x80, 0xC8, 0x64, 0x3A);
}

TEST(ParseColorArgument, RejectsMalformedColours)
{
    const char* const bad[] = {
        "",
        "#",
        "1,2",
        "1,2,3,4,5",
        "256,0,0",
        "0,0,0,256",
        "-1,0,0",
        "1,,3",
        "1,2,3,",
        ",1,2,3",
        " 1,2,3",
        "1, 2,3",
        "1,2,3 ",
        "1.5,2,3",
        "a,b,c",
        "+1,2,3",
        "0x10,0,0",
        "1e2,0,0",
        "#12345",
        "#1234567",
        "#123456789",
        "#GG0000",
        "#12 456",
        "#-1-1-1",
        "#+1+1+1",
        "#-1FFFFFF",
        "123456",
        "#0x1234",
        "#12",
        "#12345",
        "#ggg",
        "#-12",
        "re d",
        "redd",
        "white ",
        "",
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParseColorArgument(text).has_value());
    }
}

TEST(ParseColorArgument, ShortHexAndNamesInAnyCase)
{
    ExpectColor("#fA0", std::nullopt, 0xFF, 0xAA, 0x00); // each digit doubled
    ExpectColor("#8F00", 0x88, 0xFF, 0x00, 0x00); // alpha first, as in #AARRGGBB
    ExpectColor("white", std::nullopt, 255, 255, 255); // a name says no alpha, like R,G,B
    ExpectColor("WHITE", std::nullopt, 255, 255, 255);
    ExpectColor("Lime", std::nullopt, 0, 255, 0);
    ExpectColor("RebeccaPurple", std::nullopt, 0x66, 0x33, 0x99);
    ExpectColor("transparent", 0, 0, 0, 0);

    // Every name is the colour Qt's SVG table gives it, and no SVG name is missing.
    for (const cli::NamedColor& named : cli::ColorNames()) {
        SCOPED_TRACE(std::string(named.name));
        const QColor qt =
            QColor::fromString(QLatin1String(named.name.data(), static_cast<qsizetype>(named.name.size())));
        if (named.name == "rebeccapurple" && !qt.isValid()) continue; // newer than Qt's table
        ASSERT_TRUE(qt.isValid());
        EXPECT_EQ(qt.rgba(), named.argb);
    }
    for (const QString& name : QColor::colorNames()) {
        SCOPED_TRACE(qPrintable(name));
        EXPECT_TRUE(cli::FindColorName(name.toStdString()).has_value());
    }
}

TEST(ParsePixelPosition, AcceptsNonNegativePairsOnly)
{
    const auto at = cli::ParsePixelPosition("12,7");
    ASSERT_TRUE(at.has_value());
    EXPECT_EQ(at->x, 12);
    EXPECT_EQ(at->y, 7);
    for (const char* bad : {"", "1", "1,", ",1", "1,2,3", "-1,0", "0,-1", "a,b", "1 ,2", "1;2", "99999999999,0"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(cli::ParsePixelPosition(bad).has_value());
    }
}

TEST(ParseBoundedInt, KeepsToTheBoundsAndToPlainDigits)
{
    EXPECT_EQ(cli::ParseBoundedInt("0", 0, 255), 0);
    EXPECT_EQ(cli::ParseBoundedInt("255", 0, 255), 255);
    EXPECT_EQ(cli::ParseBoundedInt("007", 0, 255), 7);
    for (const char* bad : {"256", "-1", "", "+5", "5x", " 5", "5 ", "0x5", "2147483648"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(cli::ParseBoundedInt(bad, 0, 255).has_value());
    }
}

// ---- whole command lines --------------------------------------------------------

cli::Options Runs(const Args& args)
{
    const cli::ParsedArguments parsed = ParseArguments(args);
    EXPECT_EQ(parsed.action, Action::Run) << parsed.error;
    return parsed.options;
}

std::string UsageErrorOf(const Args& args)
{
    const cli::ParsedArguments parsed = ParseArguments(args);
    EXPECT_EQ(parsed.action, Action::UsageError);
    EXPECT_FALSE(parsed.error.empty());
    return parsed.error;
}

TEST(ParseArguments, DefaultsForAPassAndFiles)
{
    const cli::Options options = Runs({"simple", "a.png", "b.jpg"});
    EXPECT_EQ(options.command, passes::kSimpleRemoval);
    EXPECT_EQ(options.files, (Args{"a.png", "b.jpg"}));
    EXPECT_FALSE(options.key.has_value());
    EXPECT_FALSE(options.keyAt.has_value());
    EXPECT_FALSE(options.replacement.has_value());
    EXPECT_EQ(options.tolerance, 30);
    EXPECT_EQ(options.outputFolder, ".");
    EXPECT_EQ(options.jobs, 0);
}

TEST(ParseArguments, PassNames)
{
    EXPECT_EQ(Runs({"alpha", "x"}).command, passes::kAlphaRestoringRemoval);
    EXPECT_EQ(Runs({"replace", "x"}).command, passes::kColorReplacement);
    UsageErrorOf({"blur", "x"});
    UsageErrorOf({"Simple", "x"});
}

TEST(ParseArguments, OptionsWithSeparateValues)
{
    const cli::Options options = Runs({"replace", "--key", "255,200,100,50", "--to", "#0A141E", "--tolerance", "0",
        "-o", "out", "-j", "4", "in.png"});
    ASSERT_TRUE(options.key.has_value());
    EXPECT_EQ(options.key->alpha, 255);
    EXPECT_EQ(options.key->red, 200);
    ASSERT_TRUE(options.replacement.has_value());
    EXPECT_FALSE(options.replacement->alpha.has_value());
    EXPECT_EQ(options.replacement->blue, 0x1E);
    EXPECT_EQ(options.tolerance, 0);
    EXPECT_EQ(options.outputFolder, "out");
    EXPECT_EQ(options.jobs, 4);
    EXPECT_EQ(options.files, Args{"in.png"});
}

TEST(ParseArguments, OptionsWithAttachedValues)
{
    const cli::Options options = Runs({"alpha", "--key=#80FF0000", "--tolerance=255", "-oresults", "-j16", "x.png"});
    ASSERT_TRUE(options.key.has_value());
    EXPECT_EQ(options.key->alpha, 0x80);
    EXPECT_EQ(options.key->red, 0xFF);
    EXPECT_EQ(options.tolerance, 255);
    EXPECT_EQ(options.outputFolder, "results");
    EXPECT_EQ(options.jobs, 16);
    EXPECT_EQ(options.files, Args{"x.png"});

    const cli::Options at = Runs({"simple", "--key-at=3,4", "y.png"});
    ASSERT_TRUE(at.keyAt.has_value());
    EXPECT_EQ(at.keyAt->x, 3);
    EXPECT_EQ(at.keyAt->y, 4);
}

TEST(ParseArguments, OptionsMayFollowFilesAndTheLastValueWins)
{
    const cli::Options options =
        Runs({"simple", "a.png", "--tolerance", "5", "b.png", "--tolerance=9", "-o", "one", "-o", "two"});
    EXPECT_EQ(options.files, (Args{"a.png", "b.png"}));
    EXPECT_EQ(options.tolerance, 9);
    EXPECT_EQ(options.outputFolder, "two");
}

TEST(ParseArguments, DoubleDashEndsOptions)
{
    const cli::Options options = Runs({"simple", "--", "-odd.png", "--key", "-"});
    EXPECT_EQ(options.files, (Args{"-odd.png", "--key", "-"}));
    EXPECT_FALSE(options.key.has_value());
    EXPECT_EQ(options.outputFolder, ".");
}

TEST(ParseArguments, KeyAndKeyAtExcludeEachOther)
{
    EXPECT_EQ(Runs({"simple", "--key-at", "0,0", "f"}).keyAt->x, 0);
    UsageErrorOf({"simple", "--key", "1,2,3", "--key-at", "0,0", "f"});
    UsageErrorOf({"simple", "--key-at=0,0", "--key=#010203", "f"});
}

TEST(ParseArguments, ReplacementOnlyWithReplace)
{
    EXPECT_TRUE(Runs({"replace", "--to", "1,2,3", "f"}).replacement.has_value());
    UsageErrorOf({"simple", "--to", "1,2,3", "f"});
    UsageErrorOf({"alpha", "--to=1,2,3", "f"});
}

TEST(ParseArguments, BadValuesAreUsageErrors)
{
    const Args bad[] = {
        {"simple", "--key", "1,2", "f"},
        {"simple", "--key=", "f"},
        {"simple", "--key-at", "-1,0", "f"},
        {"simple", "--key-at", "1", "f"},
        {"simple", "--tolerance", "256", "f"},
        {"simple", "--tolerance", "-1", "f"},
        {"simple", "--tolerance", "ten", "f"},
        {"replace", "--to", "#12345", "f"},
        {"simple", "-j", "0", "f"},
        {"simple", "-j", "1025", "f"},
        {"simple", "-j", "two", "f"},
        {"simple", "-j-1", "f"},
        {"simple", "-o", "", "f"},
        {"simple", "f", "--key"}, // value missing at the end
        {"simple", "f", "-o"},
    };
    for (const Args& args : bad) {
        SCOPED_TRACE(testing::PrintToString(args));
        UsageErrorOf(args);
    }
}

TEST(ParseArguments, UnknownOptionsAreNamed)
{
    for (const std::string option : {"--frobnicate", "-x", "--keys=1,2,3", "--tol=5", "-J4", "---key"}) {
        SCOPED_TRACE(option);
        const std::string error = UsageErrorOf({"simple", option, "f"});
        EXPECT_NE(error.find(option), std::string::npos) << error;
    }
}

TEST(ParseArguments, MissingPassOrFiles)
{
    UsageErrorOf({});
    UsageErrorOf({"simple"});
    UsageErrorOf({"simple", "--key", "1,2,3"});
    UsageErrorOf({"--key", "1,2,3", "-o", "out"});
}

TEST(ParseArguments, ConnectedSeedsAndTrim)
{
    const cli::Options plain = Runs({"simple", "f"});
    EXPECT_FALSE(plain.connected);
    EXPECT_FALSE(plain.trim);
    EXPECT_TRUE(plain.seeds.empty());

    const cli::Options options = Runs({"alpha", "--seed", "3,4", "f", "--connected", "--seed=0,9", "--trim"});
    EXPECT_TRUE(options.connected);
    EXPECT_TRUE(options.trim);
    ASSERT_EQ(options.seeds.size(), 2u); // in the order given, the flag after them
    EXPECT_EQ(options.seeds[0].x, 3);
    EXPECT_EQ(options.seeds[0].y, 4);
    EXPECT_EQ(options.seeds[1].x, 0);
    EXPECT_EQ(options.seeds[1].y, 9);
    EXPECT_EQ(options.files, Args{"f"});
    EXPECT_TRUE(Runs({"replace", "--trim", "f"}).trim); // trim needs no --connected
    EXPECT_EQ(plain.defringe, 0);
    EXPECT_EQ(Runs({"simple", "--defringe", "16", "--connected", "--trim", "f"}).defringe, 16);

    EXPECT_NE(UsageErrorOf({"simple", "--seed", "1,1", "f"}).find("--connected"), std::string::npos);
    for (const Args& bad : {Args{"simple", "--connected", "--seed", "1", "f"},
             Args{"simple", "--connected", "--seed=-1,0", "f"}, Args{"simple", "--connected", "f", "--seed"},
             Args{"simple", "--connected=yes", "f"}, Args{"simple", "--trim=1", "f"}}) {
        SCOPED_TRACE(testing::PrintToString(bad));
        UsageErrorOf(bad);
    }
}

// Every ranged option of the table, under either of its names, with the
// value separate and attached: its ends taken, one past each end refused
// with the range named.
TEST(ParseArguments, EveryRangeOfTheTable)
{
    for (const cli::DeclaredOption& declared : cli::OptionTable()) {
        if (!declared.range) continue;
        for (const std::string_view name : {declared.shortName, declared.longName}) {
            if (name.empty()) continue;
            const std::string option(name);
            SCOPED_TRACE(option);
            const std::string attached = name.size() == 2 ? option : option + "=";
            const cli::IntRange range = *declared.range;
            for (const int inside : {range.low, range.high}) {
                EXPECT_EQ(ParseArguments({"simple", option, std::to_string(inside), "f"}).action, Action::Run);
                EXPECT_EQ(ParseArguments({"simple", attached + std::to_string(inside), "f"}).action, Action::Run);
            }
            for (const int outside : {range.low - 1, range.high + 1}) {
                const std::string error = UsageErrorOf({"simple", attached + std::to_string(outside), "f"});
                std::string quoted = "'";
                (quoted += std::to_string(outside)) += '\'';
                EXPECT_NE(error.find(quoted), std::string::npos) << error;
                EXPECT_NE(error.find("(expected " + range.text() + ")"), std::string::npos) << error;
            }
        }
    }
}

// The messages scripts may read, word for word.
TEST(ParseArguments, UsageErrorsWordForWord)
{
    const struct {
        Args args;
        const char* error;
    } cases[] = {
        {{"simple", "--key", "1,2,3", "--key-at", "0,0", "f"}, "--key and --key-at cannot be used together"},
        {{"simple", "--to", "red", "f"}, "--to is only used by the replace pass"},
        {{"simple", "--seed", "1,1", "f"}, "--seed is only used with --connected"},
        {{"simple", "--tolerance", "256", "f"}, "invalid tolerance '256' (expected 0..255)"},
        {{"simple", "-j0", "f"}, "invalid job count '0' (expected 1..1024)"},
        {{"simple", "--jobs=x", "f"}, "invalid job count 'x' (expected 1..1024)"},
        {{"simple", "--key-at", "1", "f"}, "invalid position '1' for --key-at (expected X,Y)"},
        {{"simple", "-o", "", "f"}, "option -o needs a folder"},
        {{"simple", "--output=", "f"}, "option -o needs a folder"}, // the file stays a file
        {{"simple", "f", "--key"}, "option --key needs a value"},
        {{"simple", "f", "-qo"}, "option -o needs a value"},
        {{"simple", "--frobnicate", "f"}, "unknown option '--frobnicate'"},
        {{"simple", "--trim=1", "f"}, "unknown option '--trim=1'"},
        {{"simple", "-5", "f"}, "unknown option '-5'"},
        {{"blur", "f"}, "unknown pass 'blur' (expected simple, alpha or replace)"},
        {{"simple"}, "no input files given"},
        {{"--trim"}, "no pass given"},
        {{"simple", "--overwrite", "--skip-existing", "f"}, "--overwrite and --skip-existing cannot be used together"},
        {{"simple", "-q", "-v", "f"}, "-q and -v cannot be used together"},
        {{"simple", "--quiet", "--print0", "f"}, "-q and --print0 cannot be used together"},
        {{"simple", "--print0", "-o", "-", "f"},
            "--print0 cannot be used with -o - (the image goes to standard output)"},
        {{"simple", "-", "--", "-"}, "standard input (-) can be read only once"},
        {{"simple", "--files-from", "-", "-"}, "standard input (-) can be read only once"},
        {{"simple", "--files-from", "", "f"}, "option --files-from needs a file"},
        {{"alpha", "--defringe", "2", "f"}, "--defringe is only used by the simple pass"},
        {{"replace", "--connected", "--defringe=1", "f"}, "--defringe is only used by the simple pass"},
        {{"simple", "--defringe", "0", "f"}, "invalid defringe distance '0' (expected 1..16)"},
        {{"simple", "--defringe=17", "f"}, "invalid defringe distance '17' (expected 1..16)"},
        {{"simple", "--defringe", "two", "f"}, "invalid defringe distance 'two' (expected 1..16)"},
        {{"simple", "--defringe", "1.5", "f"}, "invalid defringe distance '1.5' (expected 1..16)"},
        {{"simple", "--memory-limit", "1.5G", "f"},
            "invalid size '1.5G' for --memory-limit (expected a number of bytes, or of K, M, G or T such as 4G)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(UsageErrorOf(c.args), c.error);
    }
    const std::string color = UsageErrorOf({"replace", "--to", "#12345", "f"});
    EXPECT_EQ(color.rfind("invalid color '#12345' for --to (expected ", 0), 0u) << color;
    EXPECT_NE(color.find("#RGB"), std::string::npos) << color;
    EXPECT_NE(color.find("white"), std::string::npos) << color;
}

TEST(ParseArguments, NewOptionsAndTheirLongAndShortForms)
{
    const cli::Options options =
        Runs({"simple", "-rqo-", "--skip-existing", "--files-from", "list", "--files0-from=-", "--jobs", "3", "x"});
    EXPECT_TRUE(options.recursive);
    EXPECT_TRUE(options.quiet);
    EXPECT_TRUE(options.skipExisting);
    EXPECT_TRUE(options.toStandardOutput());
    EXPECT_EQ(options.lineLists, Args{"list"});
    EXPECT_EQ(options.nulLists, Args{"-"});
    EXPECT_EQ(options.jobs, 3);
    EXPECT_FALSE(options.overwrite);

    const cli::Options more = Runs({"simple", "--recursive", "--overwrite", "-v", "--print0", "--output", "out",
        "--files-from=a", "--files-from", "b"});
    EXPECT_TRUE(more.recursive && more.overwrite && more.verbose && more.print0);
    EXPECT_EQ(more.outputFolder, "out");
    EXPECT_EQ(more.lineLists, (Args{"a", "b"}));
    EXPECT_TRUE(more.files.empty()); // the lists name the inputs
}

TEST(ParseByteSize, UnitsOfOneThousandTwentyFourAndNothingElse)
{
    EXPECT_EQ(cli::ParseByteSize("1"), 1u);
    EXPECT_EQ(cli::ParseByteSize("512M"), 512ull << 20);
    EXPECT_EQ(cli::ParseByteSize("4g"), 4ull << 30);
    EXPECT_EQ(cli::ParseByteSize("3GiB"), 3ull << 30);
    EXPECT_EQ(cli::ParseByteSize("2kb"), 2048u);
    EXPECT_EQ(cli::ParseByteSize("16777215T"), 16777215ull << 40);
    for (const char* bad :
        {"", "0", "0G", "-1G", "+1G", "1.5G", "G", "1X", "1 G", "1GG", "16777216T", "99999999999999999999"})
        EXPECT_FALSE(cli::ParseByteSize(bad).has_value()) << bad;
    EXPECT_EQ(Runs({"simple", "--memory-limit", "3G", "f"}).memoryLimit, 3ull << 30);
    EXPECT_EQ(Runs({"simple", "f"}).memoryLimit, 0u); // the default: half the physical memory
}

// Shares wait while they would pass the budget; one larger than the whole
// budget is admitted once nothing else is in flight.
TEST(MemoryBudget, AdmitsWhatFitsAndALargeShareAlone)
{
    cli::MemoryBudget budget(100);
    auto first = budget.admit(60);
    std::atomic<bool> secondIn{false}, largeIn{false};
    std::thread second([&] {
        auto share = budget.admit(60);
        secondIn = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    });
    auto small = budget.admit(40); // fits beside the first
    EXPECT_EQ(budget.inFlight(), 100u);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(secondIn);
    first.release();
    small.release();
    second.join();
    EXPECT_TRUE(secondIn);
    EXPECT_EQ(budget.inFlight(), 0u);

    auto held = budget.admit(1);
    std::thread large([&] {
        auto share = budget.admit(1000);
        largeIn = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(largeIn);
    held.release();
    large.join();
    EXPECT_TRUE(largeIn);
    EXPECT_EQ(budget.inFlight(), 0u);
}

TEST(ParseArguments, HelpAndVersionWinOverTheRest)
{
    EXPECT_EQ(ParseArguments({"--help"}).action, Action::Help);
    EXPECT_EQ(ParseArguments({"-h"}).action, Action::Help);
    EXPECT_EQ(ParseArguments({"simple", "--help"}).action, Action::Help);
    EXPECT_EQ(ParseArguments({"simple", "--to", "1,2,3", "--help"}).action, Action::Help);
    EXPECT_EQ(ParseArguments({"--version"}).action, Action::Version);
    EXPECT_EQ(ParseArguments({"alpha", "x.png", "--version"}).action, Action::Version);
}

} // namespace
