// Decoding a drop and encoding a save off the window's thread: the busy
// cursor, a window that keeps handling events and painting meanwhile, events
// in the order one thread would see them, and a safe close.
#include "window_test_support.h"

#include "imaging/mgdip.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

using app::Form1;
using namespace window_testing;

bool Busy() { return QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor; }

// Holds each decode or encode on its thread until `during` (on the window's
// thread, which must keep handling events meanwhile) returns true.
class WindowWorkOffThread : public PicturesAndProgram {
protected:
    void SetUp() override
    {
        PicturesAndProgram::SetUp();
        ASSERT_TRUE(MakeSaveFolder());
        a = window_testing::WritePng(pictures, QStringLiteral("A.png"), Flat(7, 5, qRgb(10, 20, 30)));
        b = window_testing::WritePng(pictures, QStringLiteral("B.png"), Flat(3, 2, qRgb(1, 2, 3)));
        options.onWorkOffThread = [this] {
            onWindowThread = onWindowThread || QThread::currentThread() == qApp->thread();
            std::unique_lock lock(mutex);
            ++works;
            waiting = true;
            if (!releasedCondition.wait_for(lock, std::chrono::seconds(20), [this] { return released; }))
                timedOut = true;
            waiting = released = false;
        };
        probe.setInterval(1);
        QObject::connect(&probe, &QTimer::timeout, [this] {
            int work;
            {
                std::lock_guard lock(mutex);
                if (!waiting || released) return;
                work = works;
            }
            if (during && !during(work)) return;
            {
                std::lock_guard lock(mutex);
                released = true;
            }
            releasedCondition.notify_all();
        });
        probe.start();
    }
    void TearDown() override
    {
        EXPECT_FALSE(timedOut) << "the window handled no events while the work ran";
        EXPECT_FALSE(onWindowThread);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the busy cursor ends with the work";
    }
    QString a, b;
    Recorded recorded;
    app::Form1Options options = TestOptions(recorded, program.path());
    std::function<bool(int work)> during;
    QTimer probe;
    std::mutex mutex;
    std::condition_variable releasedCondition;
    int works = 0;
    bool waiting = false, released = false, timedOut = false;
    std::atomic<bool> onWindowThread{false};
};

TEST_F(WindowWorkOffThread, DropIsDecodedWhileTheWindowKeepsPaintingUnderTheBusyCursor)
{
    Form1 form(options);
    int paints = 0, ticks = 0;
    during = [&](int) {
        EXPECT_TRUE(Busy());
        EXPECT_TRUE(form.state().WorkingOffThread);
        EXPECT_EQ(Shown(form.Pic1, 0, 0), qRgb(0, 0, 0)) << "not shown before it is decoded";
        if (ticks++ == 0) {
            paints = 0;
            form.Pic2->update();
            return false;
        }
        return paints > 0 || ticks > 5000;
    };
    struct PaintCounter : QObject {
        int* paints;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint) ++*paints;
            return false;
        }
    } counter;
    counter.paints = &paints;
    form.Pic2->installEventFilter(&counter);
    RunWindow(form, {[&] {
        DropFiles(form.Pic1, {a});
        EXPECT_FALSE(Busy());
        EXPECT_FALSE(form.state().WorkingOffThread);
        EXPECT_EQ(form.state().SourceFileName, QStringLiteral("A.png"));
        EXPECT_EQ(Shown(form.Pic1, 6, 4), qRgb(10, 20, 30));
    }});
    EXPECT_GT(paints, 0) << "Pic2 repainted during the decode";
    EXPECT_EQ(works, 1);
}

TEST_F(WindowWorkOffThread, DropDuringADecodeIsHandledAfterIt)
{
    Form1 form(options);
    during = [&](int work) {
        if (work == 1) {
            EXPECT_TRUE(window_testing::DropFilesAccepted(form.Pic1, {b})) << "taken as a copy, handled later";
            EXPECT_TRUE(form.state().SourceFileName.isEmpty());
        }
        return true;
    };
    RunWindow(form,
        {[&] {
             DropFiles(form.Pic1, {a});
             EXPECT_EQ(form.state().SourceFileName, QStringLiteral("A.png")) << "A first";
         },
            [&] {
                EXPECT_EQ(form.state().SourceFileName, QStringLiteral("B.png")) << "then B";
                EXPECT_EQ(form.state().ImageWidth, 3);
                EXPECT_EQ(Shown(form.Pic1, 0, 0), qRgb(1, 2, 3));
                EXPECT_EQ(Shown(form.Pic1, 5, 0), qRgb(0, 0, 0));
            }});
    EXPECT_EQ(works, 2);
}

TEST_F(WindowWorkOffThread, ClosingDuringADecodeWaitsForItThenReleasesEverything)
{
    Form1 form(options);
    during = [&](int) {
        form.close();
        EXPECT_TRUE(form.state().ExitRequested);
        EXPECT_FALSE(form.state().SourceSurface.isNull()) << "kept while the decode runs";
        return true;
    };
    bool reachedAfterClose = false;
    EXPECT_EQ(RunWindow(form, {[&] { DropFiles(form.Pic1, {a}); }, [&] { reachedAfterClose = true; }}), 0);
    EXPECT_FALSE(reachedAfterClose);
    EXPECT_TRUE(form.state().SourceImage.isNull()) << "the decoded image was not taken";
    EXPECT_TRUE(form.state().SourceSurface.isNull());
    EXPECT_EQ(mGdip::ImagingToken(), 0u);
    EXPECT_TRUE(recorded.messages.isEmpty());
}

TEST_F(WindowWorkOffThread, SaveIsEncodedUnderTheBusyCursorAndADropDuringItWaits)
{
    Form1 form(options);
    during = [&](int work) {
        if (work == 2) { // the save
            EXPECT_TRUE(Busy());
            EXPECT_FALSE(QFileInfo::exists(SavedPath(QStringLiteral("A.png.png"))));
            DropFiles(form.Pic1, {b});
            EXPECT_EQ(form.state().SourceFileName, QStringLiteral("A.png"));
        }
        return true;
    };
    RunWindow(form,
        {[&] { DropFiles(form.Pic1, {a}); },
            [&] {
                form.HScroll1->setValue(0); // keeps every pixel
                form.CMDTransP->click();
            },
            [&] {
                form.CMDSAVE->click();
                EXPECT_TRUE(QFileInfo::exists(SavedPath(QStringLiteral("A.png.png"))));
                EXPECT_FALSE(Busy());
            },
            [&] { EXPECT_EQ(form.state().SourceFileName, QStringLiteral("B.png")); }});
    EXPECT_EQ(works, 3);
    EXPECT_TRUE(recorded.messages.isEmpty());
    const mGdip::LoadedImage saved = LoadSaved(SavedPath(QStringLiteral("A.png.png")));
    ASSERT_TRUE(mGdip::Succeeded(saved.status));
    EXPECT_EQ(saved.image.width(), 7);
    EXPECT_EQ(saved.image.pixels().row(4)[6], 0xFF0A141Eu);
}

TEST_F(WindowWorkOffThread, ClosingDuringASaveLetsItFinish)
{
    Form1 form(options);
    during = [&](int work) {
        if (work == 2) form.close();
        return true;
    };
    RunWindow(
        form, {[&] { DropFiles(form.Pic1, {a}); }, [&] { form.CMDTransP->click(); }, [&] { form.CMDSAVE->click(); }});
    EXPECT_EQ(works, 2);
    EXPECT_TRUE(form.state().WorkBitmap.isNull());
    EXPECT_EQ(mGdip::ImagingToken(), 0u);
    EXPECT_EQ(QDir(program.filePath(QStringLiteral("SAVE"))).entryList(QDir::Files), QStringList{"A.png.png"})
        << "written whole, no temporary file left";
}

} // namespace
