#include "no_replace_rename.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/fs.h> // RENAME_NOREPLACE
#include <sys/syscall.h>
#endif

namespace imaging::files {

int RenameNoReplace(int folder, const char* from, const char* to) noexcept
{
#if defined(__linux__) && defined(SYS_renameat2)
    const long result = ::syscall(SYS_renameat2, folder, from, folder, to, RENAME_NOREPLACE);
    if (result == 0 || (errno != EINVAL && errno != ENOSYS)) return static_cast<int>(result);
#endif
    // Without the flag (an old kernel, a file system that lacks it): link()
    // never replaces either.
    if (::linkat(folder, from, folder, to, 0) != 0) return -1;
    ::unlinkat(folder, from, 0);
    return 0;
}

} // namespace imaging::files
