// Writes the batch tool's man page and bash completion from its option
// table, at build time:
//   chromobrisk-cli-docs man TEMPLATE VERSION DATE OUT
//   chromobrisk-cli-docs bash OUT
#include "bash_completion.h"
#include "man_page.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

bool Write(const char* path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out.flush());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 6 && std::strcmp(argv[1], "man") == 0) {
        std::ifstream in(argv[2], std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        if (in && Write(argv[5], cli::docs::ManPage(text.str(), argv[3], argv[4]))) return 0;
    } else if (argc == 3 && std::strcmp(argv[1], "bash") == 0) {
        if (Write(argv[2], cli::docs::BashCompletion())) return 0;
    } else {
        std::fprintf(stderr, "usage: chromobrisk-cli-docs man TEMPLATE VERSION DATE OUT | bash OUT\n");
        return 2;
    }
    std::fprintf(stderr, "chromobrisk-cli-docs: cannot read the template or write the result\n");
    return 1;
}
