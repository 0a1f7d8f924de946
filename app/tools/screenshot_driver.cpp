// Opens the window, drops an image on the source picture through a real drop
// event, picks the background at its top-left pixel, runs simple removal and
// writes a PNG of the whole window.
// screenshot_driver IMAGE OUT.png
#include "app/form1.h"
#include "app/tools/simulated_input.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: screenshot_driver IMAGE OUT.png\n");
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QString image = QString::fromLocal8Bit(argv[1]), out = QString::fromLocal8Bit(argv[2]);

    app::Form1Options options;
    options.showMessage = [](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); };
    app::Form1 form(options);
    bool written = false;
    int step = 0;
    QTimer driver;
    driver.setInterval(200); // let the window system settle between steps
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (form.state().PendingCommand != 0 || form.state().PassRunning || form.state().WorkingOffThread) return;
        switch (step++) {
        case 0: app::tools::DragAndDropFiles(form.Pic1, {image}); break;
        case 1: app::tools::ReleaseMouseOn(form.Pic1, QPointF(0, 0)); break;
        case 2: form.CMDTransP->click(); break;
        case 3: written = form.grab().save(out); break;
        default: driver.stop(); form.close();
        }
    });
    driver.start();
    form.Load();
    if (!written) std::fprintf(stderr, "screenshot_driver: could not write %s\n", argv[2]);
    return written ? 0 : 1;
}
