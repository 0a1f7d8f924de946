#include "standard_input.h"

#include "imaging/mgdip.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace cli {
namespace {

QString SystemWords(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

} // namespace

QString TemporaryFolder()
{
    const char* folder = std::getenv("TMPDIR");
    return QString::fromLocal8Bit(folder && *folder ? folder : "/tmp");
}

namespace {

// A file in `folder` that has no name: gone with its descriptor.
int NamelessFile(const QByteArray& folder)
{
#if defined(O_TMPFILE)
    const int fd = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
#endif
    QByteArray name = folder + "/.chromobrisk-stdin.XXXXXX";
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0) ::unlink(name.constData());
    return named;
}

// Moves up to `limit` + 1 bytes from `input` to `output`; the count moved, or -1 with errno.
long long Copy(int input, int output, std::uint64_t limit)
{
    std::uint64_t moved = 0;
    struct stat info { };
    // From a pipe, the kernel moves the pages without a copy through memory here.
    bool splicing = ::fstat(input, &info) == 0 && S_ISFIFO(info.st_mode);
    std::vector<char> buffer;
    while (moved <= limit) {
        const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(limit + 1 - moved, 1 << 20));
        ssize_t got;
        if (splicing) {
            got = ::splice(input, nullptr, output, nullptr, step, SPLICE_F_MOVE | SPLICE_F_MORE);
            if (got < 0 && errno == EINVAL) { // a file system that cannot take it
                splicing = false;
                continue;
            }
        } else {
            buffer.resize(1 << 20);
            got = ::read(input, buffer.data(), std::min(step, buffer.size()));
            for (ssize_t written = 0; got > 0 && written < got;) {
                const ssize_t put = ::write(output, buffer.data() + written, static_cast<std::size_t>(got - written));
                if (put < 0 && errno == EINTR) continue;
                if (put < 0) return -1;
                written += put;
            }
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        moved += static_cast<std::uint64_t>(got);
    }
    return static_cast<long long>(moved);
}

} // namespace

std::uint64_t LargestStandardInput()
{
    return static_cast<std::uint64_t>(mGdip::kMaxImagePixels) * 8 + (std::uint64_t{64} << 20);
}

StandardInputFile::StandardInputFile(int input, std::uint64_t limit)
{
    struct stat info { };
    if (::fstat(input, &info) != 0) {
        problem_ = QStringLiteral("cannot read standard input (%1)").arg(SystemWords(errno));
        return;
    }
    // A file redirected in, not read from yet: read in place, like any file.
    if (S_ISREG(info.st_mode) && ::lseek(input, 0, SEEK_CUR) == 0) {
        fd_ = input;
        return;
    }
    const QByteArray folder = TemporaryFolder().toLocal8Bit();
    fd_ = NamelessFile(folder);
    if (fd_ < 0) {
        problem_ = QStringLiteral("cannot keep standard input in %1 (%2)").arg(TemporaryFolder(), SystemWords(errno));
        return;
    }
    owned_ = true;
    const long long moved = Copy(input, fd_, limit);
    if (moved < 0)
        problem_ = errno == ENOSPC || errno == EDQUOT
            ? QStringLiteral("cannot keep standard input in %1: no space left on the device").arg(TemporaryFolder())
            : QStringLiteral("cannot read standard input (%1)").arg(SystemWords(errno));
    else if (static_cast<std::uint64_t>(moved) > limit)
        problem_ = QStringLiteral("standard input holds more than %1 bytes, more than any image within the size limits")
                       .arg(limit);
}

StandardInputFile::~StandardInputFile()
{
    if (owned_) ::close(fd_);
}

QString StandardInputFile::path() const { return QStringLiteral("/proc/self/fd/%1").arg(fd_); }

} // namespace cli
