#include "man_page.h"

#include "roff.h"

#include "cli/option_table.h"

namespace cli::docs {
namespace {

std::string Bold(std::string_view name) { return std::string("\\fB").append(RoffEscaped(name)).append("\\fR"); }

std::string PassesSection()
{
    std::string roff;
    for (const PassSpec& pass : PassTable()) {
        roff += ".TP\n";
        roff += Bold(pass.name);
        roff += '\n';
        roff += RoffEscaped(pass.help);
        roff += '\n';
    }
    return roff;
}

std::string OptionsSection()
{
    std::string roff;
    std::string_view group;
    for (const OptionSpec& spec : OptionTable()) {
        if (spec.group != group) {
            group = spec.group;
            roff += ".SS ";
            roff += RoffEscaped(group);
            roff += '\n';
        }
        roff += ".TP\n";
        if (!spec.shortName.empty()) roff += Bold(spec.shortName) + (spec.longName.empty() ? "" : ", ");
        if (!spec.longName.empty()) roff += Bold(spec.longName);
        if (spec.takesValue()) roff += " \\fI" + RoffEscaped(spec.valueName).append("\\fR");
        roff += '\n';
        roff += RoffEscaped(spec.help);
        roff += '\n';
    }
    return roff;
}

void Replace(std::string& text, const std::string& placeholder, const std::string& with)
{
    for (std::size_t at; (at = text.find(placeholder)) != std::string::npos;) text.replace(at, placeholder.size(), with);
}

} // namespace

std::string ManPage(const std::string& templateText, const std::string& version)
{
    std::string page = templateText;
    // The tables' parts end with a newline, as the template's lines do.
    Replace(page, "@PASSES@\n", PassesSection());
    Replace(page, "@OPTIONS@\n", OptionsSection());
    Replace(page, "@VERSION@", version);
    return page;
}

} // namespace cli::docs
