#include "picture_box.h"
#include "drop_action.h"
#include "focus_mark.h"
#include "pixel_position.h"

#include "imaging/mgdip.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <QWheelEvent>

#include <utility>

namespace app {
namespace {

constexpr int kBorder = 2; // a sunken 3-D border

QStringList LocalFiles(const QMimeData* data)
{
    QStringList files;
    if (!data || !data->hasUrls()) return files;
    // The name's bytes exactly, so a name that is not UTF-8 still opens.
    for (const QUrl& url : data->urls())
        if (const QString path = mGdip::PathFromLocalUrl(url); !path.isEmpty()) files << path;
    return files;
}

QColor ToQColor(passes::OleColor color)
{
    passes::Channel r, g, b;
    passes::SplitOleColor(color, r, g, b);
    return QColor(r, g, b);
}

} // namespace

PictureBox::PictureBox(passes::OleColor backColor, QWidget* parent) : QFrame(parent), backColor_(backColor)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(kBorder);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::place(int left, int top, int width, int height)
{
    setGeometry(left, top, width, height);
    const QSize inside = contentsRect().size();
    QImage backing(inside, QImage::Format_RGB32);
    backing.fill(ToQColor(backColor_));
    surface_ = mGdip::BindSurface(std::move(backing));
}

void PictureBox::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().window());
        if (const QImage* backing = surface_.target()) painter.drawImage(contentsRect().topLeft(), *backing);
    }
    QFrame::paintEvent(event);
    if (ShowsFocusMark(*this)) {
        // On the frame, so that no pixel of the picture is hidden.
        QPainter painter(this);
        DrawFocusMark(painter, *this, frameRect(), lineWidth());
    }
}

QPointF PictureBox::inner(QPointF widgetPosition) const { return widgetPosition - QPointF(contentsRect().topLeft()); }

void PictureBox::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::MiddleButton) return QFrame::mousePressEvent(event);
    middleAt_ = event->position().toPoint();
    middlePressedAt_ = event->position();
    middleDragged_ = false;
    event->accept();
}

void PictureBox::mouseMoveEvent(QMouseEvent* event)
{
    if (!middleAt_ || !(event->buttons() & Qt::MiddleButton)) return QFrame::mouseMoveEvent(event);
    const QPoint at = event->position().toPoint();
    const QPoint moved = at - *middleAt_;
    middleAt_ = at;
    if ((event->position() - middlePressedAt_).manhattanLength() >= QApplication::startDragDistance())
        middleDragged_ = true;
    if (onMiddleDrag && !moved.isNull()) onMiddleDrag(moved);
    event->accept();
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event)
{
    // A middle-button drag moved the view: its release is not a click.
    const bool dragged = event->button() == Qt::MiddleButton && std::exchange(middleDragged_, false);
    if (event->button() == Qt::MiddleButton) middleAt_.reset();
    // A release on the frame, or beyond the box after a press inside it, is
    // not a click on the picture.
    const QPointF position = inner(event->position());
    if (onMouseUp && !dragged && DesignatesInnerPixel(position, contentsRect().size()))
        onMouseUp(event->button(), event->modifiers(), position);
    event->accept();
}

void PictureBox::wheelEvent(QWheelEvent* event)
{
    if (!onWheel) return QFrame::wheelEvent(event);
    onWheel(event->angleDelta(), event->pixelDelta(), event->modifiers());
    event->accept();
}

void PictureBox::keyPressEvent(QKeyEvent* event)
{
    if (onKey && onKey(event->key(), event->modifiers()))
        event->accept();
    else
        QFrame::keyPressEvent(event);
}

bool PictureBox::takeFiles(QDropEvent* event) const
{
    const Qt::DropAction action = ReadOnlyDropAction(event->possibleActions());
    if (!onFilesDropped || action == Qt::IgnoreAction || LocalFiles(event->mimeData()).isEmpty()) {
        event->ignore();
        return false;
    }
    event->setDropAction(action);
    event->accept();
    return true;
}

void PictureBox::dragEnterEvent(QDragEnterEvent* event) { takeFiles(event); }

void PictureBox::dragMoveEvent(QDragMoveEvent* event) { takeFiles(event); }

void PictureBox::dropEvent(QDropEvent* event)
{
    // A drop without a local file (dragged text, a web link) is ignored.
    if (takeFiles(event)) onFilesDropped(LocalFiles(event->mimeData()), inner(event->position()));
}

} // namespace app
