// File names as byte strings: lossless both ways, shown unambiguously, and
// usable for loading and saving whatever their bytes.
#include "imaging_test_support.h"

#include "imaging/mgdip.h"

#include <QUrl>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace {

using mGdip::DisplayPath;
using mGdip::PathFromBytes;
using mGdip::PathToBytes;

TEST(FilePath, AnyByteStringSurvivesTheRoundTrip)
{
    for (int b = 1; b < 256; ++b) {
        const QByteArray one(1, static_cast<char>(b));
        ASSERT_EQ(PathToBytes(PathFromBytes(one)), one) << b;
    }
    // Broken, overlong, surrogate and out-of-range sequences among good ones.
    const QByteArray tricky[] = {"lat\xE9.png", "\xC3", "\xC3\xA9", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80",
        "\xED\xB2\x80", "\xF4\x90\x80\x80", "\xF0\x9F\x98\x80", "\xFF\xFE", "a\xE2\x82"};
    for (const QByteArray& bytes : tricky)
        EXPECT_EQ(PathToBytes(PathFromBytes(bytes)), bytes) << bytes.toHex().constData();
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes;
        for (int i = 0, n = 1 + static_cast<int>(random() % 12); i < n; ++i)
            bytes.append(static_cast<char>(1 + random() % 255));
        ASSERT_EQ(PathToBytes(PathFromBytes(bytes)), bytes) << bytes.toHex().constData();
    }
}

TEST(FilePath, ValidUtf8IsOrdinaryTextAndDistinctBytesStayDistinct)
{
    EXPECT_EQ(PathFromBytes("photo \xC3\xA9\xE2\x9C\x93.jpg"), QStringLiteral("photo é✓.jpg"));
    EXPECT_EQ(PathToBytes(QStringLiteral("photo é✓.jpg")), QByteArray("photo \xC3\xA9\xE2\x9C\x93.jpg"));
    EXPECT_NE(PathFromBytes("lat\xE9"), PathFromBytes("lat\xE8"));
    EXPECT_NE(PathFromBytes("lat\xE9"), PathFromBytes("lat\xC3\xA9"));
}

TEST(FilePath, DisplayEscapesWhatCannotBeShown)
{
    EXPECT_EQ(DisplayPath(PathFromBytes("lat\xE9.png")), QStringLiteral("lat\\xE9.png"));
    EXPECT_EQ(DisplayPath(PathFromBytes("a\nb\tc\x1B[2J")), QStringLiteral("a\\nb\\tc\\x1B[2J"));
    EXPECT_EQ(DisplayPath(QStringLiteral("back\\slash")), QStringLiteral("back\\\\slash"));
    EXPECT_EQ(DisplayPath(QStringLiteral("photo é✓.jpg")), QStringLiteral("photo é✓.jpg"));
    EXPECT_EQ(DisplayPath(QString(QChar(0x202E)) + QStringLiteral("gpj.exe")), QStringLiteral("\\u202Egpj.exe"));
}

TEST(FilePath, LocalUrlsKeepTheirBytes)
{
    EXPECT_EQ(PathToBytes(mGdip::PathFromLocalUrl(QUrl::fromEncoded("file:///tmp/lat%E9%20x.png"))),
        QByteArray("/tmp/lat\xE9 x.png"));
    EXPECT_EQ(mGdip::PathFromLocalUrl(QUrl::fromEncoded("file:///tmp/%C3%A9.png")), QStringLiteral("/tmp/é.png"));
    EXPECT_TRUE(mGdip::PathFromLocalUrl(QUrl(QStringLiteral("https://example.org/a.png"))).isEmpty());
}

TEST(FilePath, FolderAndNameParts)
{
    EXPECT_EQ(mGdip::LastPathComponent(QStringLiteral("/a/b/c.png")), QStringLiteral("c.png"));
    EXPECT_EQ(mGdip::FolderOfPath(QStringLiteral("/a/b/c.png")), QStringLiteral("/a/b"));
    EXPECT_EQ(mGdip::FolderOfPath(QStringLiteral("c.png")), QStringLiteral("."));
    EXPECT_EQ(mGdip::FolderOfPath(QStringLiteral("/c.png")), QStringLiteral("/"));
}

class BytePaths : public testsupport::TempFolderTest { };

TEST_F(BytePaths, NamesThatAreNotUtf8LoadAndSaveByteForByte)
{
    const QByteArray folderBytes = QFile::encodeName(folder());
    const QImage first = testsupport::RandomArgb(3, 2, 1), second = testsupport::RandomArgb(3, 2, 2);
    const QString a = PathFromBytes(folderBytes + "/lat\xE9.png"), b = PathFromBytes(folderBytes + "/lat\xE8.png");
    ASSERT_EQ(mGdip::SaveImageAsPng(mGdip::Image(first), a), mGdip::ImagingStatus::Ok);
    ASSERT_EQ(mGdip::SaveImageAsPng(mGdip::Image(second), b), mGdip::ImagingStatus::Ok);
    // Both exist under their exact bytes.
    EXPECT_EQ(::access((folderBytes + "/lat\xE9.png").constData(), F_OK), 0);
    EXPECT_EQ(::access((folderBytes + "/lat\xE8.png").constData(), F_OK), 0);
    const mGdip::LoadedImage loadedA = mGdip::LoadImageFile(a), loadedB = mGdip::LoadImageFile(b);
    ASSERT_EQ(loadedA.status, mGdip::ImagingStatus::Ok) << qPrintable(loadedA.reason);
    ASSERT_EQ(loadedB.status, mGdip::ImagingStatus::Ok) << qPrintable(loadedB.reason);
    EXPECT_EQ(testsupport::FirstDifference(loadedA.image.qimage(), first), -1);
    EXPECT_EQ(testsupport::FirstDifference(loadedB.image.qimage(), second), -1);
}

TEST_F(BytePaths, OnlyRegularFilesAreRead)
{
    const QByteArray fifo = QFile::encodeName(path(QStringLiteral("pipe.png")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    // Must not wait for a writer.
    EXPECT_EQ(mGdip::LoadImageFile(path(QStringLiteral("pipe.png"))).failure.kind, mGdip::FailureKind::NotRegularFile);
    EXPECT_EQ(mGdip::LoadImageFile(QStringLiteral("/dev/null")).failure.kind, mGdip::FailureKind::NotRegularFile);
    EXPECT_EQ(mGdip::LoadImageFile(folder()).failure.kind, mGdip::FailureKind::IsFolder);
    EXPECT_EQ(mGdip::LoadImageFile(path(QStringLiteral("none.png"))).failure.kind, mGdip::FailureKind::NotFound);
    EXPECT_EQ(mGdip::LoadImageFile(path(QStringLiteral("none/deeper.png"))).failure.kind, mGdip::FailureKind::NotFound);
    ASSERT_TRUE(testsupport::WriteBytes(path(QStringLiteral("empty.png")), {}));
    EXPECT_EQ(mGdip::LoadImageFile(path(QStringLiteral("empty.png"))).failure.kind, mGdip::FailureKind::Empty);
}

} // namespace
