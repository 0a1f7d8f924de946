#include "leftover_temporaries.h"

#include "file_path.h"
#include "temporary_name.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace imaging::files {

std::vector<QByteArray> RemoveLeftoverTemporaries(const QString& folder)
{
    std::vector<QByteArray> removed;
    const int fd = ::open(PathToBytes(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return removed;
    // The listing gets a descriptor of its own; `fd` names the entries.
    DIR* listing = ::fdopendir(::dup(fd));
    if (!listing) {
        ::close(fd);
        return removed;
    }
    while (const dirent* entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        const std::optional<TemporaryWriter> writer = WriterOfTemporary(name);
        if (!writer || StateOf(*writer) != WriterState::Gone) continue;
        struct stat info { };
        if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) continue;
        if (::unlinkat(fd, entry->d_name, 0) == 0) removed.push_back(name);
    }
    ::closedir(listing);
    ::close(fd);
    return removed;
}

} // namespace imaging::files
