#pragma once
// A picture box: a sunken frame around a persistent backing image that the
// program draws into and that is shown on refresh, with coordinates in pixels
// of the inner area, (0, 0) at its top-left.

#include "imaging/mgdip.h"

#include <QFrame>
#include <QStringList>

#include <functional>
#include <optional>

namespace app {

class PictureBox : public QFrame {
public:
    PictureBox(passes::OleColor backColor, QWidget* parent);

    // Geometry of the whole box, border included.
    void place(int left, int top, int width, int height);

    passes::OleColor backColor() const { return backColor_; }
    // A surface over the backing image (all handles share its pixels).
    const mGdip::Surface& surface() const { return surface_; }
    void refresh() { update(); }

    // Any mouse button released over a pixel of the inner area (not on the
    // frame); position in pixels of that area (fractional where the platform
    // reports it).
    std::function<void(Qt::MouseButton, Qt::KeyboardModifiers, QPointF)> onMouseUp;
    // Files dropped on the box (local files only, in drop order). Drops are
    // accepted only while this is set, and only ever as a copy or a link.
    std::function<void(const QStringList& files, QPointF position)> onFilesDropped;
    // The wheel turned over the box: the angle (eighths of a degree) and, from
    // a touchpad, the pixels scrolled (null when the platform does not say).
    std::function<void(QPoint angleDelta, QPoint pixelDelta, Qt::KeyboardModifiers)> onWheel;
    // The pointer moved while the middle button is held: by how many pixels.
    std::function<void(QPoint moved)> onMiddleDrag;
    // A key pressed while the box has the focus; true when it was used.
    std::function<bool(int key, Qt::KeyboardModifiers)> onKey;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QPointF inner(QPointF widgetPosition) const;
    // Accepts a drag or drop of local files as a copy; false when refused.
    bool takeFiles(QDropEvent* event) const;

    passes::OleColor backColor_;
    mGdip::Surface surface_;
    // A middle-button drag: where the pointer was last, and whether it went
    // far enough from the press to be a drag rather than a click.
    std::optional<QPoint> middleAt_;
    QPointF middlePressedAt_;
    bool middleDragged_ = false;
};

} // namespace app
