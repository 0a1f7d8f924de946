// Saving where the target's path has been tampered with, and images of
// shapes the encoder once could not handle.
#include "imaging_test_support.h"

#include "imaging/mgdip.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using mGdip::FailureKind;

class SaveHostile : public testsupport::TempFolderTest {
protected:
    mGdip::Failure SaveTo(const QString& target) const
    {
        mGdip::Failure failure;
        QString reason;
        const mGdip::ImagingStatus status =
            mGdip::SaveImageAsPng(mGdip::Image(testsupport::RandomArgb(4, 3, 9)), target, &reason, &failure);
        EXPECT_EQ(status, mGdip::StatusOf(failure.kind));
        EXPECT_EQ(reason, mGdip::Describe(failure));
        return failure;
    }
};

TEST_F(SaveHostile, LinksAndSpecialFilesAtTheTargetAreRefusedAndLeftAlone)
{
    const QString outside = path(QStringLiteral("outside.txt"));
    ASSERT_TRUE(testsupport::WriteBytes(outside, "precious"));
    ASSERT_TRUE(QDir(folder()).mkdir(QStringLiteral("out")));
    const QString out = path(QStringLiteral("out"));
    ASSERT_TRUE(QFile::link(outside, out + QStringLiteral("/to-file.png")));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("nowhere.txt")), out + QStringLiteral("/dangling.png")));
    ASSERT_TRUE(QFile::link(folder(), out + QStringLiteral("/to-folder.png")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(out + QStringLiteral("/pipe.png")).constData(), 0600), 0);
    const QStringList before = testsupport::EntriesOf(out);

    for (const char* name : {"to-file.png", "dangling.png", "to-folder.png", "pipe.png"}) {
        SCOPED_TRACE(name);
        const mGdip::Failure failure = SaveTo(out + QLatin1Char('/') + QLatin1String(name));
        EXPECT_EQ(failure.kind, FailureKind::TargetNotRegularFile);
        EXPECT_TRUE(mGdip::Describe(failure).contains(QStringLiteral("symbolic link")))
            << qPrintable(mGdip::Describe(failure));
    }
    EXPECT_EQ(testsupport::EntriesOf(out), before); // no temporary file left either
    EXPECT_EQ(testsupport::ReadBytes(outside), QByteArray("precious"));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("nowhere.txt"))));
    EXPECT_EQ(QFileInfo(out + QStringLiteral("/to-file.png")).symLinkTarget(), outside);
}

TEST_F(SaveHostile, EveryFolderProblemHasItsKind)
{
    ASSERT_TRUE(testsupport::WriteBytes(path(QStringLiteral("plain")), "a file"));
    ASSERT_TRUE(QDir(folder()).mkdir(QStringLiteral("taken.png")));
    EXPECT_EQ(SaveTo(path(QStringLiteral("plain/out.png"))).kind, FailureKind::NotAFolder);
    EXPECT_EQ(SaveTo(path(QStringLiteral("missing/out.png"))).kind, FailureKind::FolderMissing);
    EXPECT_EQ(SaveTo(path(QStringLiteral("plain/deeper/out.png"))).kind, FailureKind::FolderMissing);
    EXPECT_EQ(SaveTo(path(QStringLiteral("taken.png"))).kind, FailureKind::TargetIsFolder);
    EXPECT_EQ(SaveTo(path(QStringLiteral(".."))).kind, FailureKind::NoFileName);
    EXPECT_EQ(SaveTo(QString()).kind, FailureKind::NoFileName);
    EXPECT_TRUE(
        mGdip::Describe(SaveTo(path(QStringLiteral("plain/out.png")))).endsWith(QStringLiteral("is not a folder")));
    EXPECT_EQ(testsupport::EntriesOf(folder()), (QStringList{QStringLiteral("plain"), QStringLiteral("taken.png")}));
}

TEST_F(SaveHostile, ReplacingAFileKeepsItsPermissions)
{
    const QString target = path(QStringLiteral("result.png"));
    ASSERT_TRUE(testsupport::WriteBytes(target, "old"));
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    ASSERT_EQ(SaveTo(target).kind, FailureKind::None);
    struct stat info { };
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

// Wide or tall shapes: every size the decoder accepts must be written, and
// read back exactly.
TEST_F(SaveHostile, ExtremeShapesSaveAndReloadExactly)
{
    for (const QSize size : {QSize(1'000'001, 1), QSize(1, 1'000'001), QSize(300'000, 9)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        const QImage image = testsupport::RandomArgb(size.width(), size.height(), 4);
        const QString file = path(QStringLiteral("shape.png"));
        QString reason;
        ASSERT_EQ(mGdip::SaveImageAsPng(mGdip::Image(image), file, &reason), mGdip::ImagingStatus::Ok)
            << qPrintable(reason);
        const mGdip::LoadedImage loaded = mGdip::LoadImageFile(file);
        ASSERT_EQ(loaded.status, mGdip::ImagingStatus::Ok) << qPrintable(loaded.reason);
        ASSERT_EQ(loaded.image.qimage().size(), size);
        EXPECT_EQ(testsupport::FirstDifference(loaded.image.qimage(), image), -1);
    }
}

} // namespace
