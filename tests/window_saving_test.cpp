// Saving the last result into SAVE beside the program, and the failures the
// user is told about.
#include "window_test_support.h"

#include "imaging/mgdip.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

using app::Form1;
using window_testing::DropFiles;
using window_testing::Recorded;
using window_testing::ReleaseMouseAt;
using window_testing::RunWindow;
using window_testing::TestOptions;

QImage Scene()
{
    QImage image(5, 3, QImage::Format_ARGB32);
    image.fill(qRgba(255, 255, 255, 255));
    image.setPixel(2, 1, qRgba(200, 30, 40, 255));
    return image;
}

class WindowSaving : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(program.isValid());
        ASSERT_TRUE(pictures.isValid());
        imagePath = window_testing::WritePng(pictures, QStringLiteral("logo.jpg"), Scene());
    }
    QString SaveFolder() const { return program.filePath(QStringLiteral("SAVE")); }
    QString Saved() const { return program.filePath(QStringLiteral("SAVE/logo.jpg.png")); }

    QTemporaryDir program, pictures;
    QString imagePath;
    Recorded recorded;
    Form1 form{TestOptions(recorded, program.path())};
};

TEST_F(WindowSaving, WritesTheResultAsNamePlusPngAndSaysNothing)
{
    ASSERT_TRUE(QDir(program.path()).mkdir(QStringLiteral("SAVE")));
    RunWindow(form, {[&] { DropFiles(form.Pic1, {imagePath}); },
                     [&] {
                         ReleaseMouseAt(form.Pic1, QPointF(0, 0));
                         form.CMDTransP->click();
                     },
                     [&] { form.CMDSAVE->click(); }});
    EXPECT_TRUE(recorded.messages.isEmpty());
    mGdip::StartImaging(false, false, {}, 0, {});
    const mGdip::LoadedImage saved = mGdip::LoadImageFile(Saved());
    ASSERT_TRUE(mGdip::Succeeded(saved.status)) << saved.reason.toStdString();
    EXPECT_EQ(saved.image.pixels().row(0)[0], 0u) << "removed pixels have alpha 0";
    EXPECT_EQ(saved.image.pixels().row(1)[2], 0xFFC81E28u);
}

TEST_F(WindowSaving, SecondSaveOverwritesTheFirst)
{
    ASSERT_TRUE(QDir(program.path()).mkdir(QStringLiteral("SAVE")));
    RunWindow(form, {[&] { DropFiles(form.Pic1, {imagePath}); },
                     [&] {
                         ReleaseMouseAt(form.Pic1, QPointF(0, 0));
                         form.CMDTransP->click();
                     },
                     [&] { form.CMDSAVE->click(); },
                     [&] { form.CMDARec->click(); },
                     [&] { form.CMDSAVE->click(); }});
    mGdip::StartImaging(false, false, {}, 0, {});
    const mGdip::LoadedImage saved = mGdip::LoadImageFile(Saved());
    ASSERT_TRUE(mGdip::Succeeded(saved.status));
    EXPECT_EQ(saved.image.pixels().row(1)[2], 0xFFC81E28u);
    EXPECT_EQ(saved.image.pixels().row(0)[0] >> 24, 255u) << "the alpha-restoring result: white key, opaque white";
    EXPECT_EQ(QDir(SaveFolder()).entryList(QDir::Files), QStringList{"logo.jpg.png"}) << "no temporary files left";
}

TEST_F(WindowSaving, ResultIsSavedUnderTheNameOfItsOwnImageAfterALaterDrop)
{
    ASSERT_TRUE(QDir(program.path()).mkdir(QStringLiteral("SAVE")));
    QImage other(3, 2, QImage::Format_ARGB32);
    other.fill(qRgba(1, 2, 3, 255));
    const QString otherPath = window_testing::WritePng(pictures, QStringLiteral("B.png"), other);
    // An earlier, correct result of B.
    const QString earlierB = program.filePath(QStringLiteral("SAVE/B.png.png"));
    window_testing::WritePng(program, QStringLiteral("SAVE/B.png.png"), other);
    const QByteArray earlierBytes = [&] {
        QFile f(earlierB);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    RunWindow(form, {[&] { DropFiles(form.Pic1, {imagePath}); },
                     [&] {
                         ReleaseMouseAt(form.Pic1, QPointF(0, 0));
                         form.CMDTransP->click();
                     },
                     [&] {
                         DropFiles(form.Pic1, {otherPath});
                         ASSERT_EQ(form.state().SourceFileName, QStringLiteral("B.png"));
                         form.CMDSAVE->click();
                     }});
    EXPECT_TRUE(recorded.messages.isEmpty());
    QFile b(earlierB);
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    EXPECT_EQ(b.readAll(), earlierBytes) << "B's own result is left alone";
    mGdip::StartImaging(false, false, {}, 0, {});
    const mGdip::LoadedImage saved = mGdip::LoadImageFile(Saved());
    ASSERT_TRUE(mGdip::Succeeded(saved.status)) << "saved as logo.jpg.png";
    EXPECT_EQ(saved.image.width(), 5);
    EXPECT_EQ(saved.image.height(), 3);
    EXPECT_EQ(saved.image.pixels().row(1)[2], 0xFFC81E28u);
}

TEST_F(WindowSaving, MissingFolderIsReportedAndNothingIsCreated)
{
    RunWindow(form, {[&] { DropFiles(form.Pic1, {imagePath}); },
                     [&] { form.CMDTransP->click(); },
                     [&] { form.CMDSAVE->click(); }});
    ASSERT_EQ(recorded.messages.size(), 1);
    EXPECT_TRUE(recorded.messages[0].contains(QDir::toNativeSeparators(SaveFolder())));
    EXPECT_FALSE(QFileInfo::exists(SaveFolder()));
}

TEST_F(WindowSaving, SavingBeforeAnyResultIsReported)
{
    ASSERT_TRUE(QDir(program.path()).mkdir(QStringLiteral("SAVE")));
    RunWindow(form, {[&] { DropFiles(form.Pic1, {imagePath}); }, [&] { form.CMDSAVE->click(); }});
    ASSERT_EQ(recorded.messages.size(), 1);
    EXPECT_TRUE(recorded.messages[0].contains(QStringLiteral("logo.jpg.png")));
    EXPECT_TRUE(QDir(SaveFolder()).isEmpty());
}

TEST_F(WindowSaving, FailedWriteIsReportedAndLeavesTheOldFile)
{
    ASSERT_TRUE(QDir(program.path()).mkdir(QStringLiteral("SAVE")));
    // A folder where the file should go: the write cannot succeed.
    ASSERT_TRUE(QDir(SaveFolder()).mkdir(QStringLiteral("logo.jpg.png")));
    RunWindow(form, {[&] { DropFiles(form.Pic1, {imagePath}); },
                     [&] { form.CMDTransP->click(); },
                     [&] { form.CMDSAVE->click(); }});
    ASSERT_EQ(recorded.messages.size(), 1);
    EXPECT_TRUE(recorded.messages[0].contains(QStringLiteral("logo.jpg.png")));
    EXPECT_TRUE(QFileInfo(Saved()).isDir());
    EXPECT_EQ(QDir(SaveFolder()).entryList(QDir::Files), QStringList{}) << "no temporary files left";
}

TEST_F(WindowSaving, SaveDuringAPassWaitsForItsEnd)
{
    ASSERT_TRUE(QDir(program.path()).mkdir(QStringLiteral("SAVE")));
    app::Form1Options options = TestOptions(recorded, program.path());
    options.yieldSlice = std::chrono::nanoseconds(0);
    bool savedDuringPass = false;
    int yields = 0;
    Form1* self = nullptr;
    options.onPassYield = [&] {
        if (++yields == 1) self->CMDSAVE->click();
        savedDuringPass = savedDuringPass || QFileInfo::exists(Saved());
    };
    Form1 slow(options);
    self = &slow;
    RunWindow(slow, {[&] { DropFiles(slow.Pic1, {imagePath}); },
                     [&] {
                         ReleaseMouseAt(slow.Pic1, QPointF(0, 0));
                         slow.CMDTransP->click();
                     },
                     [&] { EXPECT_TRUE(QFileInfo::exists(Saved())); }});
    EXPECT_FALSE(savedDuringPass);
    EXPECT_TRUE(recorded.messages.isEmpty());
    mGdip::StartImaging(false, false, {}, 0, {});
    const mGdip::LoadedImage saved = mGdip::LoadImageFile(Saved());
    ASSERT_TRUE(mGdip::Succeeded(saved.status));
    EXPECT_EQ(saved.image.pixels().row(2)[4], 0u) << "the whole result, last pixel included";
}

} // namespace
