#include "command_line.h"

#include "form1.h"

#include "imaging/mgdip.h"

#include <QTimer>

#include <cstring>

namespace app {

const char* const kWindowUsage = "usage: chromobrisk [--] [FILE...]\n"
                                 "       chromobrisk --help | --version\n";

const char* const kWindowHelp = "Opens the Chromobrisk window, which removes or recolors the background of\n"
                                "an image. Each FILE is opened as if it were dropped on the source picture,\n"
                                "one after another; the last one that opens stays.\n"
                                "\n"
                                "Results are saved as <file name>.png into the SAVE folder beside the\n"
                                "program. An installed program, whose folder the user cannot write, saves\n"
                                "into Chromobrisk/SAVE in the user's pictures folder instead (for example\n"
                                "~/Pictures/Chromobrisk/SAVE), created on the first save.\n"
                                "\n"
                                "Options:\n"
                                "  -h, --help   show this help and exit\n"
                                "  --version    show the version and exit\n"
                                "  --           every later argument is a file, even one starting with '-'\n"
                                "\n"
                                "Qt's own options (-platform NAME, -style NAME, ...) are taken too.\n"
                                "chromobrisk-cli runs the same passes on many files without a window.\n";

WindowCommandLine ParseWindowCommandLine(int argc, const char* const* argv)
{
    WindowCommandLine parsed;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        // A lone "-" is a file name like any other.
        if (!optionsEnded && arg[0] == '-' && arg[1] != '\0') {
            if (std::strcmp(arg, "--") == 0) {
                optionsEnded = true;
                continue;
            }
            if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
                parsed.action = WindowCommandLine::Action::Help;
                return parsed;
            }
            if (std::strcmp(arg, "--version") == 0) {
                parsed.action = WindowCommandLine::Action::Version;
                return parsed;
            }
            parsed.action = WindowCommandLine::Action::UsageError;
            parsed.error = QStringLiteral("unknown option %1").arg(mGdip::DisplayPath(mGdip::PathFromBytes(arg)));
            return parsed;
        }
        parsed.files << mGdip::PathFromBytes(arg);
    }
    return parsed;
}

void OpenFilesAsDrops(Form1& form, const QStringList& files)
{
    if (files.isEmpty()) return;
    // Posted now, it runs on the command loop's first turn, with the window
    // shown and the imaging services started. Each drop returns only once its
    // file is decoded, so the files open in order.
    QTimer::singleShot(0, &form, [&form, files] {
        for (const QString& file : files) form.Pic1->onFilesDropped({file}, QPointF());
    });
}

} // namespace app
