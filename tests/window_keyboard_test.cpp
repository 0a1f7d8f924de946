// Using the window by keyboard: Enter on buttons, focus marks.
#include "window_test_support.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using app::Form1;
using namespace window_testing;

TEST(WindowKeyboard, EnterPressesAFocusedButtonAsSpaceDoes)
{
    Recorded recorded;
    recorded.colors = {QColor(1, 2, 3), QColor(4, 5, 6)};
    Form1 form(TestOptions(recorded));
    RunWindow(form, {[&] {
        form.CmdPickP->setFocus(Qt::TabFocusReason);
        QTest::keyPress(form.CmdPickP, Qt::Key_Return);
        EXPECT_TRUE(form.CmdPickP->isDown());
        EXPECT_FALSE(form.state().PickReplacementFromImage) << "a click comes with the release, as with Space";
        QTest::keyRelease(form.CmdPickP, Qt::Key_Return);
        EXPECT_FALSE(form.CmdPickP->isDown());
        EXPECT_TRUE(form.state().PickReplacementFromImage);

        form.CmdPick->setFocus(Qt::TabFocusReason);
        QTest::keyClick(form.CmdPick, Qt::Key_Enter, Qt::KeypadModifier);
        EXPECT_EQ(recorded.dialogStarts.size(), 1) << "keypad Enter";
        QTest::keyClick(form.CmdPick, Qt::Key_Space);
        EXPECT_EQ(recorded.dialogStarts.size(), 2) << "Space as before";

        // A held Enter clicks once, when it is let go.
        int clicks = 0;
        QObject::connect(form.CMDTransP, &QPushButton::clicked, [&] { ++clicks; });
        form.CMDTransP->setFocus(Qt::TabFocusReason);
        QTest::keyPress(form.CMDTransP, Qt::Key_Return);
        for (int i = 0; i < 3; ++i) {
            QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), true);
            QCoreApplication::sendEvent(form.CMDTransP, &repeat);
        }
        EXPECT_EQ(clicks, 0);
        QTest::keyRelease(form.CMDTransP, Qt::Key_Return);
        EXPECT_EQ(clicks, 1);
        EXPECT_EQ(form.state().PendingCommand, passes::kSimpleRemoval);
    }});
}

// The highlight color on the outermost pixels of a control, as shown.
bool Marked(QWidget* control, QPoint at)
{
    const QColor highlight = control->palette().color(QPalette::Active, QPalette::Highlight);
    return control->grab().toImage().pixelColor(at) == highlight;
}

TEST(WindowKeyboard, PictureBoxesAndTheSliderShowAFocusMarkWhenFocusedByKeyboard)
{
    Recorded recorded;
    Form1 form(TestOptions(recorded));
    // The window becomes active in the loop's turns between the steps.
    RunWindow(form,
        {[&] { form.activateWindow(); },
            [&] {
                ASSERT_TRUE(form.isActiveWindow());
                ASSERT_EQ(QApplication::focusWidget(), form.Pic1);
                EXPECT_FALSE(Marked(form.Pic1, QPoint(0, 100))) << "focused at start, not by keyboard";

                QTest::keyClick(form.Pic1, Qt::Key_Tab);
                ASSERT_EQ(QApplication::focusWidget(), form.Pic2);
                for (const QPoint at :
                    {QPoint(0, 100), QPoint(1, 100), QPoint(352, 100), QPoint(100, 0), QPoint(100, 351)})
                    EXPECT_TRUE(Marked(form.Pic2, at)) << at.x() << "," << at.y();
                EXPECT_EQ(form.Pic2->grab().toImage().pixelColor(2, 100), QColor(128, 128, 255))
                    << "the picture stays whole";
                EXPECT_FALSE(Marked(form.Pic1, QPoint(0, 100)));

                form.HScroll1->setFocus(Qt::TabFocusReason);
                EXPECT_TRUE(Marked(form.HScroll1, QPoint(0, 8)));
                EXPECT_TRUE(Marked(form.HScroll1, QPoint(100, form.HScroll1->height() - 1)));
                EXPECT_FALSE(Marked(form.Pic2, QPoint(0, 100)));
            }});
}

} // namespace
