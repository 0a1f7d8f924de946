#include "digit_field.h"

#include <QKeyEvent>
#include <QRegularExpressionValidator>

namespace app {

DigitField::DigitField(const QString& text, QWidget* parent) : QLineEdit(text, parent)
{
    setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
}

void DigitField::keyPressEvent(QKeyEvent* event)
{
    const QString typed = event->text();
    const bool character = !typed.isEmpty() && typed.at(0).isPrint();
    const bool digit = typed.size() == 1 && typed.at(0) >= QLatin1Char('0') && typed.at(0) <= QLatin1Char('9');
    // Keys that type nothing (arrows, Delete, shortcuts such as paste) go
    // through; the validator refuses a paste that is not all digits.
    const bool shortcut = event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
    if (character && !digit && !shortcut) {
        event->accept(); // discarded
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace app
