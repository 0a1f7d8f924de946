#include "man_page.h"

#include "roff.h"

#include "cli/option_table.h"

namespace cli::docs {
namespace {

// The entry's heading, as .B or .BR lines do it ("\fB" before a name would
// hide it from a search for the whole word).
std::string Heading(const DeclaredOption& declared)
{
    std::string line = ".BR";
    const auto add = [&](const std::string& word) {
        line += ' ';
        line += word;
    };
    if (!declared.shortName.empty()) add(RoffEscaped(declared.shortName));
    if (!declared.shortName.empty() && !declared.longName.empty()) add("\", \"");
    if (!declared.longName.empty()) add(RoffEscaped(declared.longName));
    if (declared.takesValue()) add("\" \\fI" + RoffEscaped(declared.valueName) + "\\fR\"");
    // .BR alternates bold and roman; a lone name is just bold.
    if (line.find('"') == std::string::npos) line.replace(0, 3, ".B");
    line += '\n';
    return line;
}

std::string PassesSection()
{
    std::string roff;
    for (const DeclaredPass& pass : PassTable()) {
        roff += ".TP\n.B ";
        roff += RoffEscaped(pass.name);
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
    for (const DeclaredOption& declared : OptionTable()) {
        if (declared.group != group) {
            group = declared.group;
            roff += ".SS ";
            roff += RoffEscaped(group);
            roff += '\n';
        }
        roff += ".TP\n";
        roff += Heading(declared);
        roff += RoffEscaped(declared.help);
        roff += '\n';
    }
    return roff;
}

void Replace(std::string& text, const std::string& placeholder, const std::string& with)
{
    for (std::size_t at; (at = text.find(placeholder)) != std::string::npos;)
        text.replace(at, placeholder.size(), with);
}

} // namespace

std::string ManPage(const std::string& templateText, const std::string& version, const std::string& date)
{
    std::string page = templateText;
    // The tables' parts end with a newline, as the template's lines do.
    Replace(page, "@PASSES@\n", PassesSection());
    Replace(page, "@OPTIONS@\n", OptionsSection());
    Replace(page, "@VERSION@", version);
    Replace(page, "@DATE@", date);
    return page;
}

} // namespace cli::docs
