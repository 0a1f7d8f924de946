#include "simulated_input.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

namespace app::tools {

bool DragAndDropFiles(QWidget* target, const QStringList& files)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& file : files) urls << QUrl::fromLocalFile(file);
    data.setUrls(urls);
    const QPoint at(20, 20);
    // As a real drag does: it enters the widget first, then drops.
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

void ReleaseMouseOn(PictureBox* box, QPointF position, Qt::MouseButton button)
{
    const QPointF local = position + QPointF(box->contentsRect().topLeft());
    QMouseEvent release(
        QEvent::MouseButtonRelease, local, box->mapToGlobal(local), button, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(box, &release);
}

} // namespace app::tools
