#pragma once
// Where the window saves its results. SAVE beside the program is the rule
// wherever it exists (a build tree, an unpacked portable archive). An
// installed program has no SAVE beside it and its folder is not the user's to
// write, so its results go to Chromobrisk/SAVE in the user's pictures folder.
// A folder the user can write but that has no SAVE keeps SAVE beside the
// program, and the save says that it is missing.

#include <QString>

namespace app {

struct SaveFolder {
    QString path;
    bool createOnSave = false; // the pictures folder's SAVE is made when needed
};

// `programFolder`: the folder that holds SAVE; the running program's own
// folder when empty.
SaveFolder ChooseSaveFolder(const QString& programFolder);

// `name` inside `folder`.
QString PathInFolder(const QString& folder, const QString& name);

} // namespace app
