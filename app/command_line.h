#pragma once
// The window's command line: image files to open, each as if it were dropped
// on the source picture (so a file manager's "Open with" works), and --help
// and --version, answered without a window.

#include <QString>
#include <QStringList>

namespace app {

class Form1;

struct WindowCommandLine {
    enum class Action { Open, Help, Version, UsageError };
    Action action = Action::Open;
    QStringList files; // Open: the files, in command-line order
    QString error; // UsageError: what is wrong
};

extern const char* const kWindowUsage;
extern const char* const kWindowHelp;

// Reads argv[1] to argv[argc - 1]. "--" ends the options; the first of
// --help, -h, --version or an unknown option decides. File names are taken
// as the bytes they are.
WindowCommandLine ParseWindowCommandLine(int argc, const char* const* argv);

// Hands each file to the window as a drop of its own on the source picture,
// in order, once the window's command loop runs: the same checks and messages
// as a drop, and the last file that opens stays.
void OpenFilesAsDrops(Form1& form, const QStringList& files);

} // namespace app
