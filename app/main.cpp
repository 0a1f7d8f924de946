// Chromobrisk: the window. Files named on the command line open as drops.
#include "command_line.h"
#include "form1.h"
#include "translations.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kExitUsage = 2;

// Help and version are printed and the program ends; nothing else here.
bool Answered(const app::WindowCommandLine& parsed)
{
    switch (parsed.action) {
    case app::WindowCommandLine::Action::Help:
        std::fputs(app::kWindowUsage, stdout);
        std::fputs("\n", stdout);
        std::fputs(app::kWindowHelp, stdout);
        return true;
    case app::WindowCommandLine::Action::Version: std::printf("chromobrisk %s\n", CHROMOBRISK_VERSION); return true;
    default: return false;
    }
}

} // namespace

int main(int argc, char** argv)
{
    // Before the window system is reached, so help and version need no
    // display. An option unknown here may still be one of Qt's.
    if (Answered(app::ParseWindowCommandLine(argc, argv))) return 0;

    // Qt takes its own options (-platform, -style, ...) out of the arguments
    // it is given, even after "--", so it is given only those before.
    const std::vector<char*> all(argv, argv + argc);
    const auto filesOnly =
        std::find_if(all.begin() + 1, all.end(), [](const char* a) { return std::strcmp(a, "--") == 0; });
    std::vector<char*> qtArgs(all.begin(), filesOnly);
    int qtArgc = static_cast<int>(qtArgs.size());
    qtArgs.push_back(nullptr);
    QApplication application(qtArgc, qtArgs.data());
    QApplication::setApplicationVersion(QStringLiteral(CHROMOBRISK_VERSION));
    // Ties the window to its desktop entry: the desktop shows the entry's
    // name and icon for it.
    QGuiApplication::setDesktopFileName(QStringLiteral(CHROMOBRISK_APP_ID));
    std::vector<char*> ours(qtArgs.begin(), qtArgs.begin() + qtArgc);
    ours.insert(ours.end(), filesOnly, all.end());
    const app::WindowCommandLine parsed = app::ParseWindowCommandLine(static_cast<int>(ours.size()), ours.data());
    if (Answered(parsed)) return 0;
    if (parsed.action == app::WindowCommandLine::Action::UsageError) {
        std::fprintf(stderr, "chromobrisk: %s\n%s", parsed.error.toUtf8().constData(), app::kWindowUsage);
        return kExitUsage;
    }

    const auto translations = app::InstallChineseTranslations();
    // The window's own loop decides when the program ends.
    QApplication::setQuitOnLastWindowClosed(false);
    app::Form1 form;
    app::OpenFilesAsDrops(form, parsed.files);
    return form.Load();
}
