#pragma once
// User input made by program, for driving the window without a user: a drag
// of local files entering a widget and dropping on it, and a mouse button
// released over a picture box.

#include "app/picture_box.h"

#include <QStringList>

namespace app::tools {

// Returns whether the drop was accepted.
bool DragAndDropFiles(QWidget* target, const QStringList& files);

// At a position in pixels of the box's inner area.
void ReleaseMouseOn(PictureBox* box, QPointF position, Qt::MouseButton button = Qt::LeftButton);

} // namespace app::tools
