#include "help_text.h"

#include "color_argument.h"
#include "option_table.h"

#include <sstream>

namespace cli {
namespace {

constexpr std::size_t kWidth = 79;
constexpr std::size_t kHelpColumn = 24;

// "  -o, --output DIR" padded to the help column, or on a line of its own.
std::string Entry(const std::string& term, const std::string& help)
{
    std::string line = "  " + term;
    if (line.size() + 2 > kHelpColumn) {
        line += '\n';
        line.append(kHelpColumn, ' ');
    } else {
        line.append(kHelpColumn - line.size(), ' ');
    }
    return line + Wrapped(help, kHelpColumn, kWidth) + "\n";
}

} // namespace

std::string Wrapped(const std::string& text, std::size_t indent, std::size_t width)
{
    std::istringstream words(text);
    std::string out, word;
    std::size_t column = indent;
    bool first = true;
    while (words >> word) {
        if (!first && column + 1 + word.size() > width) {
            out += '\n';
            out.append(indent, ' ');
            column = indent;
        } else if (!first) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        first = false;
    }
    return out;
}

std::string UsageText()
{
    std::string usage = "usage: chromobrisk-cli ";
    for (const DeclaredPass& pass : PassTable()) {
        if (&pass != &PassTable().front()) usage += '|';
        usage += pass.name;
    }
    return usage
        + " [options] [--] FILE...\n"
          "       chromobrisk-cli --help | --version\n";
}

std::string HelpText()
{
    std::string help = UsageText();
    help += "\n"
            "Removes or recolors the background of images and writes each result as\n"
            "<file name>.png into the output folder. FILE is an image, a folder (with -r)\n"
            "or - for an image on standard input (its result is named stdin.png). Put --\n"
            "before the names when one may start with '-'.\n"
            "\nPasses:\n";
    for (const DeclaredPass& pass : PassTable()) help += Entry(std::string(pass.name), pass.help);

    std::string_view group;
    for (const DeclaredOption& declared : OptionTable()) {
        if (declared.group != group) {
            group = declared.group;
            (help += '\n').append(group) += ":\n";
        }
        help += Entry(declared.synopsis(), declared.help);
    }

    help += '\n';
    help += Wrapped(std::string("COLOR is ") + kColorForms
            + " (CSS/SVG names, any letter case). Without an alpha, a key is opaque (255).",
        0, kWidth);
    help += '\n';
    help += "\n"
            "A result that exists is refused unless --overwrite or --skip-existing is\n"
            "given; within one run, two inputs with the same result name are refused.\n"
            "\n"
            "Examples:\n"
            "  chromobrisk-cli simple --connected --trim -o out logo.png\n"
            "                        a logo on white: the background goes, the white inside\n"
            "                        the lettering stays, the margin is cropped\n"
            "  chromobrisk-cli simple --skip-existing -r -o out photos\n"
            "                        a folder tree, mirrored under out; run again after a\n"
            "                        stop, it resumes where it stopped\n"
            "  cat logo.png | chromobrisk-cli simple --key white -o - - > logo-clear.png\n"
            "                        a pipe: the image from stdin, the PNG to stdout\n"
            "\n"
            "Exit status: 0 all files written (or skipped), 1 some file failed (the others\n"
            "are still written), 2 usage error (no file is read; for a seed that does not\n"
            "fit an image, that file is named and the others are still written).\n";
    return help;
}

} // namespace cli
