// The tolerance slider and field and the replacement color fields.
#include "window_test_support.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using app::Form1;
using namespace window_testing;

class WindowFields : public ::testing::Test {
protected:
    void Run(std::function<void()> step) { RunWindow(form, {std::move(step)}); }
    Recorded recorded;
    Form1 form{TestOptions(recorded)};
};

TEST_F(WindowFields, ToleranceFieldTakesOnlyDigitsAndClampsTo255)
{
    Run([&] {
        form.TxtCF->setFocus();
        form.TxtCF->selectAll();
        QTest::keyClicks(form.TxtCF, "ab-+ .");
        EXPECT_EQ(form.TxtCF->text(), QStringLiteral("30")) << "letters and signs are discarded";
        form.TxtCF->end(false);
        QTest::keyClicks(form.TxtCF, "0"); // "300"
        EXPECT_EQ(form.TxtCF->text(), QStringLiteral("255"));
        EXPECT_EQ(form.HScroll1->value(), 255);
        EXPECT_EQ(form.state().Tolerance, 255);
        QTest::keyClicks(form.TxtCF, "99999");
        EXPECT_EQ(form.TxtCF->text(), QStringLiteral("255"));
    });
}

TEST_F(WindowFields, EmptiedToleranceFieldReadsAsZero)
{
    Run([&] {
        form.TxtCF->setFocus();
        form.TxtCF->end(false);
        QTest::keyClick(form.TxtCF, Qt::Key_Backspace);
        EXPECT_EQ(form.TxtCF->text(), QStringLiteral("3"));
        EXPECT_EQ(form.state().Tolerance, 3);
        QTest::keyClick(form.TxtCF, Qt::Key_Backspace);
        EXPECT_EQ(form.TxtCF->text(), QStringLiteral("0"));
        EXPECT_EQ(form.HScroll1->value(), 0);
        EXPECT_EQ(form.state().Tolerance, 0);
    });
}

TEST_F(WindowFields, SliderIsMirroredInTheField)
{
    Run([&] {
        form.HScroll1->setValue(77);
        EXPECT_EQ(form.TxtCF->text(), QStringLiteral("77"));
        EXPECT_EQ(form.state().Tolerance, 77);
        // An arrow click moves by one.
        form.HScroll1->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        EXPECT_EQ(form.TxtCF->text(), QStringLiteral("78"));
        EXPECT_EQ(form.state().Tolerance, 78);
    });
}

TEST_F(WindowFields, SliderReportsOnReleaseNotWhileDragging)
{
    Run([&] {
        form.HScroll1->setSliderDown(true);
        form.HScroll1->setSliderPosition(200);
        EXPECT_EQ(form.state().Tolerance, 30) << "nothing happens during the drag";
        EXPECT_EQ(form.TxtCF->text(), QStringLiteral("30"));
        form.HScroll1->setSliderDown(false);
        EXPECT_EQ(form.state().Tolerance, 200);
        EXPECT_EQ(form.TxtCF->text(), QStringLiteral("200"));
    });
}

TEST_F(WindowFields, SliderKeysRaiseAndLowerTheToleranceAsItsArrowsDo)
{
    Run([&] {
        form.HScroll1->setFocus(Qt::TabFocusReason);
        int changes = 0;
        QObject::connect(form.HScroll1, &QScrollBar::valueChanged, [&] { ++changes; });
        auto press = [&](Qt::Key key, int times, int expected) {
            for (int i = 0; i < times; ++i) QTest::keyClick(form.HScroll1, key);
            EXPECT_EQ(form.HScroll1->value(), expected) << QTest::toString(key);
            EXPECT_EQ(form.TxtCF->text(), QString::number(expected)) << QTest::toString(key);
            EXPECT_EQ(form.state().Tolerance, expected) << QTest::toString(key);
        };
        press(Qt::Key_Right, 20, 50);
        EXPECT_EQ(changes, 20) << "one change, mirrored in the field, per key";
        press(Qt::Key_Left, 5, 45);
        press(Qt::Key_Down, 3, 48);
        press(Qt::Key_Up, 1, 47);
        const int page = form.HScroll1->pageStep();
        press(Qt::Key_PageDown, 2, 47 + 2 * page);
        press(Qt::Key_PageUp, 1, 47 + page);
        press(Qt::Key_Home, 1, 0);
        press(Qt::Key_Left, 1, 0);
        press(Qt::Key_End, 1, 255);
        press(Qt::Key_Right, 1, 255);
        // Keypad arrows are arrows too.
        QTest::keyClick(form.HScroll1, Qt::Key_Left, Qt::KeypadModifier);
        EXPECT_EQ(form.state().Tolerance, 254);
        // Right to left, the arrow keys turn around with the bar's arrows.
        form.HScroll1->setLayoutDirection(Qt::RightToLeft);
        press(Qt::Key_Right, 4, 250);
        press(Qt::Key_Down, 1, 251);
    });
}

TEST_F(WindowFields, PasteOfAnythingButDigitsIsRefused)
{
    Run([&] {
        form.TxtCF->selectAll();
        QGuiApplication::clipboard()->setText(QStringLiteral("12a"));
        form.TxtCF->paste();
        EXPECT_EQ(form.TxtCF->text(), QStringLiteral("30"));
        QGuiApplication::clipboard()->setText(QStringLiteral("120"));
        form.TxtCF->selectAll();
        form.TxtCF->paste();
        EXPECT_EQ(form.TxtCF->text(), QStringLiteral("120"));
        EXPECT_EQ(form.state().Tolerance, 120);
    });
}

TEST_F(WindowFields, ColorFieldsDriveTheReplacementColor)
{
    Run([&] {
        form.TxtCol[1]->setText(QStringLiteral("10"));
        form.TxtCol[2]->setText(QStringLiteral("200"));
        form.TxtCol[3]->setText(QStringLiteral("99999"));
        form.TxtCol[0]->setText(QStringLiteral("128"));
        EXPECT_EQ(form.TxtCol[3]->text(), QStringLiteral("255"));
        EXPECT_EQ(form.state().TargetAlpha, 128);
        EXPECT_EQ(form.state().ReplacementColor.R, 10);
        EXPECT_EQ(form.state().ReplacementColor.G, 200);
        EXPECT_EQ(form.state().ReplacementColor.B, 255);
        EXPECT_EQ(form.LbChange->palette().color(QPalette::Window), QColor(10, 200, 255));

        // Emptied: refilled with "0", and the swatch loses its green.
        form.TxtCol[2]->setFocus();
        form.TxtCol[2]->selectAll();
        QTest::keyClick(form.TxtCol[2], Qt::Key_Backspace);
        EXPECT_EQ(form.TxtCol[2]->text(), QStringLiteral("0"));
        EXPECT_EQ(form.state().ReplacementColor.G, 0);
        EXPECT_EQ(form.LbChange->palette().color(QPalette::Window), QColor(10, 0, 255));

        form.TxtCol[1]->setFocus();
        form.TxtCol[1]->selectAll();
        QTest::keyClicks(form.TxtCol[1], "x99999");
        EXPECT_EQ(form.TxtCol[1]->text(), QStringLiteral("255"));
    });
}

} // namespace
