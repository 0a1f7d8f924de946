// Chromobrisk: the window. The program has no command line.
#include "form1.h"
#include "translations.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const auto translations = app::InstallChineseTranslations();
    // The window's own loop decides when the program ends.
    QApplication::setQuitOnLastWindowClosed(false);
    app::Form1 form;
    return form.Load();
}
