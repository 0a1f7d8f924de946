// Dropping an image on the source picture and picking colors from it.
#include "scratch_folder.h"
#include "window_test_support.h"

#include "app/caption_color.h"
#include "imaging/mgdip.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QPalette>
#include <QTest>
#include <QUrl>

#include <cmath>

#include <gtest/gtest.h>

namespace {

using app::Form1;
using namespace window_testing;

// Columns 0..19 hold red = column, so a pick shows which column was read.
QImage Ramp()
{
    QImage image(20, 6, QImage::Format_ARGB32);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 20; ++x) image.setPixel(x, y, qRgba(x, 32, 48, y == 5 ? 0 : 255));
    image.setPixel(3, 4, qRgba(16, 32, 48, 128));
    return image;
}

class WindowPicking : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    testsupport::ScratchFolder folder;
    Recorded recorded;
    Form1 form{TestOptions(recorded)};
};

TEST_F(WindowPicking, DroppedImageIsShownUnscaledOnBlack)
{
    const QString path = window_testing::WritePng(folder, QStringLiteral(" ramp.final.png"), Ramp());
    RunWindow(form, {[&] {
        DropFiles(form.Pic1, {path, folder.filePath(QStringLiteral("second.png"))});
        EXPECT_EQ(form.state().SourceFileName, QStringLiteral("ramp.final.png")) << "trimmed last component";
        EXPECT_EQ(form.state().ImageWidth, 20);
        EXPECT_EQ(form.state().ImageHeight, 6);
        EXPECT_EQ(Shown(form.Pic1, 7, 0), qRgb(7, 32, 48));
        EXPECT_EQ(Shown(form.Pic1, 7, 5), qRgb(0, 0, 0)) << "transparent pixels show the black beneath";
        EXPECT_EQ(Shown(form.Pic1, 25, 2), qRgb(0, 0, 0));
        EXPECT_TRUE(recorded.messages.isEmpty());
    }});
}

TEST_F(WindowPicking, UndecodableDropChangesNothingAndSaysWhy)
{
    const QString good = window_testing::WritePng(folder, QStringLiteral("good.png"), Ramp());
    QFile bad(folder.filePath(QStringLiteral("notes.png")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not an image at all");
    bad.close();
    RunWindow(form,
        {[&] { DropFiles(form.Pic1, {good}); }, [&] { form.CMDTransP->click(); },
            [&] {
                const mGdip::Image before = form.state().SourceImage;
                DropFiles(form.Pic1, {bad.fileName()});
                ASSERT_EQ(recorded.messages.size(), 1);
                EXPECT_TRUE(recorded.messages[0].contains(QStringLiteral("notes.png")));
                EXPECT_EQ(form.state().SourceFileName, QStringLiteral("good.png"));
                EXPECT_EQ(form.state().SourceImage.qimage().constBits(), before.qimage().constBits());
                EXPECT_FALSE(form.state().WorkBitmap.isNull()) << "the last result stays";
                EXPECT_EQ(Shown(form.Pic1, 7, 0), qRgb(7, 32, 48));
            }});
}

TEST_F(WindowPicking, DropWithoutAFileIsIgnored)
{
    RunWindow(form, {[&] {
        QMimeData text;
        text.setText(QStringLiteral("just text"));
        text.setUrls({QUrl(QStringLiteral("https://example.org/picture.png"))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.Pic1, &enter);
        EXPECT_FALSE(enter.isAccepted()) << "the box does not offer to take it";
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.Pic1, &drop);
        EXPECT_TRUE(form.state().SourceImage.isNull());
        EXPECT_TRUE(recorded.messages.isEmpty());
    }});
}

TEST_F(WindowPicking, DropOfANameThatIsNotUtf8OpensTheFileItNames)
{
    const QByteArray folderBytes = QFile::encodeName(folder.path());
    window_testing::WritePng(mGdip::PathFromBytes(folderBytes), mGdip::PathFromBytes("lat\xe9.png"), Ramp());
    RunWindow(form, {[&] {
        // As a file manager sends it: the name's bytes percent-encoded.
        QMimeData data;
        data.setUrls({QUrl::fromEncoded("file://" + (folderBytes + "/lat\xe9.png").toPercentEncoding("/"))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.Pic1, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.Pic1, &drop);
        EXPECT_TRUE(recorded.messages.isEmpty()) << recorded.messages.join('\n').toStdString();
        EXPECT_EQ(form.state().SourceFileName, mGdip::PathFromBytes("lat\xe9.png"));
        EXPECT_EQ(form.state().ImageWidth, 20);
    }});
}

TEST_F(WindowPicking, DropIsOnlyEverACopyOrALinkWhateverTheModifiers)
{
    struct Case {
        Qt::DropActions offered;
        Qt::KeyboardModifiers modifiers;
        Qt::DropAction proposed; // what the platform makes of the modifiers
        Qt::DropAction taken; // what the drag source is told
    };
    const Case cases[] = {
        {Qt::MoveAction, Qt::NoModifier, Qt::MoveAction, Qt::IgnoreAction}, // refused
        {Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::ShiftModifier, Qt::MoveAction, Qt::CopyAction},
        {Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::ControlModifier | Qt::ShiftModifier, Qt::LinkAction,
            Qt::CopyAction},
        {Qt::CopyAction | Qt::MoveAction, Qt::NoModifier, Qt::CopyAction, Qt::CopyAction},
        {Qt::MoveAction | Qt::LinkAction, Qt::ShiftModifier, Qt::MoveAction, Qt::LinkAction},
    };
    RunWindow(form, {[&] {
        int n = 0;
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "offered " << int(c.offered) << ", modifiers " << int(c.modifiers));
            const QString name = QStringLiteral("ramp%1.png").arg(n++);
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(window_testing::WritePng(folder, name, Ramp()))});
            const bool taken = c.taken != Qt::IgnoreAction;
            QDragEnterEvent enter(QPoint(5, 5), c.offered, &data, Qt::LeftButton, c.modifiers);
            ASSERT_EQ(enter.proposedAction(), c.proposed);
            QCoreApplication::sendEvent(form.Pic1, &enter);
            EXPECT_EQ(enter.isAccepted(), taken);
            if (taken) {
                EXPECT_EQ(enter.dropAction(), c.taken);
            }
            QDragMoveEvent move(QPoint(6, 6), c.offered, &data, Qt::LeftButton, c.modifiers);
            QCoreApplication::sendEvent(form.Pic1, &move);
            EXPECT_EQ(move.isAccepted(), taken);
            if (taken) {
                EXPECT_EQ(move.dropAction(), c.taken);
            }
            QDropEvent drop(QPointF(6, 6), c.offered, &data, Qt::LeftButton, c.modifiers);
            QCoreApplication::sendEvent(form.Pic1, &drop);
            EXPECT_EQ(drop.isAccepted(), taken);
            if (taken) {
                EXPECT_EQ(drop.dropAction(), c.taken);
            }
            EXPECT_EQ(form.state().SourceFileName, taken ? name : QString()) << "a refused drop loads nothing";
        }
    }});
}

TEST_F(WindowPicking, ClickPicksTheKeyAtTheRoundedPosition)
{
    const QString path = window_testing::WritePng(folder, QStringLiteral("ramp.png"), Ramp());
    RunWindow(form,
        {[&] { DropFiles(form.Pic1, {path}); },
            [&] {
                ReleaseMouseAt(form.Pic1, QPointF(10.5, 1.0)); // half: to even, column 10
                EXPECT_EQ(form.state().KeyColor, (passes::ArgbChannels{255, 10, 32, 48}));
                ReleaseMouseAt(form.Pic1, QPointF(11.5, 1.0), Qt::RightButton); // column 12
                EXPECT_EQ(form.state().KeyColor.R, 12);
                EXPECT_EQ(form.LBCol->text(), QStringLiteral("A255 R12 G32 B48"));
                EXPECT_EQ(form.LBCol->palette().color(QPalette::Window), QColor(12, 32, 48));

                ReleaseMouseAt(form.Pic1, QPointF(3, 4)); // alpha 128
                EXPECT_EQ(form.state().KeyColor, (passes::ArgbChannels{128, 16, 32, 48}));
                EXPECT_EQ(form.state().TargetAlpha, 128);
                EXPECT_EQ(form.TxtCol[0]->text(), QStringLiteral("128"));
                EXPECT_EQ(form.LBCol->text(), QStringLiteral("A128 R16 G32 B48"));
                EXPECT_EQ(form.LBCol->palette().color(QPalette::Window), QColor(16, 32, 48));

                // Outside the image: the last picked pixel again.
                ReleaseMouseAt(form.Pic1, QPointF(200, 200));
                EXPECT_EQ(form.state().KeyColor, (passes::ArgbChannels{128, 16, 32, 48}));
            }});
}

TEST_F(WindowPicking, ClicksOnThePicturesFrameOrBeyondPickNothing)
{
    // Wider than the box, so the columns under the frame exist in the image.
    QImage wide(360, 360, QImage::Format_ARGB32);
    for (int y = 0; y < wide.height(); ++y)
        for (int x = 0; x < wide.width(); ++x) wide.setPixel(x, y, qRgba(x & 255, x >> 8, y & 255, 255));
    const QString path = window_testing::WritePng(folder, QStringLiteral("wide.png"), wide);
    RunWindow(form,
        {[&] { DropFiles(form.Pic1, {path}); },
            [&] {
                ASSERT_EQ(form.Pic1->contentsRect(), QRect(2, 2, 349, 349));
                // The last inner pixel, then the first.
                QTest::mouseClick(form.Pic1, Qt::LeftButton, {}, QPoint(350, 350));
                EXPECT_EQ(form.state().KeyColor, (passes::ArgbChannels{255, 348 & 255, 1, 348 & 255}));
                QTest::mouseClick(form.Pic1, Qt::LeftButton, {}, QPoint(2, 2));
                EXPECT_EQ(form.state().KeyColor, (passes::ArgbChannels{255, 0, 0, 0}));
                // A key pick would write the alpha field again.
                form.TxtCol[0]->setText(QStringLiteral("7"));

                for (int offset : {0, 1, 351, 352}) {
                    QTest::mouseClick(form.Pic1, Qt::LeftButton, {}, QPoint(offset, 100));
                    QTest::mouseClick(form.Pic1, Qt::RightButton, {}, QPoint(100, offset));
                }
                QTest::mouseClick(form.Pic1, Qt::LeftButton, {}, QPoint(400, 100)); // released beyond
                EXPECT_EQ(form.state().KeyColor, (passes::ArgbChannels{255, 0, 0, 0}));
                EXPECT_EQ(form.LBCol->text(), QStringLiteral("A255 R0 G0 B0"));
                EXPECT_EQ(form.TxtCol[0]->text(), QStringLiteral("7"));
            }});
}

TEST_F(WindowPicking, KeyCaptionIsBlackOrWhiteWhicheverContrastsMore)
{
    struct Swatch {
        QRgb color;
        QColor caption;
    };
    const Swatch swatches[] = {
        {qRgb(0, 255, 0), Qt::black},
        {qRgb(0, 177, 64), Qt::black},
        {qRgb(0, 128, 0), Qt::white},
        {qRgb(0, 0, 0), Qt::white},
        {qRgb(255, 255, 255), Qt::black},
        {qRgb(117, 117, 117), Qt::white},
        {qRgb(118, 118, 118), Qt::black},
        {qRgb(255, 0, 0), Qt::black},
        {qRgb(0, 0, 255), Qt::white},
    };
    QImage image(int(std::size(swatches)), 1, QImage::Format_ARGB32);
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, 0, swatches[x].color);
    const QString path = window_testing::WritePng(folder, QStringLiteral("swatches.png"), image);
    RunWindow(form,
        {[&] { DropFiles(form.Pic1, {path}); },
            [&] {
                for (int x = 0; x < image.width(); ++x) {
                    ReleaseMouseAt(form.Pic1, QPointF(x, 0));
                    EXPECT_EQ(form.LBCol->palette().color(QPalette::Window), QColor(swatches[x].color)) << x;
                    EXPECT_EQ(form.LBCol->palette().color(QPalette::WindowText), swatches[x].caption)
                        << QColor(swatches[x].color).name().toStdString();
                }
            }});
}

// The contrast ratio of two colors, straight from the WCAG definitions.
double Contrast(double r, double g, double b, double against)
{
    auto linear = [](double v) {
        v /= 255;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    const double l = 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b);
    return (std::max(l, against) + 0.05) / (std::min(l, against) + 0.05);
}

TEST(KeyCaptionColor, AlwaysTheHigherContrastOverGreensGreysAndAllHues)
{
    int checked = 0;
    auto check = [&](int r, int g, int b) {
        const bool black = app::BlackTextReadsBetterOn(r, g, b);
        const double chosen = Contrast(r, g, b, black ? 0.0 : 1.0), other = Contrast(r, g, b, black ? 1.0 : 0.0);
        ++checked;
        if (chosen < other) ADD_FAILURE() << r << "," << g << "," << b << ": " << chosen << " < " << other;
    };
    for (int g = 0; g < 256; ++g)
        for (int r = 0; r < 256; r += 5)
            for (int b = 0; b < 256; b += 5) check(r, g, b);
    for (int v = 0; v < 256; ++v) check(v, v, v);
    EXPECT_EQ(checked, 256 * 52 * 52 + 256);
}

TEST_F(WindowPicking, FirstClickWithoutAnImagePicksAllZero)
{
    RunWindow(form, {[&] {
        ReleaseMouseAt(form.Pic1, QPointF(5, 5));
        EXPECT_EQ(form.state().KeyColor, (passes::ArgbChannels{0, 0, 0, 0}));
        EXPECT_EQ(form.LBCol->text(), QStringLiteral("A0 R0 G0 B0"));
        EXPECT_EQ(form.TxtCol[0]->text(), QStringLiteral("0"));
    }});
}

TEST_F(WindowPicking, PickFromImageIsOneShot)
{
    const QString path = window_testing::WritePng(folder, QStringLiteral("ramp.png"), Ramp());
    RunWindow(form,
        {[&] { DropFiles(form.Pic1, {path}); },
            [&] {
                ReleaseMouseAt(form.Pic1, QPointF(2, 0));
                form.CmdPickP->click();
                ReleaseMouseAt(form.Pic1, QPointF(3, 4));
                EXPECT_EQ(form.state().KeyColor.R, 2) << "the key stays";
                EXPECT_EQ(form.state().TargetAlpha, 128);
                EXPECT_EQ(form.state().ReplacementColor.R, 16);
                const QString fields[4] = {"128", "16", "32", "48"};
                for (int i = 0; i < 4; ++i) EXPECT_EQ(form.TxtCol[i]->text(), fields[i]);
                EXPECT_EQ(form.LbChange->palette().color(QPalette::Window), QColor(16, 32, 48));
                EXPECT_FALSE(form.state().PickReplacementFromImage);

                ReleaseMouseAt(form.Pic1, QPointF(9, 0));
                EXPECT_EQ(form.state().KeyColor.R, 9) << "the next click picks the key again";
                EXPECT_EQ(form.state().ReplacementColor.R, 16);
            }});
}

TEST_F(WindowPicking, PaletteSetsTheReplacementAndCancelChangesNothing)
{
    recorded.colors = {QColor(10, 20, 30), std::nullopt};
    RunWindow(form, {[&] {
        form.TxtCol[0]->setText(QStringLiteral("77"));
        form.CmdPick->click();
        EXPECT_EQ(form.TxtCol[1]->text(), QStringLiteral("10"));
        EXPECT_EQ(form.TxtCol[2]->text(), QStringLiteral("20"));
        EXPECT_EQ(form.TxtCol[3]->text(), QStringLiteral("30"));
        EXPECT_EQ(form.TxtCol[0]->text(), QStringLiteral("77")) << "alpha is not touched";
        EXPECT_EQ(form.state().TargetAlpha, 77);
        EXPECT_EQ(form.LbChange->palette().color(QPalette::Window), QColor(10, 20, 30));

        form.CmdPick->click(); // cancelled
        EXPECT_EQ(form.TxtCol[1]->text(), QStringLiteral("10"));
        EXPECT_EQ(form.state().ReplacementColor.B, 30);
        EXPECT_EQ(form.LbChange->palette().color(QPalette::Window), QColor(10, 20, 30));
        EXPECT_EQ(recorded.dialogStarts, (QStringList{"#000000", "#0a141e"})) << "opens at its last color";
    }});
}

} // namespace
