// Saving the last result into the SAVE folder beside the program. Paths are
// built from bytes as they are, so a name that is not UTF-8 is written back
// exactly as it was dropped.
#include "failure_reasons.h"
#include "window_model.h"

#include "imaging/mgdip.h"

#include <QCoreApplication>

#include <unistd.h>

#include <array>

namespace app {
namespace {

QString JoinPath(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// The folder of the running program, byte for byte where the system says.
QString ProgramFolder()
{
    std::array<char, 4096> target{};
    const ssize_t length = ::readlink("/proc/self/exe", target.data(), target.size());
    if (length > 0 && static_cast<std::size_t>(length) < target.size())
        return mGdip::FolderOfPath(mGdip::PathFromBytes(QByteArrayView(target.data(), length)));
    return QCoreApplication::applicationDirPath();
}

} // namespace

void WindowModel::Save()
{
    if (state_.ExitRequested) return;
    if (state_.WorkingOffThread) {
        Defer([this] { Save(); });
        return;
    }
    // Never save a half-painted bitmap: a save during a pass waits for its end.
    if (state_.PassRunning) {
        state_.SaveRequested = true;
        return;
    }
    SaveResult();
}

void WindowModel::SaveResult()
{
    const QString folder =
        JoinPath(options_.programFolder.isEmpty() ? ProgramFolder() : options_.programFolder, QStringLiteral("SAVE"));
    auto pathFor = [&](const QString& sourceFileName) {
        return JoinPath(folder, mGdip::ResultFileNameFor(sourceFileName));
    };

    // Saving writes nothing in these cases; the user is told why.
    const mGdip::Image result = state_.WorkBitmap.snapshot();
    if (result.isNull()) {
        // Where a result of the current image would go.
        view_.ShowMessage(QStringLiteral("没有保存：还没有处理结果。请先运行一种处理。\n目标文件：%1")
                              .arg(mGdip::DisplayPath(pathFor(state_.SourceFileName))));
        return;
    }
    // The result goes under the name of the image it was computed from.
    const QString path = pathFor(state_.ResultFileName);
    mGdip::Failure failure;
    WorkOffThread([&] { mGdip::SaveImageAsPng(result, path, nullptr, &failure); });
    if (!failure || state_.ExitRequested) return;
    // The folder is not created: it is where an installation keeps the results.
    if (failure.kind == mGdip::FailureKind::FolderMissing || failure.kind == mGdip::FailureKind::NotAFolder)
        view_.ShowMessage(QStringLiteral("没有保存：SAVE 文件夹不存在。\n请先创建文件夹：%1").arg(mGdip::DisplayPath(folder)));
    else
        view_.ShowMessage(QStringLiteral("保存失败：%1\n%2").arg(mGdip::DisplayPath(path), FailureReason(failure)));
}

} // namespace app
