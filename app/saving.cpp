// Saving the last result into the SAVE folder beside the program.
#include "failure_reasons.h"
#include "form1.h"
#include "texts.h"

#include "imaging/file_naming.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace app {

void Form1::CmdSaveClick()
{
    if (state_.ExitRequested) return;
    if (state_.WorkingOffThread) {
        Defer([this] { CmdSaveClick(); });
        return;
    }
    // Never save a half-painted bitmap: a save during a pass waits for its end.
    if (state_.PassRunning) {
        state_.SaveRequested = true;
        return;
    }
    SaveResult();
}

void Form1::SaveResult()
{
    const QString programFolder =
        options_.programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : options_.programFolder;
    const QString folder = QDir(programFolder).filePath(QStringLiteral("SAVE"));
    auto pathFor = [&](const QString& sourceFileName) {
        return QDir(folder).filePath(mGdip::ResultFileNameFor(sourceFileName));
    };

    // Saving writes nothing in these cases; the user is told why. The folder
    // is not created: it is where an installation keeps the results.
    const mGdip::Image result = state_.WorkBitmap.snapshot();
    if (result.isNull()) {
        // Where a result of the current image would go.
        options_.showMessage(texts::kNothingToSave.arg(QDir::toNativeSeparators(pathFor(state_.SourceFileName))));
        return;
    }
    // The result goes under the name of the image it was computed from.
    const QString path = pathFor(state_.ResultFileName);
    const QString shownPath = QDir::toNativeSeparators(path);
    if (!QFileInfo(folder).isDir()) {
        options_.showMessage(texts::kNoSaveFolder.arg(QDir::toNativeSeparators(folder)));
        return;
    }
    mGdip::ImagingStatus status = mGdip::ImagingStatus::GenericError;
    WorkOffThread([&] { status = mGdip::SaveImageAsPng(result, path); });
    if (!mGdip::Succeeded(status) && !state_.ExitRequested)
        options_.showMessage(texts::kSaveFailed.arg(shownPath, SaveFailureReason(status)));
}

} // namespace app
