// The batch tool against tampered output folders, odd names, closed streams,
// full disks and interruption: the real binary through a shell.
#include "imaging_test_support.h"
#include "process_runner.h"

#include "fixtures/sample_files.h"
#include "imaging/files/temporary_name.h"
#include "imaging/mgdip.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>
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
        return testsupport::RunProcess(
            QStringLiteral("bash"), {QStringLiteral("-c"), script}, folder(), environment, std::chrono::minutes(5));
    }

    void WritePng(const QString& name, std::uint32_t seed = 1) const
    {
        ASSERT_TRUE(
            testsupport::WriteBytes(path(name), fixtures::EncodeWithQt(testsupport::RandomArgb(6, 5, seed), "png")));
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

TEST_F(CliHostile, TheResultsPlaceIsCheckedBeforeTheInputIsOpened)
{
    // The inputs are pipes: had one been opened, it would be refused as
    // "not a regular file" instead.
    const QByteArray longName(252, 'n'); // its result's name is 256 bytes
    for (const QByteArray& name : {QByteArray("link.png"), QByteArray("folder.png"), longName})
        ASSERT_EQ(::mkfifo(QFile::encodeName(path(QString::fromLatin1(name))).constData(), 0666), 0);
    ASSERT_TRUE(QDir(folder()).mkpath(QStringLiteral("out/folder.png.png")));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("elsewhere")), path(QStringLiteral("out/link.png.png"))));

    const ShellResult r =
        Shell(QStringLiteral("\"$CLI\" simple -j 2 -o out link.png folder.png %1").arg(QString::fromLatin1(longName)));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.trimmed().split('\n'),
        (QList<QByteArray>{
            "chromobrisk-cli: link.png: cannot write out/link.png.png: a symbolic link or other special file of that "
            "name is in the way; it was left as it is",
            "chromobrisk-cli: folder.png: cannot write out/folder.png.png: a folder of that name is in the way",
            "chromobrisk-cli: " + longName + ": cannot write out/" + longName
                + ".png: the file cannot be created (File name too long)"}));
    EXPECT_EQ(testsupport::EntriesOf(path(QStringLiteral("out"))),
        (QStringList{QStringLiteral("folder.png.png"), QStringLiteral("link.png.png")}));
    // The temporary folder's removal skips pipes.
    for (const QByteArray& name : {QByteArray("link.png"), QByteArray("folder.png"), longName})
        ::unlink(QFile::encodeName(path(QString::fromLatin1(name))).constData());
}

TEST_F(CliHostile, NamesThatAreNotUtf8AreKeptByteForByteAndShownEscaped)
{
    const QByteArray here = QFile::encodeName(folder());
    ASSERT_TRUE(testsupport::WriteBytesAt(
        here + "/lat\xE9.png", fixtures::EncodeWithQt(testsupport::RandomArgb(3, 3, 1), "png")));
    ASSERT_TRUE(testsupport::WriteBytesAt(
        here + "/lat\xE8.png", fixtures::EncodeWithQt(testsupport::RandomArgb(3, 3, 2), "png")));
    ASSERT_TRUE(QDir(folder()).mkdir(QStringLiteral("out")));
    const ShellResult r =
        Shell(QStringLiteral("\"$CLI\" simple -o out $'lat\\xe9.png' $'lat\\xe8.png' $'gone\\xff.png'"));
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
        const ShellResult r = Shell(QStringLiteral("\"$CLI\" simple -j 2 -o %1 %2 %3").arg(out, inputs, c.redirection));
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

TEST_F(CliHostile, FullDeviceRefusesALargeStreamedFileWithinTheStreamingPathsMemory)
{
    // A private mount of a small file system; only where the machine allows it.
    const ShellResult probe =
        Shell(QStringLiteral("unshare -m sh -c 'mkdir -p small && mount -t tmpfs -o size=2m tmpfs small'"));
    if (probe.exitCode != 0) GTEST_SKIP() << "cannot mount a small file system here: " << probe.err.constData();
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/time")))
        GTEST_SKIP() << "GNU time is not installed (scripts/setup)";
    // 8000 × 8000: 256 MB as a whole image, a few bands of it streamed. Noisy
    // rows keep its result far larger than the disk.
    QImage image(8000, 8000, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        std::uint32_t noise = static_cast<std::uint32_t>(y) * 2654435761u;
        for (int x = 0; x < image.width(); ++x, noise = noise * 1103515245u + 12345u)
            row[x] = 0xFF000000u | (y % 16 == 0 ? noise >> 8 : static_cast<std::uint32_t>(x * 3 + y) & 0xFFFFFFu);
    }
    ASSERT_EQ(mGdip::SaveImageAsPng(mGdip::Image(std::move(image)), path(QStringLiteral("large.png"))),
        mGdip::ImagingStatus::Ok);

    // GNU time gives the tool's own peak (a child of this process would
    // count this process's peak too).
    const ShellResult r = Shell(QStringLiteral("unshare -m sh -c 'mount -t tmpfs -o size=2m tmpfs small && "
                                               "/usr/bin/time -f %M -o peak \"$CLI\" simple -o small large.png; "
                                               "s=$?; ls -A small; exit $s'"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.trimmed(),
        QByteArray("chromobrisk-cli: large.png: cannot write small/large.png.png: no space left on the device"));
    EXPECT_EQ(r.out.trimmed(), QByteArray()); // the folder was left empty
    // The failure is the file's answer: it is not decoded again whole.
#if !defined(__SANITIZE_ADDRESS__)
    const QByteArray peak = testsupport::ReadBytes(path(QStringLiteral("peak"))).trimmed();
    EXPECT_LT(peak.split('\n').last().toLongLong(), 128 * 1024) << "peak KB of the tool: " << peak.constData();
#endif
}

// A script that starts the tool on noise.png into "out" in the background,
// waits until its temporary file (a dot-name) appears, then runs `then`
// with the tool's pid in $pid. Job control keeps SIGINT and SIGQUIT at their
// defaults for the background job; no core file is written.
QString WhileSaving(const QString& then)
{
    return QStringLiteral("set -m; ulimit -c 0; mkdir -p out\n"
                          "\"$CLI\" simple -o out noise.png & pid=$!\n"
                          "for i in $(seq 3000); do ls -A out | grep -q '^[.]' && break; sleep 0.01; done\n"
                          "ls -A out | grep -q '^[.]' || { echo 'the save was not seen in progress'; exit 99; }\n")
        + then;
}

TEST_F(CliHostile, EverySignalThatEndsTheProcessRemovesTheTemporaryFile)
{
    // Noise barely compresses, so the save takes long enough to be caught.
    ASSERT_EQ(
        mGdip::SaveImageAsPng(mGdip::Image(testsupport::RandomArgb(3000, 3000, 5)), path(QStringLiteral("noise.png"))),
        mGdip::ImagingStatus::Ok);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGALRM}) {
        SCOPED_TRACE(signal);
        const ShellResult r =
            Shell(WhileSaving(QStringLiteral("kill -%1 $pid; wait $pid; echo $?; ls -A out; rm -rf out").arg(signal)));
        // Ended by the signal, as it asked, and nothing left behind.
        EXPECT_EQ(r.out.trimmed(), QByteArray::number(128 + signal)) << r.err.constData();
    }
}

TEST_F(CliHostile, LeftoversOfWritersThatAreGoneAreRemovedAndNothingElse)
{
    using imaging::files::TemporaryNameFor;
    using imaging::files::TemporaryWriter;
    using imaging::files::ThisWriter;
    ASSERT_EQ(
        mGdip::SaveImageAsPng(mGdip::Image(testsupport::RandomArgb(3000, 3000, 5)), path(QStringLiteral("noise.png"))),
        mGdip::ImagingStatus::Ok);
    WritePng(QStringLiteral("small.png"));
    // A run killed outright leaves its temporary file behind.
    const ShellResult killed = Shell(WhileSaving(QStringLiteral("kill -KILL $pid; wait $pid; ls -A out")));
    const QList<QByteArray> left = killed.out.trimmed().split('\n');
    ASSERT_EQ(left.size(), 1) << killed.out.constData() << killed.err.constData();
    ASSERT_TRUE(imaging::files::WriterOfTemporary(left[0])) << left[0].constData();

    // Beside it: what another boot of this machine left, and what must stay.
    TemporaryWriter earlierBoot = ThisWriter(), otherMachine = ThisWriter();
    earlierBoot.boot = QByteArray(11, '0') + '1';
    otherMachine.machine = otherMachine.machine == "00000001" ? "00000002" : "00000001";
    const QByteArray bootLeftover = TemporaryNameFor("a.png.png", 255, earlierBoot);
    const QByteArray stays[] = {
        TemporaryNameFor("b.png.png", 255, ThisWriter()), // this test runs on
        TemporaryNameFor("c.png.png", 255, otherMachine), // can be told only there
        ".d.png.png.tmp", // not of the scheme
        "e" + bootLeftover, // not hidden
    };
    const QByteArray here = QFile::encodeName(path(QStringLiteral("out"))) + '/';
    for (const QByteArray& name : stays) ASSERT_TRUE(testsupport::WriteBytesAt(here + name, "keep"));
    ASSERT_TRUE(testsupport::WriteBytesAt(here + bootLeftover, "gone"));
    // Not a file: a folder and a link of the scheme, their writer gone.
    const QByteArray folderName = TemporaryNameFor("f.png.png", 255, earlierBoot);
    const QByteArray linkName = TemporaryNameFor("g.png.png", 255, earlierBoot);
    ASSERT_EQ(::mkdir((here + folderName).constData(), 0777), 0);
    ASSERT_EQ(::symlink("../small.png", (here + linkName).constData()), 0);

    const ShellResult r = Shell(QStringLiteral("\"$CLI\" simple -j 1 -o out small.png"));
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    QList<QByteArray> said = r.err.trimmed().split('\n');
    std::sort(said.begin(), said.end());
    QList<QByteArray> expected = {"chromobrisk-cli: removed a leftover temporary out/" + left[0],
        "chromobrisk-cli: removed a leftover temporary out/" + bootLeftover};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(said, expected);
    QStringList remaining = testsupport::EntriesOf(path(QStringLiteral("out")));
    QStringList kept{QStringLiteral("small.png.png"), QString::fromLatin1(folderName), QString::fromLatin1(linkName)};
    for (const QByteArray& name : stays) kept << QString::fromLatin1(name);
    kept.sort();
    EXPECT_EQ(remaining, kept);
    EXPECT_TRUE(IsPng(path(QStringLiteral("out/small.png.png"))));
}

TEST_F(CliHostile, FileSizeLimitRefusesThatFileAndTheBatchGoesOn)
{
    ASSERT_TRUE(testsupport::WriteBytes(
        path(QStringLiteral("big.png")), fixtures::EncodeWithQt(testsupport::RandomArgb(300, 300, 3), "png")));
    WritePng(QStringLiteral("small.png"));
    ASSERT_TRUE(QDir(folder()).mkdir(QStringLiteral("out")));
    // 100 KiB: the noise's result is more than three times that.
    const ShellResult r = Shell(QStringLiteral("ulimit -f 100; \"$CLI\" simple -j 1 -o out big.png small.png"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.trimmed(),
        QByteArray("chromobrisk-cli: big.png: cannot write out/big.png.png: the file would be larger than the "
                   "file-size limit"));
    EXPECT_EQ(r.out.trimmed(), QByteArray("out/small.png.png"));
    EXPECT_EQ(testsupport::EntriesOf(path(QStringLiteral("out"))), QStringList{QStringLiteral("small.png.png")});
}

} // namespace
