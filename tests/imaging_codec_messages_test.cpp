// What codecs say reaches the program, never the terminal, and the program's
// own message handler is back in place once a decode is over.
#include "imaging_test_support.h"

#include "fixtures/sample_files.h"
#include "imaging/mgdip.h"

#include <QImageWriter>

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

namespace {

// Captures what is written to the stderr descriptor while alive.
class StderrCapture {
public:
    explicit StderrCapture(const QString& file)
    {
        std::fflush(stderr);
        saved_ = ::dup(2);
        FILE* out = std::fopen(QFile::encodeName(file).constData(), "w");
        ::dup2(::fileno(out), 2);
        std::fclose(out);
    }
    ~StderrCapture()
    {
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
    }

private:
    int saved_;
};

int g_ourMessages = 0;
void CountingHandler(QtMsgType, const QMessageLogContext&, const QString&) { ++g_ourMessages; }

class CodecMessages : public testsupport::TempFolderTest { };

TEST_F(CodecMessages, TiffWarningsAndErrorsBecomeReasonsNotOutput)
{
    if (!QImageWriter::supportedImageFormats().contains("tiff")) GTEST_SKIP() << "no TIFF plugin";
    const QByteArray tiff = fixtures::EncodeWithQt(testsupport::RandomArgb(40, 30, 1), "tiff");
    ASSERT_FALSE(tiff.isEmpty());
    const QString damaged = path(QStringLiteral("damaged.tif"));
    ASSERT_TRUE(testsupport::WriteBytes(damaged, tiff.left(tiff.size() - 40)));
    const QString whole = path(QStringLiteral("whole.tif"));
    ASSERT_TRUE(testsupport::WriteBytes(whole, tiff));

    const QString captured = path(QStringLiteral("stderr.txt"));
    mGdip::LoadedImage bad, good;
    {
        StderrCapture capture(captured);
        bad = mGdip::LoadImageFile(damaged);
        good = mGdip::LoadImageFile(whole);
    }
    EXPECT_EQ(testsupport::ReadBytes(captured), QByteArray());
    EXPECT_NE(bad.failure.kind, mGdip::FailureKind::None);
    EXPECT_TRUE(bad.reason.contains(QStringLiteral("TIFF"))) << qPrintable(bad.reason);
    EXPECT_EQ(good.failure.kind, mGdip::FailureKind::None) << qPrintable(good.reason);
}

TEST_F(CodecMessages, TheProgramsHandlerIsRestoredAndStillHearsOtherMessages)
{
    const QtMessageHandler before = qInstallMessageHandler(CountingHandler);
    g_ourMessages = 0;
    const QString file = path(QStringLiteral("cut.gif"));
    const std::uint32_t palette[4] = {0, 0xFFFFFF, 0xFF0000, 0x00FF00};
    ASSERT_TRUE(testsupport::WriteBytes(file, fixtures::MakeGif(8, 8, palette, std::vector<int>(64, 1), -1)));
    EXPECT_EQ(mGdip::LoadImageFile(file).failure.kind, mGdip::FailureKind::None);
    qWarning("after the decode");
    EXPECT_EQ(g_ourMessages, 1);
    EXPECT_EQ(qInstallMessageHandler(before), CountingHandler);
}

} // namespace
