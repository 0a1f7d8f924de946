#pragma once
// The mark a control without a focus look of its own (the picture boxes, the
// slider) shows while it has the keyboard focus: a frame in the highlight
// color, as the style gives focused buttons and text fields. Like theirs, it
// appears once the focus has been moved by keyboard in the window.

#include <QRect>

class QPainter;
class QWidget;

namespace app {

bool ShowsFocusMark(const QWidget& widget);

// A frame of `width` pixels along the inside of `area`.
void DrawFocusMark(QPainter& painter, const QWidget& widget, QRect area, int width);

} // namespace app
