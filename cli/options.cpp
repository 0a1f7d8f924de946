// The command line read by CLI11 from the option table: CLI11 splits it into
// options and values (--name value, --name=value, -oDIR, -j2, grouped flags,
// `--`); the table's entries then take each value in turn and check the rules
// between options, so every message keeps the tool's own wording.
#include "options.h"

#include "option_table.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <utility>

namespace cli {
namespace {

using Action = ParsedArguments::Action;

ParsedArguments UsageError(std::string message)
{
    ParsedArguments parsed;
    parsed.action = Action::UsageError;
    parsed.error = std::move(message);
    return parsed;
}

bool LooksLikeOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

// The arguments as CLI11 is to see them. It reads "--name=" (an empty value)
// as a name without a value and would take the next argument instead, so
// that becomes "--name" and an empty argument.
std::vector<std::string> Prepared(const std::vector<std::string>& args)
{
    std::vector<std::string> prepared;
    bool onlyNames = false;
    for (const std::string& arg : args) {
        onlyNames = onlyNames || arg == "--";
        if (!onlyNames && arg.size() > 3 && arg.rfind("--", 0) == 0 && arg.back() == '=') {
            const DeclaredOption* declared = FindOption(std::string_view(arg).substr(0, arg.size() - 1));
            if (declared && declared->takesValue()) {
                prepared.push_back(arg.substr(0, arg.size() - 1));
                prepared.emplace_back();
                continue;
            }
        }
        prepared.push_back(arg);
    }
    return prepared;
}

// The usage error of a command line CLI11 refused.
std::string Reworded(const CLI::ParseError& error, const std::vector<std::string>& args)
{
    const std::string what = error.what();
    if (const auto colon = what.find(':'); what.find(" required") != std::string::npos && colon != std::string::npos) {
        // "--key: 1 required TEXT missing": the value is missing at the end.
        if (const DeclaredOption* declared = FindOption(what.substr(0, colon)))
            return "option " + std::string(declared->name()) + " needs a value";
    }
    // "--trim=1": a flag given a value.
    for (const std::string& arg : args) {
        const auto eq = arg.find('=');
        if (arg.rfind("--", 0) != 0 || eq == std::string::npos) continue;
        if (const DeclaredOption* declared = FindOption(std::string_view(arg).substr(0, eq));
            declared && !declared->takesValue())
            return "unknown option '" + arg + "'";
    }
    return what;
}

std::string PassNames(const std::vector<int>& commands)
{
    std::string names;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (i > 0) names += i + 1 == commands.size() ? " and " : ", ";
        for (const DeclaredPass& pass : PassTable())
            if (pass.command == commands[i]) names += pass.name;
    }
    return names + (commands.size() == 1 ? " pass" : " passes");
}

// The rules between options, in the order of the table.
std::optional<std::string> BrokenRule(const Options& options, const std::vector<const DeclaredOption*>& given)
{
    const auto isGiven = [&](std::string_view name) {
        return std::any_of(given.begin(), given.end(),
            [&](const DeclaredOption* declared) { return name == declared->shortName || name == declared->longName; });
    };
    for (const DeclaredOption* declared : given) {
        for (const std::string_view other : declared->excludes)
            if (isGiven(other))
                return std::string(declared->name()) + " and " + std::string(FindOption(other)->name())
                    + " cannot be used together";
        if (!declared->onlyPasses.empty()
            && std::find(declared->onlyPasses.begin(), declared->onlyPasses.end(), options.command)
                == declared->onlyPasses.end())
            return std::string(declared->name()) + " is only used by the " + PassNames(declared->onlyPasses);
        if (!declared->needs.empty() && !isGiven(declared->needs))
            return std::string(declared->name()) + " is only used with "
                + std::string(FindOption(declared->needs)->name());
    }
    return std::nullopt;
}

// Standard input holds one thing: an image or a list of names.
std::optional<std::string> StandardInputTwice(const Options& options)
{
    int readers = 0;
    for (const auto* names : {&options.files, &options.lineLists, &options.nulLists})
        readers += static_cast<int>(std::count(names->begin(), names->end(), kStandardStream));
    if (readers > 1) return "standard input (-) can be read only once";
    return std::nullopt;
}

} // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& args)
{
    CLI::App app;
    app.set_help_flag(); // the table declares --help
    app.allow_extras(true); // unknown options get the tool's message below
    std::vector<std::string> positionals;
    app.add_option("inputs", positionals);

    std::vector<std::pair<const DeclaredOption*, CLI::Option*>> bound;
    for (const DeclaredOption& declared : OptionTable()) {
        std::string names(declared.shortName);
        if (!declared.longName.empty()) names += (names.empty() ? "" : ",") + std::string(declared.longName);
        CLI::Option* option = declared.takesValue() ? app.add_option(names) : app.add_flag(names);
        if (declared.takesValue())
            option->expected(1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        else
            option->disable_flag_override();
        bound.emplace_back(&declared, option);
    }

    const std::vector<std::string> prepared = Prepared(args);
    std::vector<std::string> reversed(prepared.rbegin(), prepared.rend()); // CLI11 takes them so
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        return UsageError(Reworded(error, args));
    }

    ParsedArguments parsed;
    Options& options = parsed.options;
    for (const Action action : {Action::Help, Action::Version})
        for (const auto& [declared, option] : bound)
            if (declared->action == action && option->count() > 0) {
                parsed.action = action;
                return parsed;
            }
    for (const std::string& extra : app.remaining())
        if (extra != "--") return UsageError("unknown option '" + extra + "'");

    // CLI11 takes "---key" or "-5" for a name; before "--" it is a mistyped option.
    const auto mark = std::find(args.begin(), args.end(), "--");
    const std::size_t afterMark = mark == args.end() ? 0 : static_cast<std::size_t>(args.end() - mark - 1);
    for (std::size_t i = 0; i + afterMark < positionals.size(); ++i)
        if (LooksLikeOption(positionals[i])) return UsageError("unknown option '" + positionals[i] + "'");

    std::vector<const DeclaredOption*> given;
    for (const auto& [declared, option] : bound) {
        if (option->count() == 0) continue;
        given.push_back(declared);
        if (declared->flag) options.*(declared->flag) = true;
        if (!declared->apply) continue;
        for (const std::string& value : option->results())
            if (auto error = declared->apply(options, value, *declared)) return UsageError(std::move(*error));
    }

    if (positionals.empty()) return UsageError("no pass given");
    const std::string& pass = positionals.front();
    const auto known =
        std::find_if(PassTable().begin(), PassTable().end(), [&](const DeclaredPass& p) { return p.name == pass; });
    if (known == PassTable().end()) return UsageError("unknown pass '" + pass + "' (expected " + PassChoices() + ")");
    options.command = known->command;
    options.files.assign(positionals.begin() + 1, positionals.end());
    if (options.files.empty() && options.lineLists.empty() && options.nulLists.empty())
        return UsageError("no input files given");
    if (auto broken = BrokenRule(options, given)) return UsageError(std::move(*broken));
    if (auto twice = StandardInputTwice(options)) return UsageError(std::move(*twice));
    if (options.print0 && options.toStandardOutput())
        return UsageError("--print0 cannot be used with -o - (the image goes to standard output)");
    parsed.action = Action::Run;
    return parsed;
}

} // namespace cli
