#pragma once
// A command button whose caption wraps onto several lines when it is wider
// than the button, as captions of the original toolkit's buttons do. The
// caption text itself is kept exactly as given. Enter (and keypad Enter)
// presses it as Space does: down on the key press, a click on its release.

#include <QPushButton>

namespace app {

class WrappingButton : public QPushButton {
public:
    WrappingButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) { }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
};

} // namespace app
