// The window as it opens: every control in place with its text and value.
#include "window_test_support.h"

#include "app/texts.h"

#include <QPalette>

#include <gtest/gtest.h>

namespace {

using app::Form1;
using namespace window_testing;

QRect Twips(int left, int top, int width, int height) { return QRect(left / 15, top / 15, width / 15, height / 15); }

TEST(WindowLayout, EveryControlSitsAtItsPlaceWithItsText)
{
    Recorded recorded;
    Form1 form(TestOptions(recorded));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Chromobrisk"));
    EXPECT_EQ(form.size(), QSize(745, 547));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "the user cannot resize the window";
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);

    struct Expected {
        QWidget* control;
        QRect geometry;
    };
    const Expected places[] = {
        {form.Label2, Twips(1560, 240, 2055, 255)},
        {form.Label3, Twips(7200, 240, 2175, 255)},
        {form.Pic1, Twips(120, 480, 5295, 5295)},
        {form.Pic2, Twips(5760, 480, 5295, 5295)},
        {form.Label7, Twips(120, 6000, 2055, 1455)},
        {form.Label1, Twips(2400, 6120, 975, 255)},
        {form.LBCol, Twips(3240, 6075, 2055, 255)},
        {form.Label6, Twips(3120, 6600, 615, 255)},
        {form.TxtCF, Twips(3840, 6555, 615, 270)},
        {form.HScroll1, Twips(2400, 6960, 2895, 255)},
        {form.Label4, Twips(5880, 6120, 1095, 255)},
        {form.LbChange, Twips(6720, 6075, 2055, 255)},
        {form.CmdPickP, Twips(6000, 6840, 1335, 495)},
        {form.CmdPick, Twips(7560, 6840, 1335, 495)},
        {form.CMDSAVE, Twips(9360, 6240, 1455, 855)},
        {form.CMDTransP, Twips(1920, 7560, 2055, 495)},
        {form.CMDARec, Twips(4560, 7560, 2055, 495)},
        {form.CMDChange, Twips(7200, 7560, 2055, 495)},
        {form.Label8, Twips(9480, 7920, 1695, 255)},
    };
    for (const Expected& place : places)
        EXPECT_EQ(place.control->geometry(), place.geometry) << place.control->metaObject()->className();
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(form.TxtCol[i]->geometry(), Twips(6240 + 720 * i, 6480, 495, 270)) << i;
        // Each channel letter stands 120 twips left of its field.
        EXPECT_EQ(form.Label5[i]->geometry(), Twips(6120 + 720 * i, 6525, 135, 255)) << i;
    }
    EXPECT_EQ(Form1::Shape1, Twips(5760, 6000, 3255, 1455));
    EXPECT_EQ(Form1::Shape2, Twips(2280, 6000, 3135, 1455));

    EXPECT_EQ(form.Label2->text(), QStringLiteral("预处理图像"));
    EXPECT_EQ(form.Label3->text(), QStringLiteral("已处理图像"));
    EXPECT_EQ(form.Label1->text(), QStringLiteral("处理颜色："));
    EXPECT_EQ(form.Label6->text(), QStringLiteral("容差："));
    EXPECT_EQ(form.Label4->text(), QStringLiteral("转换颜色："));
    EXPECT_EQ(form.CmdPickP->text(), QStringLiteral("从图像选取"));
    EXPECT_EQ(form.CmdPick->text(), QStringLiteral("从调色板选取"));
    EXPECT_EQ(form.CMDSAVE->text(), QStringLiteral("保存图像到SAVE文件夹"));
    EXPECT_EQ(form.CMDTransP->text(), QStringLiteral("简单去底"));
    EXPECT_EQ(form.CMDARec->text(), QStringLiteral("透明通道还原性去底"));
    EXPECT_EQ(form.CMDChange->text(), QStringLiteral("颜色替换"));
    EXPECT_TRUE(form.Label7->text().startsWith(QStringLiteral("使用方法：将要处理的图像拖进黑色相框。")));
    EXPECT_TRUE(form.Label7->wordWrap());
    const QString letters[4] = {"A", "R", "G", "B"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(form.Label5[i]->text(), letters[i]);
    EXPECT_FALSE(form.Label8->text().isEmpty());
    EXPECT_TRUE(form.Label8->font().bold());
    EXPECT_EQ(form.Label8->font().pointSize(), 12);
}

TEST(WindowLayout, StartsWithTheDefaultValuesAndColors)
{
    Recorded recorded;
    Form1 form(TestOptions(recorded));
    RunWindow(form, {[&] {
        EXPECT_EQ(form.TxtCF->text(), QStringLiteral("30"));
        EXPECT_EQ(form.HScroll1->minimum(), 0);
        EXPECT_EQ(form.HScroll1->maximum(), 255);
        EXPECT_EQ(form.HScroll1->value(), 30);
        EXPECT_EQ(form.state().Tolerance, 30);
        EXPECT_EQ(form.state().TargetAlpha, 255);
        const QString fields[4] = {"255", "0", "0", "0"};
        for (int i = 0; i < 4; ++i) EXPECT_EQ(form.TxtCol[i]->text(), fields[i]);
        EXPECT_TRUE(form.LBCol->text().isEmpty());
        EXPECT_EQ(form.LBCol->palette().color(QPalette::Window), QColor(Qt::black));
        EXPECT_EQ(form.LbChange->palette().color(QPalette::Window), QColor(Qt::black));
        EXPECT_EQ(window_testing::Shown(form.Pic1, 0, 0), qRgb(0, 0, 0));
        EXPECT_EQ(window_testing::Shown(form.Pic2, 100, 100), qRgb(128, 128, 255));
        EXPECT_EQ(form.focusWidget(), form.Pic1);
        EXPECT_TRUE(form.isVisible());
    }});
}

TEST(WindowLayout, PictureBoxesMeasureTheirInnerAreaInPixels)
{
    Recorded recorded;
    Form1 form(TestOptions(recorded));
    // A sunken border of two pixels: 353 outside, 349 inside.
    EXPECT_EQ(form.Pic1->surface().target()->size(), QSize(349, 349));
    EXPECT_EQ(form.Pic2->surface().target()->size(), QSize(349, 349));
    EXPECT_EQ(form.Pic1->contentsRect().topLeft(), QPoint(2, 2));
    EXPECT_TRUE(form.Pic1->acceptDrops());
    EXPECT_FALSE(form.Pic2->acceptDrops());
}

TEST(WindowLayout, TabMovesThroughTheControlsInTheirOrder)
{
    Recorded recorded;
    Form1 form(TestOptions(recorded));
    RunWindow(form, {[&] {
        const QWidget* const order[] = {form.Pic1, form.Pic2, form.TxtCol[0], form.CMDChange, form.CMDSAVE,
            form.TxtCol[1], form.TxtCol[2], form.TxtCol[3], form.CmdPick, form.CmdPickP, form.HScroll1, form.TxtCF,
            form.CMDARec, form.CMDTransP, form.Pic1};
        // What Tab does: the next widget of the focus chain that takes tab focus.
        auto nextTabStop = [&](const QWidget* from) {
            QWidget* next = from->nextInFocusChain();
            while (next != from && (next == &form || !(next->focusPolicy() & Qt::TabFocus) || !next->isVisible()))
                next = next->nextInFocusChain();
            return next;
        };
        for (std::size_t i = 0; i + 1 < std::size(order); ++i) EXPECT_EQ(nextTabStop(order[i]), order[i + 1]) << i;
        for (QWidget* label : {static_cast<QWidget*>(form.Label7), static_cast<QWidget*>(form.LBCol)})
            EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
    }});
}

} // namespace
