#include "focus_mark.h"

#include <QPainter>
#include <QStyleOption>
#include <QWidget>

namespace app {

bool ShowsFocusMark(const QWidget& widget)
{
    // The style's own rule for focus frames: the widget has the focus and
    // the window's focus has been moved by keyboard.
    QStyleOption option;
    option.initFrom(&widget);
    return (option.state & QStyle::State_HasFocus) && (option.state & QStyle::State_KeyboardFocusChange);
}

void DrawFocusMark(QPainter& painter, const QWidget& widget, QRect area, int width)
{
    const QColor color = widget.palette().color(QPalette::Active, QPalette::Highlight);
    painter.fillRect(QRect(area.left(), area.top(), area.width(), width), color);
    painter.fillRect(QRect(area.left(), area.bottom() - width + 1, area.width(), width), color);
    painter.fillRect(QRect(area.left(), area.top(), width, area.height()), color);
    painter.fillRect(QRect(area.right() - width + 1, area.top(), width, area.height()), color);
}

} // namespace app
