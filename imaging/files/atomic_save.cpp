// Saving: the file goes to a temporary file beside the target, which
// replaces the target only once it is complete. Every file-system step goes
// through the folder's descriptor and the name's exact bytes, so the file
// written is the one named, and a link standing at the name is never
// followed.
#include "atomic_save.h"

#include "file_path.h"
#include "temporary_files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/fs.h> // RENAME_NOREPLACE
#include <sys/syscall.h>
#endif

namespace imaging::files {
namespace {

QString SystemWords(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

bool IsNoSpace(int error) { return error == ENOSPC || error == EDQUOT; }

// Writes through a buffer, so libpng's small chunk headers do not each cost
// a system call.
class FileSink final : public ByteSink {
public:
    explicit FileSink(int fd) : fd_(fd) {}

    bool write(const unsigned char* data, std::size_t size) override
    {
        if (error_) return false;
        if (used_ + size > sizeof buffer_ && !flush()) return false;
        if (size >= sizeof buffer_) return writeAll(data, size);
        std::memcpy(buffer_ + used_, data, size);
        used_ += size;
        return true;
    }
    int error() const noexcept override { return error_; }

    bool flush()
    {
        const bool ok = writeAll(buffer_, used_);
        used_ = 0;
        return ok;
    }

private:
    bool writeAll(const unsigned char* data, std::size_t size)
    {
        while (size > 0) {
            const ssize_t wrote = ::write(fd_, data, size);
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote <= 0) {
                error_ = wrote < 0 ? errno : EIO;
                return false;
            }
            data += wrote;
            size -= static_cast<std::size_t>(wrote);
            written_ += static_cast<std::size_t>(wrote);
        }
        startWriteback();
        return true;
    }

    // The disk starts on what is written while the encoder goes on, so the
    // final sync of a large file waits for little more than its tail.
    void startWriteback()
    {
#if defined(__linux__)
        constexpr std::size_t kStep = std::size_t{4} << 20;
        if (written_ - flushed_ < kStep) return;
        ::sync_file_range(fd_, static_cast<off_t>(flushed_), static_cast<off_t>(written_ - flushed_), SYNC_FILE_RANGE_WRITE);
        flushed_ = written_;
#endif
    }

    int fd_;
    int error_ = 0;
    std::size_t written_ = 0, flushed_ = 0; // bytes written, and handed to the disk early
    std::size_t used_ = 0;
    unsigned char buffer_[256 * 1024];
};

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void adopt(int fd)
    {
        reset();
        fd_ = fd;
    }
    // close() of a file being written can report a late write error.
    int reset()
    {
        const int result = fd_ >= 0 ? ::close(fd_) : 0;
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

// A name that starts with a dot, so an interrupted save never looks like a
// result, and stays within the file-name length limit.
QByteArray TemporaryName(const QByteArray& target)
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    QByteArray name = "." + target.left(200) + ".";
    for (int i = 0; i < 10; ++i) name.append(kDigits[random() % 36]);
    return name + ".tmp";
}

// rename() that fails instead of replacing an entry that appeared meanwhile.
int RenameNoReplace(int folder, const char* from, const char* to)
{
#if defined(__linux__) && defined(SYS_renameat2)
    const long result = ::syscall(SYS_renameat2, folder, from, folder, to, RENAME_NOREPLACE);
    if (result == 0 || errno != EINVAL) return static_cast<int>(result);
#endif
    // Without the flag: link() never replaces either.
    if (::linkat(folder, from, folder, to, 0) != 0) return -1;
    ::unlinkat(folder, from, 0);
    return 0;
}

// What stands at the target: Ok when nothing or a regular file does.
Failure CheckTarget(int folder, const char* name, bool* exists, mode_t* mode)
{
    struct stat info {};
    if (::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        *exists = false;
        return errno == ENOENT ? Failure{} : MakeFailure(FailureKind::CannotCreate, SystemWords(errno));
    }
    *exists = true;
    *mode = info.st_mode & 07777;
    if (S_ISDIR(info.st_mode)) return MakeFailure(FailureKind::TargetIsFolder);
    if (!S_ISREG(info.st_mode)) return MakeFailure(FailureKind::TargetNotRegularFile);
    return {};
}

// The system's error of a failed write, else the encoder's own failure.
Failure WriteFailure(int error, Failure encoder = {})
{
    if (IsNoSpace(error)) return MakeFailure(FailureKind::NoSpace);
    if (error != 0) return MakeFailure(FailureKind::WriteFailed, SystemWords(error));
    return encoder ? encoder : NotWritten();
}

} // namespace

Failure SaveAtomically(const QString& path, const EncodeInto& encode)
{
    const QString fileName = LastPathComponent(path);
    const QByteArray name = PathToBytes(fileName);
    if (path.isEmpty() || name.isEmpty() || name == "." || name == ".." || PathToBytes(path).contains('\0'))
        return MakeFailure(FailureKind::NoFileName);
    const QString folderPath = FolderOfPath(path);
    const QByteArray folderBytes = PathToBytes(folderPath);

    Descriptor folder(::open(folderBytes.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) {
        const int error = errno;
        if (error == ENOENT) return MakeFailure(FailureKind::FolderMissing, DisplayPath(folderPath));
        if (error == ENOTDIR) {
            struct stat info {};
            // The folder itself is a file, or a file stands on the way to it.
            if (::stat(folderBytes.constData(), &info) == 0) return MakeFailure(FailureKind::NotAFolder, DisplayPath(folderPath));
            return MakeFailure(FailureKind::FolderMissing, DisplayPath(folderPath));
        }
        return MakeFailure(FailureKind::CannotCreate, SystemWords(error));
    }

    bool existed = false;
    mode_t mode = 0;
    if (Failure blocked = CheckTarget(folder.get(), name.constData(), &existed, &mode)) return blocked;

    QByteArray temporary;
    Descriptor file;
    TemporaryFileGuard guard;
    for (int attempt = 0; attempt < 16 && file.get() < 0; ++attempt) {
        temporary = TemporaryName(name);
        guard.cover(folder.get(), temporary.constData());
        // Exclusive: never opens something that is already there, link or not.
        file.adopt(::openat(folder.get(), temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            0666));
        if (file.get() < 0) {
            const int error = errno;
            guard.release();
            if (error == EEXIST) continue;
            return IsNoSpace(error) ? MakeFailure(FailureKind::NoSpace) : MakeFailure(FailureKind::CannotCreate, SystemWords(error));
        }
    }
    if (file.get() < 0) return MakeFailure(FailureKind::CannotCreate, SystemWords(EEXIST));
    auto discard = [&](Failure failure) {
        file.reset();
        ::unlinkat(folder.get(), temporary.constData(), 0);
        guard.release();
        return failure;
    };

    // A replaced file keeps its permissions; a new one gets the usual ones
    // (0666 less the umask, applied by the open above).
    if (existed && ::fchmod(file.get(), mode) != 0) return discard(MakeFailure(FailureKind::CannotCreate, SystemWords(errno)));

    FileSink sink(file.get());
    Failure encoded = encode(sink);
    if (encoded || !sink.flush()) return discard(WriteFailure(sink.error(), std::move(encoded)));
    if (::fdatasync(file.get()) != 0) return discard(WriteFailure(errno));
    if (file.reset() != 0) return discard(WriteFailure(errno));

    // Nothing stood at the name: take it only if it is still free. A regular
    // file stood there: replace it (a rename never follows a link that might
    // have taken its place meanwhile).
    int renamed;
    if (!existed) {
        renamed = RenameNoReplace(folder.get(), temporary.constData(), name.constData());
        if (renamed != 0 && errno == EEXIST) {
            if (Failure blocked = CheckTarget(folder.get(), name.constData(), &existed, &mode)) return discard(blocked);
            renamed = ::renameat(folder.get(), temporary.constData(), folder.get(), name.constData());
        }
    } else {
        if (Failure blocked = CheckTarget(folder.get(), name.constData(), &existed, &mode)) return discard(blocked);
        renamed = ::renameat(folder.get(), temporary.constData(), folder.get(), name.constData());
    }
    if (renamed != 0) return discard(WriteFailure(errno));
    guard.release();
    return {};
}

} // namespace imaging::files

