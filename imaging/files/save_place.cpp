#include "save_place.h"

#include "file_path.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace imaging::files {
namespace {

QString SystemWords(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

Failure CannotCreate(int error) { return MakeFailure(FailureKind::CannotCreate, SystemWords(error)); }

} // namespace

SavePlace::SavePlace(const QString& path) { failure_ = check(path); }

SavePlace::~SavePlace()
{
    if (folder_ >= 0) ::close(folder_);
}

Failure SavePlace::check(const QString& path)
{
    name_ = PathToBytes(LastPathComponent(path));
    const QByteArray pathBytes = PathToBytes(path);
    if (path.isEmpty() || name_.isEmpty() || name_ == "." || name_ == ".." || pathBytes.contains('\0'))
        return MakeFailure(FailureKind::NoFileName);
    const QString folderPath = FolderOfPath(path);
    const QByteArray folderBytes = PathToBytes(folderPath);

    folder_ = ::open(folderBytes.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_ < 0) {
        const int error = errno;
        if (error == ENOENT) return MakeFailure(FailureKind::FolderMissing, DisplayPath(folderPath));
        if (error == ENOTDIR) {
            struct stat info { };
            // The folder itself is a file, or a file stands on the way to it.
            if (::stat(folderBytes.constData(), &info) == 0)
                return MakeFailure(FailureKind::NotAFolder, DisplayPath(folderPath));
            return MakeFailure(FailureKind::FolderMissing, DisplayPath(folderPath));
        }
        return CannotCreate(error);
    }

    // The limits of the folder's own file system; a path too long to be
    // named again is refused too, as the system refuses such a path.
    const long nameMax = ::fpathconf(folder_, _PC_NAME_MAX);
    if (nameMax > 0) nameMax_ = nameMax;
    if (name_.size() > nameMax_ || pathBytes.size() >= PATH_MAX) return CannotCreate(ENAMETOOLONG);

    if (Failure blocked = recheck()) return blocked;
    // A new file is made in the folder even when one is replaced.
    if (::faccessat(folder_, ".", W_OK | X_OK, AT_EACCESS) != 0) return CannotCreate(errno);
    return {};
}

Failure SavePlace::recheck()
{
    struct stat info { };
    if (::fstatat(folder_, name_.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        existed_ = false;
        return errno == ENOENT ? Failure{} : CannotCreate(errno);
    }
    existed_ = true;
    mode_ = info.st_mode & 07777;
    if (S_ISDIR(info.st_mode)) return MakeFailure(FailureKind::TargetIsFolder);
    if (!S_ISREG(info.st_mode)) return MakeFailure(FailureKind::TargetNotRegularFile);
    return {};
}

Failure CheckSavePlace(const QString& path) { return SavePlace(path).failure(); }

} // namespace imaging::files
