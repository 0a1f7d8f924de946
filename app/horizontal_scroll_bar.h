#pragma once
// A horizontal scroll bar for a value: Right and Down raise it, Left and Up
// lower it, Page Down and Page Up move it by the page step, Home and End go to
// the minimum and maximum. Every key goes through the same actions as a click
// on the arrows or the track, so it reports the change the same way. Shows a
// focus mark.

#include <QScrollBar>

#include <optional>

namespace app {

// The action of a key, mirrored for right-to-left layouts as the arrows are.
std::optional<QAbstractSlider::SliderAction> ScrollBarKeyAction(int key, bool rightToLeft);

class HorizontalScrollBar : public QScrollBar {
public:
    explicit HorizontalScrollBar(QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

} // namespace app
