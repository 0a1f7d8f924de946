#include "name_lists.h"

#include "options.h"

#include "imaging/mgdip.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace cli {
namespace {

// A list longer than this is no list of names (a device, an endless pipe).
constexpr std::size_t kLargestList = std::size_t{1} << 30;

std::string Shown(const std::string& path)
{
    if (path == kStandardStream) return "from standard input";
    return mGdip::DisplayPath(mGdip::PathFromBytes(path)).toStdString();
}

} // namespace

std::variant<std::vector<std::string>, std::string> ReadNameList(const std::string& path, char separator)
{
    // A blocking open: the list may well be a pipe, as with <(find ...).
    const bool standardInput = path == kStandardStream;
    const int fd = standardInput ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return "cannot read the list " + Shown(path) + ": " + std::strerror(errno);

    std::string bytes;
    char buffer[64 * 1024];
    std::string problem;
    while (true) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            problem = "cannot read the list " + Shown(path) + ": " + std::strerror(errno);
            break;
        }
        if (got == 0) break;
        if (bytes.size() + static_cast<std::size_t>(got) > kLargestList) {
            problem = "the list " + Shown(path) + " is larger than 1 GiB";
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    if (!standardInput) ::close(fd);
    if (!problem.empty()) return problem;

    std::vector<std::string> names;
    for (std::size_t start = 0; start < bytes.size();) {
        std::size_t end = bytes.find(separator, start);
        if (end == std::string::npos) end = bytes.size();
        if (end > start) names.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

} // namespace cli
