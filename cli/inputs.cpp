#include "inputs.h"

#include "name_lists.h"

#include <sys/stat.h>

namespace cli {
namespace {

bool IsFolder(const std::string& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

FolderIdentity OutputFolderIdentity(const Options& options)
{
    struct stat info { };
    if (options.toStandardOutput() || ::stat(options.outputFolder.c_str(), &info) != 0) return {};
    return {info.st_dev, info.st_ino, true};
}

} // namespace

GatheredInputs GatherInputs(const Options& options)
{
    GatheredInputs gathered;
    std::vector<std::string> names = options.files;
    for (const auto& [lists, separator] : {std::pair{&options.lineLists, '\n'}, std::pair{&options.nulLists, '\0'}}) {
        for (const std::string& list : *lists) {
            auto read = ReadNameList(list, separator);
            if (auto* problem = std::get_if<std::string>(&read)) {
                gathered.usageError = std::move(*problem);
                return gathered;
            }
            for (std::string& name : std::get<std::vector<std::string>>(read)) names.push_back(std::move(name));
        }
    }
    // A folder named without -r is left to fail as a file, saying what it is.
    const FolderIdentity output = OutputFolderIdentity(options);
    for (std::string& name : names) {
        if (options.recursive && name != kStandardStream && IsFolder(name))
            WalkFolder(name, output, gathered.files);
        else
            gathered.files.push_back({std::move(name), {}, {}});
    }
    return gathered;
}

} // namespace cli
