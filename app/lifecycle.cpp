// The window opening (start-up, then the model's command loop) and closing.
#include "form1.h"

#include <QCloseEvent>
#include <QColorDialog>
#include <QGuiApplication>
#include <QScreen>

namespace app {

int Form1::Load()
{
    if (!options_.chooseColor)
        options_.chooseColor = [this](const QColor& current) -> std::optional<QColor> {
            // Qt's own dialog, which speaks the window's language; a native one
            // would follow the desktop's.
            const QColor chosen = QColorDialog::getColor(current, this, QString(), QColorDialog::DontUseNativeDialog);
            if (!chosen.isValid()) return std::nullopt;
            return chosen;
        };
    model_.Start(Pic1->surface(), Pic2->surface(), Pic2->backColor());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    Pic1->setFocus();
    model_.CommandLoop();
    return 0;
}

void Form1::closeEvent(QCloseEvent* event)
{
    model_.Close();
    event->accept();
}

} // namespace app
