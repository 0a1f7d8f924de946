// Panning in the window: the wheel and a middle-button drag over either
// picture move both, and what the boxes draw is the crop of the image at
// the offset.
#include "scratch_folder.h"
#include "window_test_support.h"

#include <QApplication>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace {

using namespace window_testing;

// What the box draws inside its frame.
QImage Drawn(app::PictureBox* box)
{
    return box->grab(box->contentsRect()).toImage().convertToFormat(QImage::Format_RGB32);
}

void TurnWheel(QWidget* target, QPoint at, QPoint angle)
{
    QWheelEvent wheel(
        at, target->mapToGlobal(at), QPoint(), angle, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &wheel);
}

TEST(WindowPanning, TheWheelAndAMiddleDragMoveBothPicturesWhichDrawTheCropAtTheOffset)
{
    testsupport::ScratchFolder folder;
    ASSERT_TRUE(folder.isValid());
    Recorded recorded;
    app::Form1 form{TestOptions(recorded)};
    const QImage image = Gradient(1200, 900);
    const QString path = window_testing::WritePng(folder, QStringLiteral("large.png"), image);
    const auto crop = [&](QPoint from) {
        return image.copy(QRect(from, form.Pic1->contentsRect().size())).convertToFormat(QImage::Format_RGB32);
    };
    RunWindow(form,
        {[&] { DropFiles(form.Pic1, {path}); },
            [&] {
                form.HScroll1->setValue(0); // nothing matches: the result is the image
                form.CMDTransP->click();
            },
            [&] {
                ASSERT_EQ(Drawn(form.Pic2), crop({0, 0}));
                TurnWheel(form.Pic1, {100, 100}, {0, -240}); // two notches down
                TurnWheel(form.Pic2, {100, 100}, {-120, 0}); // one to the right
                // The picture follows the pointer: 70 left and 30 up shows what lies right and below.
                QTest::mousePress(form.Pic2, Qt::MiddleButton, {}, {200, 200});
                QTest::mouseMove(form.Pic2, {160, 190});
                QTest::mouseMove(form.Pic2, {130, 170});
                QTest::mouseRelease(form.Pic2, Qt::MiddleButton, {}, {130, 170});
                EXPECT_EQ(form.state().ViewOffset, QPoint(96 + 70, 192 + 30));
                EXPECT_EQ(Drawn(form.Pic1), crop({166, 222}));
                EXPECT_EQ(Drawn(form.Pic2), crop({166, 222}));

                // A drag on the source moves the view, and its release picks nothing.
                QTest::mousePress(form.Pic1, Qt::MiddleButton, {}, {100, 100});
                QTest::mouseMove(form.Pic1, {150, 100});
                QTest::mouseRelease(form.Pic1, Qt::MiddleButton, {}, {150, 100});
                EXPECT_EQ(form.state().ViewOffset, QPoint(116, 222));
                EXPECT_EQ(form.state().KeyColor, (passes::ArgbChannels{0, 0, 0, 0}));
                EXPECT_EQ(Drawn(form.Pic1), crop({116, 222}));
                // A click still picks the pixel under the pointer.
                const QPoint frame = form.Pic1->contentsRect().topLeft();
                QTest::mouseClick(form.Pic1, Qt::LeftButton, {}, frame + QPoint(10, 20));
                const QRgb picked = image.pixel(116 + 10, 222 + 20);
                EXPECT_EQ(
                    form.state().KeyColor, (passes::ArgbChannels{255, qRed(picked), qGreen(picked), qBlue(picked)}));
            }});
}

} // namespace
