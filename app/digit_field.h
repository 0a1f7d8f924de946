#pragma once
// A single-line text box that takes only digits from the user: typed
// characters other than digits and backspace are discarded before they reach
// the field, and a paste (or drop) of anything but digits is refused whole.
// Text the program writes is not filtered.

#include <QLineEdit>

namespace app {

class DigitField : public QLineEdit {
public:
    DigitField(const QString& text, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace app
