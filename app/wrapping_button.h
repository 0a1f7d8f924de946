#pragma once
// A command button whose caption wraps onto several lines when it is wider
// than the button, as captions of the original toolkit's buttons do. The
// caption text itself is kept exactly as given.

#include <QPushButton>

namespace app {

class WrappingButton : public QPushButton {
public:
    WrappingButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace app
