// Saving the last result into the SAVE folder beside the program.
#include "form1.h"
#include "texts.h"

#include "imaging/file_naming.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace app {

void Form1::CmdSaveClick()
{
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
    const QString path = QDir(folder).filePath(mGdip::ResultFileNameFor(state_.SourceFileName));
    const QString shownPath = QDir::toNativeSeparators(path);

    // Saving writes nothing in these cases; the user is told why. The folder
    // is not created: it is where an installation keeps the results.
    const mGdip::Image result = state_.WorkBitmap.snapshot();
    if (result.isNull()) {
        options_.showMessage(texts::kNothingToSave.arg(shownPath));
        return;
    }
    if (!QFileInfo(folder).isDir()) {
        options_.showMessage(texts::kNoSaveFolder.arg(QDir::toNativeSeparators(folder)));
        return;
    }
    QString why;
    if (!mGdip::Succeeded(mGdip::SaveImageAsPng(result, path, &why)))
        options_.showMessage(texts::kSaveFailed.arg(shownPath, why));
}

} // namespace app
