// Saving: the file goes to a temporary file beside the target, which
// replaces the target only once it is complete. Every file-system step goes
// through the folder's descriptor and the name's exact bytes, so the file
// written is the one named, and a link standing at the name is never
// followed.
#include "atomic_save.h"

#include "no_replace_rename.h"
#include "save_place.h"
#include "temporary_files.h"
#include "temporary_name.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace imaging::files {
namespace {

QString SystemWords(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

bool IsNoSpace(int error) { return error == ENOSPC || error == EDQUOT; }

// Writes through a buffer, so libpng's small chunk headers do not each cost
// a system call.
class FileSink final : public ByteSink {
public:
    explicit FileSink(int fd) : fd_(fd) { }

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
        ::sync_file_range(
            fd_, static_cast<off_t>(flushed_), static_cast<off_t>(written_ - flushed_), SYNC_FILE_RANGE_WRITE);
        flushed_ = written_;
#endif
    }

    int fd_;
    int error_ = 0;
    std::size_t written_ = 0, flushed_ = 0; // bytes written, and handed to the disk early
    std::size_t used_ = 0;
    unsigned char buffer_[256 * 1024];
};

// The temporary file a save writes: created exclusively under a new name of
// the temporary scheme, covered against signals, and removed whenever it is
// not kept, an exception on the way included.
class TemporaryFile {
public:
    explicit TemporaryFile(const SavePlace& place) : place_(place) { }
    ~TemporaryFile() { discard(); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    Failure create()
    {
        for (int attempt = 0; attempt < 16; ++attempt) {
            name_ = TemporaryNameFor(place_.name(), place_.nameMax());
            guard_.cover(place_.folder(), name_.constData());
            // Exclusive: never opens something that is already there, link or not.
            fd_ = ::openat(
                place_.folder(), name_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd_ >= 0) return {};
            const int error = errno;
            guard_.release();
            if (error != EEXIST)
                return IsNoSpace(error) ? MakeFailure(FailureKind::NoSpace)
                                        : MakeFailure(FailureKind::CannotCreate, SystemWords(error));
        }
        return MakeFailure(FailureKind::CannotCreate, SystemWords(EEXIST));
    }
    int fd() const { return fd_; }
    const QByteArray& name() const { return name_; }

    // close() of a file being written can report a late write error.
    int close()
    {
        const int result = fd_ >= 0 ? ::close(fd_) : 0;
        fd_ = -1;
        return result;
    }
    // It has taken the target's name.
    void kept()
    {
        guard_.release();
        name_.clear();
    }
    void discard() noexcept
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        if (!name_.isEmpty()) ::unlinkat(place_.folder(), name_.constData(), 0);
        name_.clear();
        guard_.release();
    }

private:
    const SavePlace& place_;
    QByteArray name_;
    int fd_ = -1;
    TemporaryFileGuard guard_;
};

// The system's error of a failed write, else the encoder's own failure.
Failure WriteFailure(int error, Failure encoder = {})
{
    if (IsNoSpace(error)) return MakeFailure(FailureKind::NoSpace);
    if (error == EFBIG) return MakeFailure(FailureKind::FileSizeLimit);
    if (error != 0) return MakeFailure(FailureKind::WriteFailed, SystemWords(error));
    return encoder ? encoder : NotWritten();
}

} // namespace

Failure SaveAtomically(const QString& path, const EncodeInto& encode)
{
    SavePlace place(path);
    if (place.failure()) return place.failure();
    TemporaryFile temporary(place);
    if (Failure failure = temporary.create()) return failure;
    const int folder = place.folder();
    auto discard = [&](Failure failure) {
        temporary.discard();
        return failure;
    };

    // A replaced file keeps its permissions; a new one gets the usual ones
    // (0666 less the umask, applied by the open above).
    if (place.existed() && ::fchmod(temporary.fd(), place.mode()) != 0)
        return discard(MakeFailure(FailureKind::CannotCreate, SystemWords(errno)));

    FileSink sink(temporary.fd());
    Failure encoded = encode(sink);
    if (encoded || !sink.flush()) return discard(WriteFailure(sink.error(), std::move(encoded)));
    if (::fdatasync(temporary.fd()) != 0) return discard(WriteFailure(errno));
    if (temporary.close() != 0) return discard(WriteFailure(errno));

    // Nothing stood at the name: take it only if it is still free. A regular
    // file stood there: replace it (a rename never follows a link that might
    // have taken its place meanwhile).
    const char* from = temporary.name().constData();
    const char* to = place.name().constData();
    int renamed;
    if (!place.existed()) {
        renamed = RenameNoReplace(folder, from, to);
        if (renamed != 0 && errno == EEXIST) {
            if (Failure blocked = place.recheck()) return discard(blocked);
            renamed = ::renameat(folder, from, folder, to);
        }
    } else {
        if (Failure blocked = place.recheck()) return discard(blocked);
        renamed = ::renameat(folder, from, folder, to);
    }
    if (renamed != 0) return discard(WriteFailure(errno));
    temporary.kept();
    return {};
}

} // namespace imaging::files
