#include "roff.h"

namespace cli::docs {

std::string RoffEscaped(std::string_view text)
{
    std::string out;
    bool lineStart = true;
    for (const char c : text) {
        if (lineStart && (c == '.' || c == '\'')) out += "\\&";
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-"; // a minus, as typed on the command line
        else
            out += c;
        lineStart = c == '\n';
    }
    return out;
}

} // namespace cli::docs
