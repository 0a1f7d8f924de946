// The processing buttons run through the command loop, and what happens when
// the user acts while a pass runs.
#include "scratch_folder.h"
#include "window_test_support.h"

#include "imaging/mgdip.h"
#include "reference_passes.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

using app::Form1;
using namespace window_testing;

constexpr QRgb kLightBlue = qRgb(128, 128, 255);

// A white background with soft and hard edges, semi-transparent and fully
// transparent pixels.
QImage Scene()
{
    QImage image(6, 4, QImage::Format_ARGB32);
    image.fill(qRgba(255, 255, 255, 255));
    image.setPixel(1, 1, qRgba(240, 250, 235, 255)); // near white
    image.setPixel(2, 1, qRgba(200, 30, 40, 255)); // red
    image.setPixel(3, 1, qRgba(230, 140, 145, 255)); // soft red edge
    image.setPixel(4, 2, qRgba(10, 20, 30, 128)); // semi-transparent
    image.setPixel(5, 3, qRgba(90, 90, 90, 0)); // transparent
    image.setPixel(0, 3, qRgba(250, 250, 250, 200)); // near white, not opaque
    return image;
}

// Blending of a straight-alpha pixel over an opaque color, rounded.
QRgb Over(std::uint32_t argb, QRgb background)
{
    const int a = argb >> 24;
    auto mix = [&](int s, int d) { return (s * a + d * (255 - a) + 127) / 255; };
    return qRgb(mix((argb >> 16) & 255, qRed(background)), mix((argb >> 8) & 255, qGreen(background)),
        mix(argb & 255, qBlue(background)));
}

bool Near(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) <= 1 && std::abs(qGreen(a) - qGreen(b)) <= 1
        && std::abs(qBlue(a) - qBlue(b)) <= 1;
}

class WindowPasses : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        scenePath = window_testing::WritePng(folder, QStringLiteral("scene.png"), Scene());
    }

    // Every pixel of the result, in the work bitmap and in Pic2 over its
    // light blue background.
    void ExpectResult(const std::function<std::uint32_t(std::uint32_t)>& expected)
    {
        const QImage scene = Scene();
        for (int y = 0; y < scene.height(); ++y)
            for (int x = 0; x < scene.width(); ++x) {
                const std::uint32_t want = expected(scene.pixel(x, y));
                ASSERT_EQ(WorkPixel(form, x, y), want) << x << "," << y;
                EXPECT_TRUE(Near(Shown(form.Pic2, x, y), Over(want, kLightBlue))) << x << "," << y;
            }
        EXPECT_EQ(Shown(form.Pic2, 10, 10), kLightBlue) << "beyond the image: the background";
    }

    testsupport::ScratchFolder folder;
    QString scenePath;
    Recorded recorded;
    app::Form1Options options = TestOptions(recorded);
    Form1 form{options};
};

TEST_F(WindowPasses, SimpleRemovalButton)
{
    RunWindow(form,
        {[&] { DropFiles(form.Pic1, {scenePath}); },
            [&] {
                ReleaseMouseAt(form.Pic1, QPointF(0, 0)); // white key
                form.CMDTransP->click();
                EXPECT_EQ(form.state().PendingCommand, passes::kSimpleRemoval);
            },
            [&] {
                EXPECT_EQ(form.state().PendingCommand, 0);
                ExpectResult([](std::uint32_t v) { return reference::SimpleRemoval(v, 255, 255, 255, 30); });
            }});
}

TEST_F(WindowPasses, AlphaRestoringButton)
{
    RunWindow(form,
        {[&] { DropFiles(form.Pic1, {scenePath}); },
            [&] {
                ReleaseMouseAt(form.Pic1, QPointF(0, 0));
                form.HScroll1->setValue(60);
                form.CMDARec->click();
            },
            [&] {
                ExpectResult([](std::uint32_t v) { return reference::AlphaRestoringRemoval(v, 255, 255, 255, 60); });
            }});
}

TEST_F(WindowPasses, ColorReplacementButtonReadsTheAlphaFieldAtTheStart)
{
    recorded.colors = {QColor(0, 100, 0)};
    RunWindow(form,
        {[&] { DropFiles(form.Pic1, {scenePath}); },
            [&] {
                ReleaseMouseAt(form.Pic1, QPointF(0, 0));
                form.CmdPick->click();
                form.TxtCol[0]->setText(QStringLiteral("200"));
                form.CMDChange->click();
            },
            [&] {
                EXPECT_EQ(form.state().TargetAlpha, 200);
                ExpectResult([](std::uint32_t v) {
                    return reference::ColorReplacement(
                        v, 255, 255, 255, 255, 200 - 255, 0 - 255, 100 - 255, 0 - 255, 30);
                });
            }});
}

TEST_F(WindowPasses, RunningTheSamePassTwiceGivesTheSameResult)
{
    QImage first;
    RunWindow(form,
        {[&] { DropFiles(form.Pic1, {scenePath}); },
            [&] {
                ReleaseMouseAt(form.Pic1, QPointF(0, 0));
                form.CMDARec->click();
            },
            [&] {
                first = form.state().WorkBitmap.snapshot().qimage().copy();
                form.CMDARec->click();
            },
            [&] { EXPECT_EQ(form.state().WorkBitmap.snapshot().qimage(), first); }});
}

TEST_F(WindowPasses, PassWithoutAnImageOnlyClearsTheResult)
{
    RunWindow(form,
        {[&] { form.CMDTransP->click(); },
            [&] {
                EXPECT_TRUE(form.state().WorkBitmap.isNull());
                EXPECT_EQ(Shown(form.Pic2, 0, 0), kLightBlue);
                EXPECT_EQ(Shown(form.Pic2, 348, 348), kLightBlue);
            }});
}

// A pass that yields after every row, for acting in the middle of it.
class WindowDuringPass : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        QImage image(7, 8, QImage::Format_ARGB32);
        image.fill(qRgba(16, 32, 48, 255));
        path = window_testing::WritePng(folder, QStringLiteral("flat.png"), image);
        options.yieldSlice = std::chrono::nanoseconds(0);
        options.onPassYield = [this] {
            ++yields;
            if (atYield) atYield(yields);
        };
    }
    void Start() { form = std::make_unique<Form1>(options); }

    testsupport::ScratchFolder folder;
    QString path;
    Recorded recorded;
    app::Form1Options options = TestOptions(recorded);
    std::unique_ptr<Form1> form;
    int yields = 0;
    std::function<void(int)> atYield;
};

TEST_F(WindowDuringPass, ToleranceChangedDuringAPassReachesOnlyTheRemainingRows)
{
    Start();
    atYield = [&](int yield) {
        if (yield == 3) form->HScroll1->setValue(0); // after rows 0, 1 and 2
        EXPECT_EQ(
            QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor, Qt::WaitCursor);
    };
    RunWindow(*form,
        {[&] { DropFiles(form->Pic1, {path}); },
            [&] {
                ReleaseMouseAt(form->Pic1, QPointF(0, 0));
                form->CMDTransP->click();
            },
            [&] {
                EXPECT_EQ(yields, 8);
                for (int y = 0; y < 8; ++y) EXPECT_EQ(WorkPixel(*form, 6, y), y < 3 ? 0u : 0xFF102030u) << y;
                EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "busy cursor only during the pass";
            }});
}

TEST_F(WindowDuringPass, ButtonPressedDuringAPassHasNoLastingEffect)
{
    Start();
    atYield = [&](int yield) {
        if (yield == 1) form->CMDARec->click();
    };
    RunWindow(*form,
        {[&] { DropFiles(form->Pic1, {path}); },
            [&] {
                ReleaseMouseAt(form->Pic1, QPointF(0, 0));
                form->CMDTransP->click();
            },
            [&] {
                EXPECT_EQ(yields, 8) << "one pass ran, not two";
                EXPECT_EQ(form->state().PendingCommand, 0);
                EXPECT_EQ(WorkPixel(*form, 0, 7), 0u) << "the simple removal's result";
            }});
}

TEST_F(WindowDuringPass, DropDuringAPassLoadsTheNewImageWhileThePassFinishesTheOld)
{
    QImage other(3, 2, QImage::Format_ARGB32);
    other.fill(qRgba(1, 2, 3, 255));
    Start();
    const QString otherPath = window_testing::WritePng(folder, QStringLiteral("other.png"), other);
    atYield = [&](int yield) {
        if (yield == 2) DropFiles(form->Pic1, {otherPath});
    };
    RunWindow(*form,
        {[&] { DropFiles(form->Pic1, {path}); },
            [&] {
                ReleaseMouseAt(form->Pic1, QPointF(0, 0));
                form->CMDTransP->click();
            },
            [&] {
                EXPECT_EQ(form->state().SourceFileName, QStringLiteral("other.png"));
                EXPECT_EQ(form->state().ImageWidth, 3);
                const mGdip::Image result = form->state().WorkBitmap.snapshot();
                EXPECT_EQ(result.width(), 7);
                EXPECT_EQ(WorkPixel(*form, 6, 7), 0u) << "finished on the image it started with";
                EXPECT_EQ(Shown(form->Pic1, 0, 0), qRgb(1, 2, 3));
            }});
}

TEST_F(WindowDuringPass, ResultOfAPassKeepsItsOwnSizeAndNameWhenAnotherImageIsDroppedDuringIt)
{
    testsupport::ScratchFolder program;
    ASSERT_TRUE(QDir(program.path()).mkdir(QStringLiteral("SAVE")));
    options.programFolder = program.path();
    QImage other(3, 2, QImage::Format_ARGB32);
    other.fill(qRgba(1, 2, 3, 255));
    const QString otherPath = window_testing::WritePng(folder, QStringLiteral("other.png"), other);
    Start();
    atYield = [&](int yield) {
        if (yield == 2) DropFiles(form->Pic1, {otherPath});
    };
    RunWindow(*form,
        {[&] { DropFiles(form->Pic1, {path}); },
            [&] {
                form->HScroll1->setValue(0); // nothing matches: every pixel stays
                form->CMDTransP->click();
            },
            [&] {
                ASSERT_EQ(form->state().ImageWidth, 3);
                // All of the 7 x 8 result, not just the new image's 3 x 2.
                for (const QPoint p : {QPoint(6, 7), QPoint(3, 2), QPoint(0, 7), QPoint(6, 0)})
                    EXPECT_EQ(Shown(form->Pic2, p.x(), p.y()), qRgb(16, 32, 48)) << p.x() << "," << p.y();
                EXPECT_EQ(Shown(form->Pic2, 7, 8), kLightBlue);
                form->CMDSAVE->click();
            }});
    EXPECT_EQ(QDir(program.filePath(QStringLiteral("SAVE"))).entryList(QDir::Files), QStringList{"flat.png.png"});
}

TEST_F(WindowDuringPass, ClosingDuringAPassStopsItAndReleasesAfterwards)
{
    Start();
    atYield = [&](int yield) {
        if (yield == 2) form->close();
    };
    bool reachedAfterClose = false;
    const int code = RunWindow(*form,
        {[&] { DropFiles(form->Pic1, {path}); },
            [&] {
                ReleaseMouseAt(form->Pic1, QPointF(0, 0));
                form->CMDTransP->click();
            },
            [&] { reachedAfterClose = true; }});
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(reachedAfterClose) << "the loop ended with the window";
    EXPECT_EQ(yields, 2) << "the pass stopped at the yield where the window closed";
    EXPECT_TRUE(form->state().ExitRequested);
    EXPECT_FALSE(form->state().PassRunning);
    EXPECT_TRUE(form->state().WorkBitmap.isNull());
    EXPECT_TRUE(form->state().SourceImage.isNull());
    EXPECT_TRUE(form->state().ResultSurface.isNull());
    EXPECT_EQ(mGdip::ImagingToken(), 0u);
    mGdip::StartImaging(false, false, {}, 0, {});
}

TEST(WindowLoopDeathTest, ImagingStartUpFailureIsShownAndEndsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            mGdip::ShutdownImaging();
            mGdip::SetPlatformProbeForTesting([] { return false; });
            Recorded recorded;
            app::Form1Options options = TestOptions(recorded);
            options.showStartupFailure = [](const QString& title, const QString& text) {
                std::fprintf(stderr, "[%s] %s\n", qPrintable(title), qPrintable(text));
            };
            Form1 form(options);
            // Should the program go on, its window closes and it ends normally.
            QTimer::singleShot(2000, &form, [&] { form.close(); });
            form.Load();
            std::fprintf(stderr, "the window opened\n");
            std::exit(0);
        },
        ::testing::ExitedWithCode(EXIT_FAILURE), "\\[初始化错误\\] GDI\\+ 初始化错误。程序即将关闭。");
}

TEST(WindowLoop, RunsDeferredDeletes)
{
    Recorded recorded;
    Form1 form(TestOptions(recorded));
    QPointer<QObject> doomed;
    RunWindow(form,
        {[&] {
             doomed = new QObject;
             doomed->deleteLater();
         },
            [&] {}, [&] { EXPECT_TRUE(doomed.isNull()); }});
}

TEST(WindowLoop, ClosingWhileIdleEndsTheLoopAndReleasesEverything)
{
    Recorded recorded;
    Form1 form(TestOptions(recorded));
    EXPECT_EQ(RunWindow(form, {}), 0);
    EXPECT_TRUE(form.state().ExitRequested);
    EXPECT_TRUE(form.state().SourceSurface.isNull());
    EXPECT_EQ(mGdip::ImagingToken(), 0u);
    mGdip::StartImaging(false, false, {}, 0, {});
}

} // namespace
