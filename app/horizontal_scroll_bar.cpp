#include "horizontal_scroll_bar.h"
#include "focus_mark.h"

#include <QKeyEvent>
#include <QPainter>

namespace app {

std::optional<QAbstractSlider::SliderAction> ScrollBarKeyAction(int key, bool rightToLeft)
{
    // Qt's scroll bars invert their controls so that Down, Page Down and the
    // wheel move towards the maximum, as in a document; that inversion also
    // turns Left and Right around on a horizontal bar, which is why they are
    // mapped here and not left to QAbstractSlider.
    using Action = QAbstractSlider::SliderAction;
    switch (key) {
    case Qt::Key_Right: return rightToLeft ? Action::SliderSingleStepSub : Action::SliderSingleStepAdd;
    case Qt::Key_Left: return rightToLeft ? Action::SliderSingleStepAdd : Action::SliderSingleStepSub;
    case Qt::Key_Down: return Action::SliderSingleStepAdd;
    case Qt::Key_Up: return Action::SliderSingleStepSub;
    case Qt::Key_PageDown: return Action::SliderPageStepAdd;
    case Qt::Key_PageUp: return Action::SliderPageStepSub;
    case Qt::Key_Home: return Action::SliderToMinimum;
    case Qt::Key_End: return Action::SliderToMaximum;
    default: return std::nullopt;
    }
}

HorizontalScrollBar::HorizontalScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

void HorizontalScrollBar::keyPressEvent(QKeyEvent* event)
{
    const std::optional<SliderAction> action = ScrollBarKeyAction(event->key(), isRightToLeft());
    if (!action) {
        QScrollBar::keyPressEvent(event);
        return;
    }
    triggerAction(*action);
    event->accept();
}

void HorizontalScrollBar::paintEvent(QPaintEvent* event)
{
    QScrollBar::paintEvent(event);
    if (!ShowsFocusMark(*this)) return;
    QPainter painter(this);
    DrawFocusMark(painter, *this, rect(), 1);
}

} // namespace app
