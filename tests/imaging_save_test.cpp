#include "imaging_test_support.h"

#include "imaging/mgdip.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using mGdip::ImagingStatus;

class ImagingSave : public testsupport::TempFolderTest {
protected:
    // Saves, reloads through the project's loader and through Qt's own PNG
    // reader (so a mistake shared by encoder and decoder still shows), and
    // compares every pixel.
    void ExpectRoundTrip(const QImage& source, const QString& name)
    {
        const QString file = path(name);
        QString reason;
        ASSERT_EQ(mGdip::SaveImageAsPng(mGdip::Image(source), file, &reason), ImagingStatus::Ok) << qPrintable(reason);
        const auto header = testsupport::ReadPngHeader(testsupport::ReadBytes(file));
        EXPECT_EQ(header.bitDepth, 8);
        EXPECT_EQ(header.colorType, 6); // RGBA
        EXPECT_EQ(header.width, source.width());
        EXPECT_EQ(header.height, source.height());

        const mGdip::LoadedImage loaded = mGdip::LoadImageFile(file);
        ASSERT_EQ(loaded.status, ImagingStatus::Ok) << qPrintable(loaded.reason);
        ASSERT_EQ(loaded.image.qimage().size(), source.size());
        EXPECT_EQ(testsupport::FirstDifference(loaded.image.qimage(), source), -1);

        QImageReader reader(file, "png");
        const QImage independent = reader.read().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(independent.size(), source.size()) << qPrintable(reader.errorString());
        EXPECT_EQ(testsupport::FirstDifference(independent, source), -1);
    }
};

TEST_F(ImagingSave, RoundTripKeepsEveryArgbValue)
{
    // Random pixels: every alpha including 0, with colour under alpha 0.
    ExpectRoundTrip(testsupport::RandomArgb(97, 53, 42), QStringLiteral("random.png"));
}

TEST_F(ImagingSave, RoundTripOfOddShapes)
{
    for (const QSize size : {QSize(1, 1), QSize(1, 77), QSize(131, 1), QSize(3, 2)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        ExpectRoundTrip(testsupport::RandomArgb(size.width(), size.height(), 5), QStringLiteral("shape.png"));
    }
}

TEST_F(ImagingSave, RoundTripOfFlatArtworkAndOfNoise)
{
    // Flat areas and noise take different compression settings; both must be lossless.
    QImage flat(300, 200, QImage::Format_ARGB32);
    flat.fill(0x00000000);
    for (int y = 50; y < 150; ++y)
        for (int x = 60; x < 240; ++x) flat.setPixel(x, y, (x / 30) % 2 ? 0xFF2050E0 : 0x80FFFF00);
    flat.setPixel(299, 199, 0x01020304);
    ExpectRoundTrip(flat, QStringLiteral("flat.png"));
    ExpectRoundTrip(testsupport::RandomArgb(300, 200, 8), QStringLiteral("noise.png"));
}

TEST_F(ImagingSave, WorkBitmapSnapshotSaves)
{
    mGdip::Surface bitmap;
    ASSERT_EQ(mGdip::CreateWorkBitmap(5, 4, mGdip::kPixelFormat32bppARGB, bitmap), ImagingStatus::Ok);
    ASSERT_EQ(mGdip::PaintPixel(bitmap, 4, 3, static_cast<passes::Argb>(0x80FF8000)), ImagingStatus::Ok);
    const QString file = path(QStringLiteral("work.png"));
    ASSERT_EQ(mGdip::SaveImageAsPng(bitmap.snapshot(), file), ImagingStatus::Ok);
    const mGdip::LoadedImage loaded = mGdip::LoadImageFile(file);
    ASSERT_EQ(loaded.status, ImagingStatus::Ok);
    EXPECT_EQ(testsupport::FirstDifference(loaded.image.qimage(), *bitmap.target()), -1);
    EXPECT_EQ(loaded.image.qimage().pixel(4, 3), 0x80FF8000u);
    EXPECT_EQ(loaded.image.qimage().pixel(0, 0), 0u);
}

TEST_F(ImagingSave, OverwritesAnExistingFile)
{
    const QString file = path(QStringLiteral("old.png"));
    ASSERT_TRUE(testsupport::WriteBytes(file, QByteArray(100000, 'x')));
    const QImage image = testsupport::RandomArgb(4, 4, 1);
    ASSERT_EQ(mGdip::SaveImageAsPng(mGdip::Image(image), file), ImagingStatus::Ok);
    const mGdip::LoadedImage loaded = mGdip::LoadImageFile(file);
    ASSERT_EQ(loaded.status, ImagingStatus::Ok) << qPrintable(loaded.reason);
    EXPECT_EQ(testsupport::FirstDifference(loaded.image.qimage(), image), -1);
    EXPECT_EQ(testsupport::EntriesOf(folder()), QStringList{QStringLiteral("old.png")});
}

TEST_F(ImagingSave, NewFileIsReadableByOthersAsUsual)
{
    // The temporary file must not hand its private permissions to the result.
    const mode_t old = ::umask(022);
    const QString file = path(QStringLiteral("shared.png"));
    const ImagingStatus status = mGdip::SaveImageAsPng(mGdip::Image(testsupport::RandomArgb(2, 2, 3)), file);
    ::umask(old);
    ASSERT_EQ(status, ImagingStatus::Ok);
    struct stat info { };
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u) << std::oct << (info.st_mode & 0777);
}

TEST_F(ImagingSave, MissingFolderFailsAndWritesNothing)
{
    QString reason;
    const QString target = path(QStringLiteral("no/such/folder/out.png"));
    EXPECT_NE(
        mGdip::SaveImageAsPng(mGdip::Image(testsupport::RandomArgb(2, 2, 1)), target, &reason), ImagingStatus::Ok);
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_TRUE(testsupport::EntriesOf(folder()).isEmpty());
}

TEST_F(ImagingSave, NullImageAndEmptyPathAreRefused)
{
    QString reason;
    const QString target = path(QStringLiteral("none.png"));
    EXPECT_NE(mGdip::SaveImageAsPng(mGdip::Image(), target, &reason), ImagingStatus::Ok);
    EXPECT_FALSE(reason.isEmpty());
    reason.clear();
    EXPECT_NE(
        mGdip::SaveImageAsPng(mGdip::Image(testsupport::RandomArgb(1, 1, 1)), QString(), &reason), ImagingStatus::Ok);
    EXPECT_FALSE(reason.isEmpty());
    // A trailing slash names a folder, not a file.
    EXPECT_NE(mGdip::SaveImageAsPng(mGdip::Image(testsupport::RandomArgb(1, 1, 1)), folder() + QStringLiteral("/")),
        ImagingStatus::Ok);
    EXPECT_TRUE(testsupport::EntriesOf(folder()).isEmpty());
}

TEST_F(ImagingSave, TargetBlockedByAFileOrAFolderFails)
{
    // Permissions do not stop root, so the failures come from the path itself.
    ASSERT_TRUE(testsupport::WriteBytes(path(QStringLiteral("plain")), "just a file"));
    ASSERT_TRUE(QDir(folder()).mkdir(QStringLiteral("taken.png")));
    const QStringList before = testsupport::EntriesOf(folder());
    const mGdip::Image image(testsupport::RandomArgb(3, 3, 2));

    QString reason;
    EXPECT_NE(mGdip::SaveImageAsPng(image, path(QStringLiteral("plain/out.png")), &reason), ImagingStatus::Ok);
    EXPECT_FALSE(reason.isEmpty());
    reason.clear();
    EXPECT_NE(mGdip::SaveImageAsPng(image, path(QStringLiteral("taken.png")), &reason), ImagingStatus::Ok);
    EXPECT_FALSE(reason.isEmpty());

    EXPECT_EQ(testsupport::EntriesOf(folder()), before);
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("taken.png"))).isDir());
    EXPECT_TRUE(testsupport::EntriesOf(path(QStringLiteral("taken.png"))).isEmpty());
    EXPECT_EQ(testsupport::ReadBytes(path(QStringLiteral("plain"))), QByteArray("just a file"));
}

// Lowers the file size limit so writes fail part way, as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        active_ = ::getrlimit(RLIMIT_FSIZE, &previous_) == 0;
        if (active_) {
            rlimit lowered = previous_;
            lowered.rlim_cur = bytes;
            active_ = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
        }
    }
    ~FileSizeLimit()
    {
        if (active_) ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    bool active() const { return active_; }

private:
    rlimit previous_{};
    bool active_ = false;
    void (*previousHandler_)(int) = SIG_DFL;
};

TEST_F(ImagingSave, FailedWriteLeavesTheOldFileAndNoTemporaryFiles)
{
    const QString target = path(QStringLiteral("result.png"));
    const QByteArray old = "the previous result";
    ASSERT_TRUE(testsupport::WriteBytes(target, old));
    const QStringList before = testsupport::EntriesOf(folder());
    // Random pixels barely compress: far more than the limit.
    const mGdip::Image image(testsupport::RandomArgb(512, 512, 6));

    ImagingStatus status;
    QString reason;
    {
        FileSizeLimit limit(64 * 1024);
        ASSERT_TRUE(limit.active());
        status = mGdip::SaveImageAsPng(image, target, &reason);
    }
    EXPECT_NE(status, ImagingStatus::Ok);
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_EQ(testsupport::ReadBytes(target), old);
    EXPECT_EQ(testsupport::EntriesOf(folder()), before);

    // The same save succeeds once there is room.
    ASSERT_EQ(mGdip::SaveImageAsPng(image, target), ImagingStatus::Ok);
    EXPECT_EQ(testsupport::EntriesOf(folder()), before);
}

} // namespace
