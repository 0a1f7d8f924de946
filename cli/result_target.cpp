#include "result_target.h"

#include "standard_input.h"

#include "imaging/mgdip.h"

#include <QList>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {
namespace {

QString SystemWords(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

QString Joined(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

bool WriteAll(int fd, int from, off_t size, int* error)
{
    for (off_t sent = 0; sent < size;) {
        const ssize_t step = ::sendfile(fd, from, nullptr, static_cast<std::size_t>(size - sent));
        if (step < 0 && errno == EINTR) continue;
        if (step <= 0) {
            *error = step < 0 ? errno : EIO;
            return false;
        }
        sent += step;
    }
    return true;
}

} // namespace

ExistingResult ExistingAt(const QString& path)
{
    struct stat info { };
    if (::lstat(mGdip::PathToBytes(path).constData(), &info) != 0) return ExistingResult::Nothing;
    if (S_ISREG(info.st_mode)) return ExistingResult::File;
    return S_ISDIR(info.st_mode) ? ExistingResult::Folder : ExistingResult::Special;
}

std::optional<QString> MakeSubfolders(const QString& root, const QString& subfolder)
{
    QByteArray path = mGdip::PathToBytes(root);
    for (const QByteArray& part : mGdip::PathToBytes(subfolder).split('/')) {
        if (!path.endsWith('/')) path += '/';
        path += part;
        const QString shown = mGdip::DisplayPath(mGdip::PathFromBytes(path));
        if (::mkdir(path.constData(), 0777) != 0 && errno != EEXIST)
            return QStringLiteral("cannot make the folder %1 (%2)").arg(shown, SystemWords(errno));
        struct stat info { };
        if (::lstat(path.constData(), &info) != 0)
            return QStringLiteral("cannot make the folder %1 (%2)").arg(shown, SystemWords(errno));
        if (!S_ISDIR(info.st_mode))
            return QStringLiteral("%1 is in the way of the result's folder; it was left as it is").arg(shown);
    }
    return std::nullopt;
}

QString ExistsMessage(const QString& path)
{
    return QStringLiteral("%1 exists; not replaced (use --overwrite)").arg(mGdip::DisplayPath(path));
}

ResultTarget::ResultTarget(Way way, const QString& path) : way_(way), path_(path), savePath_(path)
{
    if (way == Way::Replace) return;
    QByteArray folder, name;
    if (way == Way::KeepExisting) {
        folder = mGdip::PathToBytes(mGdip::FolderOfPath(path));
        name = mGdip::PathToBytes(mGdip::LastPathComponent(path));
    } else {
        folder = TemporaryFolder().toLocal8Bit();
        name = "stdout.png";
    }
    folderFd_ = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd_ < 0 && way == Way::StandardOutput) {
        problem_ = QStringLiteral("cannot open the temporary folder %1 for the result (%2)")
                       .arg(mGdip::DisplayPath(mGdip::PathFromBytes(folder)), SystemWords(errno));
        return;
    }
    // Without the folder the save fails and says why, as it would have.
    if (folderFd_ < 0) return;
    // A hidden name of the temporary scheme: a later run removes it if this
    // one is killed before it takes its place.
    saveName_ = mGdip::TemporaryNameFor(name, ::fpathconf(folderFd_, _PC_NAME_MAX));
    guard_.cover(folderFd_, saveName_.constData());
    savePath_ = Joined(mGdip::PathFromBytes(folder), mGdip::PathFromBytes(saveName_));
}

ResultTarget::~ResultTarget() { discard(); }

std::optional<QString> ResultTarget::place()
{
    if (way_ == Way::Replace || folderFd_ < 0) {
        placed_ = true;
        return std::nullopt;
    }
    if (way_ == Way::KeepExisting) {
        const QByteArray name = mGdip::PathToBytes(mGdip::LastPathComponent(path_));
        if (mGdip::RenameNoReplace(folderFd_, saveName_.constData(), name.constData()) != 0) {
            const int error = errno;
            discard();
            if (error == EEXIST) return ExistsMessage(path_);
            return QStringLiteral("cannot write %1: %2").arg(mGdip::DisplayPath(path_), SystemWords(error));
        }
        placed_ = true;
        discard();
        return std::nullopt;
    }
    // Standard output: the file is copied out, then removed with its folder.
    const int file = ::openat(folderFd_, saveName_.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    struct stat info { };
    int error = 0;
    const bool sent = file >= 0 && ::fstat(file, &info) == 0 && WriteAll(STDOUT_FILENO, file, info.st_size, &error);
    if (file < 0) error = errno;
    if (file >= 0) ::close(file);
    discard();
    if (!sent) return QStringLiteral("cannot write the result to standard output (%1)").arg(SystemWords(error));
    placed_ = true;
    return std::nullopt;
}

void ResultTarget::discard() noexcept
{
    if (folderFd_ < 0) return;
    if (!placed_) ::unlinkat(folderFd_, saveName_.constData(), 0);
    guard_.release();
    ::close(folderFd_);
    folderFd_ = -1;
}

} // namespace cli
