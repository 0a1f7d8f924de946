#include "regular_file.h"

#include "file_path.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace imaging::files {

Failure OpenRegularFile(const QString& path, QFile& file)
{
    const QByteArray bytes = PathToBytes(path);
    if (bytes.isEmpty() || bytes.contains('\0')) return MakeFailure(FailureKind::NotFound);
    const int fd = ::open(bytes.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) return MakeFailure(FailureKind::NotFound);
        return MakeFailure(FailureKind::CannotRead, QString::fromLocal8Bit(std::strerror(error)));
    }
    struct stat info { };
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return MakeFailure(FailureKind::CannotRead, QString::fromLocal8Bit(std::strerror(error)));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return MakeFailure(S_ISDIR(info.st_mode) ? FailureKind::IsFolder : FailureKind::NotRegularFile);
    }
    if (info.st_size == 0) {
        ::close(fd);
        return MakeFailure(FailureKind::Empty);
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return MakeFailure(FailureKind::CannotRead, file.errorString());
    }
    return {};
}

} // namespace imaging::files
