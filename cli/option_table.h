#pragma once
// Every option of the batch tool, declared once: its names, its value, its
// help, what it does and the rules it keeps with the others. The parser, the
// help, the man page and the shell completion are all made from this table,
// so an option is added by adding one entry (and its field in Options).

#include "options.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

struct DeclaredOption;

// Stores a value into the options; returns the usage error when it is not
// one the option takes.
using ApplyValue = std::function<std::optional<std::string>(Options&, const std::string& value, const DeclaredOption&)>;

// What the shell offers for an option's value.
enum class ValueCompletion { Nothing, File, Folder, Color };

struct IntRange {
    int low = 0, high = 0;
    std::string text() const { return std::to_string(low) + ".." + std::to_string(high); }
};

struct DeclaredOption {
    std::string_view shortName; // "-o", or empty
    std::string_view longName; // "--output", or empty
    std::string_view valueName; // "DIR"; empty for a flag
    std::string help; // one paragraph, wrapped where it is shown
    std::string_view group; // the heading it is listed under

    // What it does: a flag sets `flag` (or ends parsing with `action`); an
    // option with a value hands it to `apply`.
    bool Options::*flag = nullptr;
    ParsedArguments::Action action = ParsedArguments::Action::Run;
    ApplyValue apply;
    std::optional<IntRange> range; // of a number, for `apply` and the help
    ValueCompletion completion = ValueCompletion::Nothing;

    // Rules checked once the whole command line is read.
    std::vector<int> onlyPasses; // empty: every pass
    std::vector<std::string_view> excludes; // options it cannot be used with
    std::string_view needs; // an option it is only used with

    // How messages name it: the short form where there is one.
    std::string_view name() const { return shortName.empty() ? longName : shortName; }
    // "-o, --output" and the like.
    std::string names() const;
    // The names and the value: "-o, --output DIR".
    std::string synopsis() const;
    bool takesValue() const { return !valueName.empty(); }
};

struct DeclaredPass {
    std::string_view name; // as typed
    int command; // passes::PassCommand
    std::string help;
};

const std::vector<DeclaredPass>& PassTable();
// "simple, alpha or replace".
std::string PassChoices();
const std::vector<DeclaredOption>& OptionTable();

// The entry named `name` (either form), or null.
const DeclaredOption* FindOption(std::string_view name);

} // namespace cli
