// Which SAVE folder a result goes to: beside the program wherever SAVE is
// there; for a program whose folder the user cannot write (an installed
// one), Chromobrisk/SAVE in the user's pictures folder; otherwise the
// missing folder is reported.
#include "scratch_folder.h"
#include "window_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using app::Form1;
using namespace window_testing;

// Makes a folder read-only for this process while it lives. Root writes
// through permission bits, so for root the folder is made immutable.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& path) : path_(QFile::encodeName(path))
    {
        ::chmod(path_.constData(), 0555);
        if (::access(path_.constData(), W_OK) != 0) {
            readOnly_ = true;
            return;
        }
        immutable_ = SetImmutable(true);
        readOnly_ = immutable_ && ::access(path_.constData(), W_OK) != 0;
    }
    ~ReadOnlyFolder()
    {
        if (immutable_) SetImmutable(false);
        ::chmod(path_.constData(), 0755);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    bool readOnly() const { return readOnly_; }

private:
    bool SetImmutable(bool on) const
    {
        const int fd = ::open(path_.constData(), O_RDONLY | O_DIRECTORY);
        if (fd < 0) return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return done;
    }

    QByteArray path_;
    bool immutable_ = false, readOnly_ = false;
};

// HOME and the XDG settings in a temporary folder for the test's length; the
// desktop's pictures folder is "Bilder" there, as a German desktop names it.
class TemporaryHome {
public:
    TemporaryHome() : oldHome_(qgetenv("HOME")), oldConfig_(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("HOME", QFile::encodeName(home_.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_.filePath(QStringLiteral(".config"))));
        QDir(home_.path()).mkpath(QStringLiteral(".config"));
        QFile dirs(home_.filePath(QStringLiteral(".config/user-dirs.dirs")));
        if (dirs.open(QIODevice::WriteOnly)) dirs.write("XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    }
    ~TemporaryHome()
    {
        qputenv("HOME", oldHome_);
        if (oldConfig_.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", oldConfig_);
    }
    QString Pictures() const { return home_.filePath(QStringLiteral("Bilder")); }

private:
    testsupport::ScratchFolder home_;
    QByteArray oldHome_, oldConfig_;
};

class WindowSaveFolder : public PicturesAndProgram {
protected:
    void SetUp() override
    {
        PicturesAndProgram::SetUp();
        imagePath =
            window_testing::WritePng(pictures, QStringLiteral("logo.jpg"), Flat(4, 3, qRgba(255, 255, 255, 255)));
    }
    // Drops logo.jpg, runs simple removal on its white and saves.
    void RemoveAndSave()
    {
        RunWindow(form,
            {[&] { DropFiles(form.Pic1, {imagePath}); },
                [&] {
                    ReleaseMouseAt(form.Pic1, QPointF(0, 0));
                    form.CMDTransP->click();
                },
                [&] { form.CMDSAVE->click(); }});
    }
    QString InPictures() const { return home.Pictures() + QStringLiteral("/Chromobrisk/SAVE/logo.jpg.png"); }

    TemporaryHome home;
    QString imagePath;
    Recorded recorded;
    Form1 form{TestOptions(recorded, program.path())};
};

TEST_F(WindowSaveFolder, AnInstalledProgramSavesIntoThePicturesFolder)
{
    const ReadOnlyFolder readOnly(program.path());
    if (!readOnly.readOnly()) GTEST_SKIP() << "this user can write any folder here";
    RemoveAndSave();
    EXPECT_TRUE(recorded.messages.isEmpty()) << recorded.messages.join('\n').toStdString();
    const mGdip::LoadedImage saved = LoadSaved(InPictures());
    ASSERT_TRUE(mGdip::Succeeded(saved.status)) << "made on the first save";
    EXPECT_EQ(saved.image.pixels().row(2)[3], 0u);
    EXPECT_EQ(QDir(program.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{});
}

TEST_F(WindowSaveFolder, SaveBesideTheProgramWinsWhereverItIs)
{
    ASSERT_TRUE(MakeSaveFolder());
    const ReadOnlyFolder readOnly(program.path());
    if (!readOnly.readOnly()) GTEST_SKIP() << "this user can write any folder here";
    RemoveAndSave();
    EXPECT_TRUE(recorded.messages.isEmpty()) << recorded.messages.join('\n').toStdString();
    EXPECT_TRUE(QFileInfo::exists(SavedPath(QStringLiteral("logo.jpg.png"))));
    EXPECT_FALSE(QFileInfo::exists(home.Pictures()));
}

TEST_F(WindowSaveFolder, AWritableProgramFolderWithoutSaveIsReported)
{
    RemoveAndSave();
    ASSERT_EQ(recorded.messages.size(), 1);
    EXPECT_TRUE(recorded.messages[0].contains(QStringLiteral("SAVE 文件夹不存在")));
    EXPECT_TRUE(recorded.messages[0].contains(SaveFolder()));
    EXPECT_FALSE(QFileInfo::exists(SaveFolder()));
    EXPECT_FALSE(QFileInfo::exists(home.Pictures())) << "nothing is saved elsewhere";
}

TEST_F(WindowSaveFolder, APicturesFolderThatCannotBeMadeIsReported)
{
    const ReadOnlyFolder readOnly(program.path());
    if (!readOnly.readOnly()) GTEST_SKIP() << "this user can write any folder here";
    // A file where the pictures folder should be.
    QFile blocker(home.Pictures());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    RemoveAndSave();
    ASSERT_EQ(recorded.messages.size(), 1);
    EXPECT_TRUE(recorded.messages[0].contains(home.Pictures() + QStringLiteral("/Chromobrisk/SAVE")))
        << recorded.messages[0].toStdString();
}

} // namespace
