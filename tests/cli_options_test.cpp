#include "cli/color_argument.h"
#include "cli/options.h"

#include "passes/pass_command.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
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
    ExpectColor("0,0,0,0", 0, 0, 0, 0);          // alpha 0 is present, not absent
    ExpectColor("12,0,255", std::nullopt, 12, 0, 255);
    ExpectColor("#0A14fF", std::nullopt, 0x0A, 0x14, 0xFF);
    ExpectColor("#80c8643A", 0x80, 0xC8, 0x64, 0x3A);
}

TEST(ParseColorArgument, RejectsMalformedColours)
{
    const char* const bad[] = {
        "", "#", "1,2", "1,2,3,4,5", "256,0,0", "0,0,0,256", "-1,0,0", "1,,3", "1,2,3,", ",1,2,3",
        " 1,2,3", "1, 2,3", "1,2,3 ", "1.5,2,3", "a,b,c", "+1,2,3", "0x10,0,0", "1e2,0,0",
        "#12345", "#1234567", "#123456789", "#GG0000", "#12 456", "#-1-1-1", "#+1+1+1", "#-1FFFFFF",
        "123456", "#0x1234", "red",
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParseColorArgument(text).has_value());
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
    const cli::Options options =
        Runs({"replace", "--key", "255,200,100,50", "--to", "#0A141E", "--tolerance", "0", "-o", "out", "-j", "4",
              "in.png"});
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
        {"simple", "f", "--key"},       // value missing at the end
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

    EXPECT_NE(UsageErrorOf({"simple", "--seed", "1,1", "f"}).find("--connected"), std::string::npos);
    for (const Args& bad : {Args{"simple", "--connected", "--seed", "1", "f"}, Args{"simple", "--connected", "--seed=-1,0", "f"},
                            Args{"simple", "--connected", "f", "--seed"}, Args{"simple", "--connected=yes", "f"},
                            Args{"simple", "--trim=1", "f"}}) {
        SCOPED_TRACE(testing::PrintToString(bad));
        UsageErrorOf(bad);
    }
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
