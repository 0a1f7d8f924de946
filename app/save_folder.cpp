#include "save_folder.h"

#include "imaging/mgdip.h"

#include <QCoreApplication>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

#include <array>

namespace app {
namespace {

// The folder of the running program, byte for byte where the system says.
QString ProgramFolder()
{
    std::array<char, 4096> target{};
    const ssize_t length = ::readlink("/proc/self/exe", target.data(), target.size());
    if (length > 0 && static_cast<std::size_t>(length) < target.size())
        return mGdip::FolderOfPath(mGdip::PathFromBytes(QByteArrayView(target.data(), length)));
    return QCoreApplication::applicationDirPath();
}

bool Exists(const QString& path)
{
    struct stat info { };
    return ::stat(mGdip::PathToBytes(path).constData(), &info) == 0;
}

bool UserCanWriteInto(const QString& folder) { return ::access(mGdip::PathToBytes(folder).constData(), W_OK) == 0; }

} // namespace

QString PathInFolder(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

SaveFolder ChooseSaveFolder(const QString& programFolder)
{
    const QString program = programFolder.isEmpty() ? ProgramFolder() : programFolder;
    const QString beside = PathInFolder(program, QStringLiteral("SAVE"));
    if (Exists(beside) || UserCanWriteInto(program)) return {beside, false};
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return {PathInFolder(PathInFolder(pictures, QStringLiteral("Chromobrisk")), QStringLiteral("SAVE")), true};
}

} // namespace app
