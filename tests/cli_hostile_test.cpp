// The batch tool against tampered output folders, odd names, closed streams,
// full disks and interruption: the real binary through a shell.
#include "imaging_test_support.h"
#include "process_runner.h"

#include "fixtures/sample_files.h"
#include "imaging/mgdip.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

using ShellResult = testsupport::ProcessResult;

class CliHostile : public testsupport::TempFolderTest {
protected:
    // Runs `script` in bash in the test's folder; "$CLI" is the tool.
    ShellResult Shell(const QString& script) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CLI"), QStringLiteral(CHROMOBRISK_CLI_PATH));
        return testsupport::RunProcess(QStringLiteral("bash"), {QStringLiteral("-c"), script}, folder(), environment,
                                       std::chrono::minutes(5));
    }

    void WritePng(const QString& name, std::uint32_t seed = 1) const
    {
        ASSERT_TRUE(testsupport::WriteBytes(path(name), fixtures::EncodeWithQt(testsupport::RandomArgb(6, 5, seed), "png")));
    }

    bool IsPng(const QString& file) const
    {
        return mGdip::LoadImageFile(file).failure.kind == mGdip::FailureKind::None;
    }
};

TEST_F(CliHostile, LinksAtResultPathsAreRefusedAndTheirTargetsUntouched)
{
    WritePng(QStringLiteral("a.png"));
    WritePng(QStringLiteral("b.png"));
    WritePng(QStringLiteral("c.png"));
    ASSERT_TRUE(QDir(folder()).mkdir(QStringLiteral("out")));
    ASSERT_TRUE(testsupport::WriteBytes(path(QStringLiteral("victim")), "precious"));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("victim")), path(QStringLiteral("out/a.png.png"))));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("created-by-link")), path(QStringLiteral("out/b.png.png"))));

    const ShellResult r = Shell(QStringLiteral("\"$CLI\" simple -j 1 -o out a.png b.png c.png"));
    EXPECT_EQ(r.exitCode, 1);
    const QList<QByteArray> lines = r.err.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2) << r.err.constData();
    EXPECT_TRUE(lines[0].contains("a.png:") && lines[0].contains("symbolic link")) << r.err.constData();
    EXPECT_TRUE(lines[1].contains("b.png:") && lines[1].contains("symbolic link")) << r.err.constData();
    EXPECT_EQ(testsupport::ReadBytes(path(QStringLiteral("victim"))), QByteArray("precious"));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("created-by-link"))));
    EXPECT_TRUE(IsPng(path(QStringLiteral("out/c.png.png"))));
    EXPECT_EQ(testsupport::EntriesOf(path(QStringLiteral("out"))),
              (QStringList{QStringLiteral("a.png.png"), QStringLiteral("b.png.png"), QStringLiteral("c.png.png")}));
}

TEST_F(CliHostile, NamesThatAreNotUtf8AreKeptByteForByteAndShownEscaped)
{
    const QByteArray here = QFile::encodeName(folder());
    ASSERT_TRUE(testsupport::WriteBytesAt(here + "/lat\xE9.png", fixtures::EncodeWithQt(testsupport::RandomArgb(3, 3, 1), "png")));
    ASSERT_TRUE(testsupport::WriteBytesAt(here + "/lat\xE8.png", fixtures::EncodeWithQt(testsupport::RandomArgb(3, 3, 2), "png")));
    ASSERT_TRUE(QDir(folder()).mkdir(QStringLiteral("out")));
    const ShellResult r = Shell(QStringLiteral("\"$CLI\" simple -o out $'lat\\xe9.png' $'lat\\xe8.png' $'gone\\xff.png'"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.trimmed(), QByteArray("chromobrisk-cli: gone\\xFF.png: the file does not exist"));
    QList<QByteArray> written = r.out.trimmed().split('\n');
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (QList<QByteArray>{"out/lat\\xE8.png.png", "out/lat\\xE9.png.png"}));
    for (const char* name : {"/out/lat\xE9.png.png", "/out/lat\xE8.png.png"})
        EXPECT_TRUE(IsPng(mGdip::PathFromBytes(here + name))) << name;
}

TEST_F(CliHostile, ClosedOutputStreamsNeverStopTheBatch)
{
    QStringList names;
    for (int i = 0; i < 40; ++i) {
        WritePng(QStringLiteral("in%1.png").arg(i), static_cast<std::uint32_t>(i));
        names << QStringLiteral("in%1.png").arg(i);
    }
    ASSERT_TRUE(testsupport::WriteBytes(path(QStringLiteral("bad.png")), "not an image"));
    const QString inputs = names.join(QLatin1Char(' '));
    struct Case {
        const char* name;
        QString redirection; // around "$CLI" simple -o OUT FILES
        int expected;
    };
    const Case cases[] = {
        {"reader gone", QStringLiteral("| true; exit ${PIPESTATUS[0]}"), 0},
        {"stdout closed", QStringLiteral(">&-"), 0},
        {"stderr closed, a file fails", QStringLiteral("bad.png 2>&-"), 1},
        {"both closed, a file fails", QStringLiteral("bad.png >&- 2>&-"), 1},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString out = QStringLiteral("out%1").arg(round++);
        ASSERT_TRUE(QDir(folder()).mkdir(out));
        const ShellResult r =
            Shell(QStringLiteral("\"$CLI\" simple -j 2 -o %1 %2 %3").arg(out, inputs, c.redirection));
        EXPECT_EQ(r.exitCode, c.expected) << r.err.constData();
        const QStringList written = testsupport::EntriesOf(path(out));
        ASSERT_EQ(written.size(), 40);
        // No line of output ended up inside a result.
        for (const QString& name : written) EXPECT_TRUE(IsPng(path(out + QLatin1Char('/') + name))) << qPrintable(name);
    }
}

TEST_F(CliHostile, OutputFolderThatIsAFileIsNotAFolder)
{
    WritePng(QStringLiteral("a.png"));
    const ShellResult r = Shell(QStringLiteral("\"$CLI\" simple -o a.png a.png"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.trimmed(), QByteArray("chromobrisk-cli: the output folder a.png is not a folder"));
}

TEST_F(CliHostile, FullDeviceSaysNoSpaceAndLeavesNoPartialFile)
{
    // A private mount of a tiny file system; only where the machine allows it.
    const ShellResult probe = Shell(QStringLiteral("unshare -m sh -c 'mkdir -p small && mount -t tmpfs -o size=64k tmpfs small'"));
    if (probe.exitCode != 0) GTEST_SKIP() << "cannot mount a small file system here: " << probe.err.constData();
    ASSERT_TRUE(testsupport::WriteBytes(path(QStringLiteral("noise.png")),
                                        fixtures::EncodeWithQt(testsupport::RandomArgb(300, 300, 3), "png")));
    const ShellResult r = Shell(QStringLiteral(
        "unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs small && \"$CLI\" simple -o small noise.png; s=$?; ls -A small; exit $s'"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.trimmed(), QByteArray("chromobrisk-cli: noise.png: cannot write small/noise.png.png: no space left on the device"));
    EXPECT_EQ(r.out.trimmed(), QByteArray()); // the folder was left empty
}

TEST_F(CliHostile, InterruptedSaveLeavesNoTemporaryFile)
{
    // Noise barely compresses, so the save takes long enough to be caught.
    const QString input = path(QStringLiteral("noise.png"));
    ASSERT_EQ(mGdip::SaveImageAsPng(mGdip::Image(testsupport::RandomArgb(3000, 3000, 5)), input), mGdip::ImagingStatus::Ok);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        const QString out = path(QStringLiteral("out%1").arg(signal));
        ASSERT_TRUE(QDir().mkdir(out));
        QProcess process;
        process.start(QStringLiteral(CHROMOBRISK_CLI_PATH), {QStringLiteral("simple"), QStringLiteral("-o"), out, input});
        ASSERT_TRUE(process.waitForStarted());
        // Wait for the temporary file (its name starts with a dot) to appear.
        bool saving = false;
        for (int i = 0; i < 3000 && !saving && process.state() == QProcess::Running; ++i) {
            const QStringList entries = testsupport::EntriesOf(out);
            saving = !entries.isEmpty() && entries.first().startsWith(QLatin1Char('.'));
            if (!saving) QThread::msleep(2);
        }
        ASSERT_TRUE(saving) << "the save was not seen in progress";
        ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(60 * 1000));
        EXPECT_EQ(process.exitStatus(), QProcess::CrashExit); // ended by the signal, as it asked
        EXPECT_TRUE(testsupport::EntriesOf(out).isEmpty()) << qPrintable(testsupport::EntriesOf(out).join(QLatin1Char(' ')));
    }
}

} // namespace
