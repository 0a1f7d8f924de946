// Saving the last result into SAVE beside the program, and the failures the
// user is told about.
#include "window_test_support.h"

#include "imaging/mgdip.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

using app::Form1;
using namespace window_testing;

QImage Scene()
{
    QImage image(5, 3, QImage::Format_ARGB32);
    image.fill(qRgba(255, 255, 255, 255));
    image.setPixel(2, 1, qRgba(200, 30, 40, 255));
    return image;
}

class WindowSaving : public PicturesAndProgram {
protected:
    void SetUp() override
    {
        PicturesAndProgram::SetUp();
        imagePath = window_testing::WritePng(pictures, QStringLiteral("logo.jpg"), Scene());
    }
    QString Saved() const { return SavedPath(QStringLiteral("logo.jpg.png")); }
    // Drops logo.jpg, picks its white background, runs simple removal, then
    // the steps given.
    void RunAfterSimpleRemoval(std::vector<Step> then)
    {
        std::vector<Step> steps{[&] { DropFiles(form.Pic1, {imagePath}); },
            [&] {
                ReleaseMouseAt(form.Pic1, QPointF(0, 0));
                form.CMDTransP->click();
            }};
        steps.insert(steps.end(), then.begin(), then.end());
        RunWindow(form, std::move(steps));
    }

    QString imagePath;
    Recorded recorded;
    Form1 form{TestOptions(recorded, program.path())};
};

TEST_F(WindowSaving, WritesTheResultAsNamePlusPngAndSaysNothing)
{
    ASSERT_TRUE(MakeSaveFolder());
    RunAfterSimpleRemoval({[&] { form.CMDSAVE->click(); }});
    EXPECT_TRUE(recorded.messages.isEmpty());
    const mGdip::LoadedImage saved = LoadSaved(Saved());
    ASSERT_TRUE(mGdip::Succeeded(saved.status)) << saved.reason.toStdString();
    EXPECT_EQ(saved.image.pixels().row(0)[0], 0u) << "removed pixels have alpha 0";
    EXPECT_EQ(saved.image.pixels().row(1)[2], 0xFFC81E28u);
}

TEST_F(WindowSaving, SecondSaveOverwritesTheFirst)
{
    ASSERT_TRUE(MakeSaveFolder());
    RunAfterSimpleRemoval(
        {[&] { form.CMDSAVE->click(); }, [&] { form.CMDARec->click(); }, [&] { form.CMDSAVE->click(); }});
    const mGdip::LoadedImage saved = LoadSaved(Saved());
    ASSERT_TRUE(mGdip::Succeeded(saved.status));
    EXPECT_EQ(saved.image.pixels().row(1)[2], 0xFFC81E28u);
    EXPECT_EQ(saved.image.pixels().row(0)[0] >> 24, 255u) << "the alpha-restoring result: white key, opaque white";
    EXPECT_EQ(QDir(SaveFolder()).entryList(QDir::Files), QStringList{"logo.jpg.png"}) << "no temporary files left";
}

TEST_F(WindowSaving, ResultIsSavedUnderTheNameOfItsOwnImageAfterALaterDrop)
{
    ASSERT_TRUE(MakeSaveFolder());
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
    RunAfterSimpleRemoval({[&] {
        DropFiles(form.Pic1, {otherPath});
        ASSERT_EQ(form.state().SourceFileName, QStringLiteral("B.png"));
        form.CMDSAVE->click();
    }});
    EXPECT_TRUE(recorded.messages.isEmpty());
    QFile b(earlierB);
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    EXPECT_EQ(b.readAll(), earlierBytes) << "B's own result is left alone";
    const mGdip::LoadedImage saved = LoadSaved(Saved());
    ASSERT_TRUE(mGdip::Succeeded(saved.status)) << "saved as logo.jpg.png";
    EXPECT_EQ(saved.image.width(), 5);
    EXPECT_EQ(saved.image.height(), 3);
    EXPECT_EQ(saved.image.pixels().row(1)[2], 0xFFC81E28u);
}

TEST_F(WindowSaving, MissingFolderIsReportedAndNothingIsCreated)
{
    RunWindow(form,
        {[&] { DropFiles(form.Pic1, {imagePath}); }, [&] { form.CMDTransP->click(); }, [&] { form.CMDSAVE->click(); }});
    ASSERT_EQ(recorded.messages.size(), 1);
    EXPECT_TRUE(recorded.messages[0].contains(QDir::toNativeSeparators(SaveFolder())));
    EXPECT_FALSE(QFileInfo::exists(SaveFolder()));
}

TEST_F(WindowSaving, SavingBeforeAnyResultIsReported)
{
    ASSERT_TRUE(MakeSaveFolder());
    RunWindow(form, {[&] { DropFiles(form.Pic1, {imagePath}); }, [&] { form.CMDSAVE->click(); }});
    ASSERT_EQ(recorded.messages.size(), 1);
    EXPECT_TRUE(recorded.messages[0].contains(QStringLiteral("logo.jpg.png")));
    EXPECT_TRUE(QDir(SaveFolder()).isEmpty());
}

TEST_F(WindowSaving, FailedWriteIsReportedAndLeavesTheOldFile)
{
    ASSERT_TRUE(MakeSaveFolder());
    // A folder where the file should go: the write cannot succeed.
    ASSERT_TRUE(QDir(SaveFolder()).mkdir(QStringLiteral("logo.jpg.png")));
    RunWindow(form,
        {[&] { DropFiles(form.Pic1, {imagePath}); }, [&] { form.CMDTransP->click(); }, [&] { form.CMDSAVE->click(); }});
    ASSERT_EQ(recorded.messages.size(), 1);
    EXPECT_TRUE(recorded.messages[0].contains(QStringLiteral("logo.jpg.png")));
    EXPECT_TRUE(QFileInfo(Saved()).isDir());
    EXPECT_EQ(QDir(SaveFolder()).entryList(QDir::Files), QStringList{}) << "no temporary files left";
}

TEST_F(WindowSaving, SaveDuringAPassWaitsForItsEnd)
{
    ASSERT_TRUE(MakeSaveFolder());
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
    RunWindow(slow,
        {[&] { DropFiles(slow.Pic1, {imagePath}); },
            [&] {
                ReleaseMouseAt(slow.Pic1, QPointF(0, 0));
                slow.CMDTransP->click();
            },
            [&] { EXPECT_TRUE(QFileInfo::exists(Saved())); }});
    EXPECT_FALSE(savedDuringPass);
    EXPECT_TRUE(recorded.messages.isEmpty());
    const mGdip::LoadedImage saved = LoadSaved(Saved());
    ASSERT_TRUE(mGdip::Succeeded(saved.status));
    EXPECT_EQ(saved.image.pixels().row(2)[4], 0u) << "the whole result, last pixel included";
}

} // namespace
