// Saving the last result into the SAVE folder (save_folder.h says which).
// Paths are built from bytes as they are, so a name that is not UTF-8 is
// written back exactly as it was dropped.
#include "failure_reasons.h"
#include "save_folder.h"
#include "window_model.h"

#include "imaging/mgdip.h"

#include <QDir>

namespace app {

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
    const SaveFolder target = ChooseSaveFolder(options_.programFolder);
    const QString& folder = target.path;
    auto pathFor = [&](const QString& sourceFileName) {
        return PathInFolder(folder, mGdip::ResultFileNameFor(sourceFileName));
    };

    // Saving writes nothing in these cases; the user is told why.
    const mGdip::Image result = state_.WorkBitmap.snapshot();
    if (result.isNull() && state_.SourceImage.isNull()) {
        // Nothing was dropped yet: there is no name to show a target with.
        view_.ShowMessage(
            QStringLiteral("没有保存：还没有图像，也还没有处理结果。请先把图像拖进黑色相框，再运行一种处理。"));
        return;
    }
    if (result.isNull()) {
        // Where a result of the current image would go.
        view_.ShowMessage(QStringLiteral("没有保存：还没有处理结果。请先运行一种处理。\n目标文件：%1")
                              .arg(mGdip::DisplayPath(pathFor(state_.SourceFileName))));
        return;
    }
    // The result goes under the name of the image it was computed from.
    const QString path = pathFor(state_.ResultFileName);
    mGdip::Failure failure;
    bool folderMade = true;
    WorkOffThread([&] {
        folderMade = !target.createOnSave || QDir().mkpath(folder);
        if (folderMade) mGdip::SaveImageAsPng(result, path, nullptr, &failure);
    });
    if (state_.ExitRequested) return;
    if (!folderMade) {
        view_.ShowMessage(QStringLiteral("没有保存：无法创建文件夹 %1").arg(mGdip::DisplayPath(folder)));
        return;
    }
    if (!failure) return;
    // SAVE beside the program is never made: where results go is the user's
    // choice there, so they are told.
    if (failure.kind == mGdip::FailureKind::FolderMissing || failure.kind == mGdip::FailureKind::NotAFolder)
        view_.ShowMessage(
            QStringLiteral("没有保存：SAVE 文件夹不存在。\n请先创建文件夹：%1").arg(mGdip::DisplayPath(folder)));
    else
        view_.ShowMessage(QStringLiteral("保存失败：%1\n%2").arg(mGdip::DisplayPath(path), FailureReason(failure)));
}

} // namespace app
