// The batch tool in daily use: results that exist, folders and lists,
// pipes, and what it prints; the real binary through a shell.
#include "imaging_test_support.h"
#include "process_runner.h"
#include "scratch_folder.h"

#include "cli/standard_input.h"
#include "fixtures/sample_files.h"
#include "imaging/mgdip.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {

using testsupport::EntriesOf;
using testsupport::ReadBytes;
using ShellResult = testsupport::ProcessResult;

class CliDaily : public testsupport::TempFolderTest {
protected:
    // Runs `script` in bash in the test's folder; "$CLI" is the tool.
    ShellResult Shell(const QString& script, const QString& term = QStringLiteral("dumb")) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CLI"), QStringLiteral(CHROMOBRISK_CLI_PATH));
        environment.insert(QStringLiteral("TERM"), term);
        return testsupport::RunProcess(
            QStringLiteral("bash"), {QStringLiteral("-c"), script}, folder(), environment, std::chrono::minutes(5));
    }

    // Runs `script` with a terminal as its stdin, stdout and stderr (which
    // `script` merges into its stdout).
    ShellResult OnTerminal(const QString& script, const QString& term) const
    {
        QString quoted = script;
        quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
        return Shell(QStringLiteral("script -qec '%1' /dev/null </dev/null").arg(quoted), term);
    }

    void WriteImage(const QString& name, const QImage& image, const char* format = "png") const
    {
        ASSERT_TRUE(testsupport::WriteBytes(path(name), fixtures::EncodeWithQt(image, format)));
    }

    void MakeFolder(const QString& name) const { ASSERT_TRUE(QDir(folder()).mkpath(name)); }

    std::vector<std::uint32_t> PixelsOfFile(const QString& name) const
    {
        const mGdip::LoadedImage loaded = mGdip::LoadImageFile(path(name));
        EXPECT_EQ(loaded.status, mGdip::ImagingStatus::Ok) << qPrintable(name) << ": " << qPrintable(loaded.reason);
        return testsupport::PixelsOf(loaded.image.qimage());
    }
};

// ---- results that exist ------------------------------------------------------------

TEST_F(CliDaily, ResultsThatExistAreRefusedReplacedOrSkipped)
{
    WriteImage(QStringLiteral("a.png"), testsupport::RandomArgb(40, 30, 1));
    WriteImage(QStringLiteral("b.png"), testsupport::RandomArgb(40, 30, 2));
    MakeFolder(QStringLiteral("out"));
    ASSERT_TRUE(testsupport::WriteBytes(path(QStringLiteral("out/a.png.png")), "from another image"));

    // Refused and left byte for byte; the other file is still written.
    ShellResult r = Shell(QStringLiteral("\"$CLI\" simple -o out a.png b.png"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, QByteArray("chromobrisk-cli: a.png: out/a.png.png exists; not replaced (use --overwrite)\n"));
    EXPECT_EQ(r.out, QByteArray("out/b.png.png\n"));
    EXPECT_EQ(ReadBytes(path(QStringLiteral("out/a.png.png"))), QByteArray("from another image"));
    const QByteArray b = ReadBytes(path(QStringLiteral("out/b.png.png")));

    // --overwrite replaces it with the result.
    r = Shell(QStringLiteral("\"$CLI\" simple --overwrite -o out a.png"));
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    MakeFolder(QStringLiteral("fresh"));
    ASSERT_EQ(Shell(QStringLiteral("\"$CLI\" simple -o fresh a.png")).exitCode, 0);
    EXPECT_EQ(ReadBytes(path(QStringLiteral("out/a.png.png"))), ReadBytes(path(QStringLiteral("fresh/a.png.png"))));

    // --skip-existing reads nothing: inputs that are now garbage, one on
    // standard input, count as done, and their results stay.
    ASSERT_TRUE(testsupport::WriteBytes(path(QStringLiteral("b.png")), "garbage"));
    ASSERT_TRUE(testsupport::WriteBytes(path(QStringLiteral("out/stdin.png")), "earlier"));
    r = Shell(QStringLiteral("echo garbage | \"$CLI\" simple --skip-existing -v -o out b.png -"));
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.out, QByteArray("out/b.png.png\nout/stdin.png\n"));
    EXPECT_EQ(r.err,
        QByteArray("chromobrisk-cli: b.png: skipped: out/b.png.png exists\n"
                   "chromobrisk-cli: -: skipped: out/stdin.png exists\n"));
    EXPECT_EQ(ReadBytes(path(QStringLiteral("out/b.png.png"))), b);
    // Nothing half-done is left: only the results.
    EXPECT_EQ(EntriesOf(path(QStringLiteral("out"))),
        (QStringList{QStringLiteral("a.png.png"), QStringLiteral("b.png.png"), QStringLiteral("stdin.png")}));
}

// ---- folders and lists ------------------------------------------------------------

TEST_F(CliDaily, FoldersAreWalkedAndMirroredAndListsNameFilesByteForByte)
{
    const QByteArray here = QFile::encodeName(folder());
    MakeFolder(QStringLiteral("tree/sub"));
    MakeFolder(QStringLiteral("tree/.hidden-folder"));
    MakeFolder(QStringLiteral("elsewhere"));
    MakeFolder(QStringLiteral("tree/out")); // the output folder, inside the tree, with a result of its own
    const QImage image = testsupport::OpaquePattern(12, 9);
    for (const char* name :
        {"tree/a.png", "tree/.hidden.png", "tree/.hidden-folder/c.png", "elsewhere/d.png", "tree/out/old.png"})
        WriteImage(QString::fromLatin1(name), image);
    WriteImage(QStringLiteral("tree/sub/b.jpg"), image, "jpeg");
    WriteImage(QStringLiteral("tree/sub/no-extension"), image, "bmp");
    ASSERT_TRUE(testsupport::WriteBytes(path(QStringLiteral("tree/notes.txt")), "not an image\n"));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("elsewhere")), path(QStringLiteral("tree/linked"))));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("elsewhere/d.png")), path(QStringLiteral("tree/linked.png"))));
    ASSERT_TRUE(testsupport::WriteBytesAt(here + "/tree/lat\xE9.png", fixtures::EncodeWithQt(image, "png")));

    // Sorted by bytes; hidden entries, links, the text file and the output folder left out.
    ShellResult r = Shell(QStringLiteral("\"$CLI\" simple -r --print0 -o tree/out tree"));
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    static const char kListed[] = "tree/out/a.png.png\0tree/out/lat\xE9.png.png\0tree/out/sub/b.jpg.png\0"
                                  "tree/out/sub/no-extension.png\0";
    EXPECT_EQ(r.out, QByteArray(kListed, sizeof kListed - 1));
    // (QDir lists only names that are UTF-8; the other is looked up by its bytes.)
    EXPECT_EQ(EntriesOf(path(QStringLiteral("tree/out"))),
        (QStringList{QStringLiteral("a.png.png"), QStringLiteral("old.png"), QStringLiteral("sub")}));
    EXPECT_EQ(::access(here + "/tree/out/lat\xE9.png.png", F_OK), 0);
    EXPECT_EQ(EntriesOf(path(QStringLiteral("tree/out/sub"))),
        (QStringList{QStringLiteral("b.jpg.png"), QStringLiteral("no-extension.png")}));
    EXPECT_EQ(
        EntriesOf(path(QStringLiteral("elsewhere"))), QStringList{QStringLiteral("d.png")}); // nothing written there
    EXPECT_EQ(PixelsOfFile(QStringLiteral("tree/out/sub/no-extension.png")),
        PixelsOfFile(QStringLiteral("tree/out/a.png.png")));

    // A hidden file named is taken; so is a name with a newline in a NUL list.
    ASSERT_TRUE(testsupport::WriteBytes(path(QStringLiteral("new\nline.png")), fixtures::EncodeWithQt(image, "png")));
    MakeFolder(QStringLiteral("nul"));
    r = Shell(QStringLiteral(
        "printf 'new\\nline.png\\0tree/.hidden.png\\0' | \"$CLI\" simple --files0-from - --print0 -o nul"));
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.out, QByteArray("nul/new\nline.png.png\0nul/.hidden.png.png\0", 41));

    // A newline list, and names from the command line before it.
    MakeFolder(QStringLiteral("lines"));
    r = Shell(QStringLiteral(
        "printf 'tree/sub/b.jpg\\n\\ntree/lat\\xe9.png\\n' | \"$CLI\" simple --files-from - -o lines tree/a.png"));
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.out, QByteArray("lines/a.png.png\nlines/b.jpg.png\nlines/lat\\xE9.png.png\n"));
}

// ---- pipes -------------------------------------------------------------------------

TEST_F(CliDaily, StandardInputAndOutputGiveWhatFilesGive)
{
    const QImage photo = testsupport::RandomArgb(300, 200, 7);
    WriteImage(QStringLiteral("in.png"), photo);
    WriteImage(QStringLiteral("in.jpg"), photo, "jpeg");
    WriteImage(QStringLiteral("in.bmp"), photo, "bmp");
    MakeFolder(QStringLiteral("files"));
    // A temporary folder of the test's own, so that other programs' files in
    // the shared one cannot pass for leftovers.
    const testsupport::ScratchFolder spool;
    ASSERT_TRUE(spool.isValid());
    const QString inSpool = QStringLiteral("export TMPDIR='%1'; ").arg(spool.path());
    for (const QString& name : {QStringLiteral("in.png"), QStringLiteral("in.jpg"), QStringLiteral("in.bmp")}) {
        SCOPED_TRACE(qPrintable(name));
        ASSERT_EQ(Shell(QStringLiteral("\"$CLI\" alpha --key white -o files %1").arg(name)).exitCode, 0);
        const QByteArray expected = ReadBytes(path(QStringLiteral("files/%1.png").arg(name)));
        ASSERT_FALSE(expected.isEmpty());
        // Through a pipe both ways, and from a file redirected in.
        for (const QString& how : {QStringLiteral("cat %1 | \"$CLI\" alpha --key white -o - - >piped.png"),
                 QStringLiteral("\"$CLI\" alpha --key white -o - - <%1 >piped.png")}) {
            const ShellResult r = Shell(inSpool + how.arg(name));
            ASSERT_EQ(r.exitCode, 0) << r.err.constData();
            EXPECT_EQ(r.err, QByteArray());
            EXPECT_EQ(ReadBytes(path(QStringLiteral("piped.png"))), expected);
        }
    }
    EXPECT_EQ(EntriesOf(path(QStringLiteral("files"))).size(), 3); // and nothing else anywhere
    EXPECT_EQ(EntriesOf(folder()).size(), 5);
    EXPECT_TRUE(EntriesOf(spool.path()).isEmpty());

    // Hostile files from a pipe: refused for the same reason as from a file,
    // or, the few that are valid, the same result.
    MakeFolder(QStringLiteral("hostile"));
    MakeFolder(QStringLiteral("out"));
    int refused = 0;
    for (const fixtures::NamedFile& file : fixtures::HostileFiles()) {
        SCOPED_TRACE(qPrintable(file.name));
        ASSERT_TRUE(testsupport::WriteBytes(path(QStringLiteral("hostile/") + file.name), file.bytes));
        const ShellResult named = Shell(QStringLiteral("\"$CLI\" simple -o out hostile/%1").arg(file.name));
        const ShellResult piped =
            Shell(QStringLiteral("cat hostile/%1 | \"$CLI\" simple -o - - >piped.png").arg(file.name));
        ASSERT_EQ(piped.exitCode, named.exitCode) << piped.err.constData();
        if (named.exitCode == 0) {
            EXPECT_EQ(ReadBytes(path(QStringLiteral("piped.png"))),
                ReadBytes(path(QStringLiteral("out/%1.png").arg(file.name))));
            continue;
        }
        ++refused;
        const QString prefix = QStringLiteral("chromobrisk-cli: hostile/%1: ").arg(file.name);
        ASSERT_TRUE(QString::fromUtf8(named.err).startsWith(prefix)) << named.err.constData();
        EXPECT_EQ(QString::fromUtf8(piped.err),
            QStringLiteral("chromobrisk-cli: -: ") + QString::fromUtf8(named.err).mid(prefix.size()));
    }
    EXPECT_GE(refused, 12);

    // -o - is refused on a terminal and for more than one input; so is an image from a terminal.
    for (const auto& [script, error] :
        {std::pair{QStringLiteral("\"$CLI\" simple -o - in.png"),
             QByteArray("chromobrisk-cli: -o -: standard output is a terminal; redirect it to a file or a pipe")},
            std::pair{QStringLiteral("\"$CLI\" simple -o out - >/dev/null"),
                QByteArray("chromobrisk-cli: standard input is a terminal; pipe an image into it or name a file")}}) {
        const ShellResult r = OnTerminal(script, QStringLiteral("dumb"));
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.out.startsWith(error + "\r\nusage: ")) << r.out.constData();
    }
    const ShellResult two = Shell(QStringLiteral("\"$CLI\" simple -o - in.png in.jpg >piped.png"));
    EXPECT_EQ(two.exitCode, 2);
    EXPECT_TRUE(two.err.startsWith("chromobrisk-cli: -o - writes one image, but 2 inputs were given\nusage: "));
    EXPECT_EQ(ReadBytes(path(QStringLiteral("piped.png"))), QByteArray());
}

TEST(StandardInputFile, KeepsAPipeUpToItsLimit)
{
    for (const std::size_t size : {std::size_t{1000}, std::size_t{1001}, std::size_t{300000}}) {
        SCOPED_TRACE(size);
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        std::string sent(size, '\0');
        for (std::size_t i = 0; i < size; ++i) sent[i] = static_cast<char>(i * 7 + i / 256);
        std::thread writer([&] {
            for (std::size_t at = 0; at < sent.size();) {
                const ssize_t wrote = ::write(ends[1], sent.data() + at, sent.size() - at);
                if (wrote <= 0) break; // the reader stopped
                at += static_cast<std::size_t>(wrote);
            }
            ::close(ends[1]);
        });
        const std::uint64_t limit = size == 1001 ? 1000 : size;
        {
            const cli::StandardInputFile input(ends[0], limit);
            if (size > limit) {
                EXPECT_EQ(input.problem(),
                    QStringLiteral(
                        "standard input holds more than 1000 bytes, more than any image within the size limits"));
            } else {
                ASSERT_TRUE(input.problem().isEmpty()) << qPrintable(input.problem());
                EXPECT_EQ(ReadBytes(input.path()), QByteArray::fromStdString(sent));
            }
        }
        ::close(ends[0]);
        writer.join();
    }
    // The bound lets through an image at the pixel limit stored as 16-bit RGBA.
    EXPECT_GT(cli::LargestStandardInput(), static_cast<std::uint64_t>(mGdip::kMaxImagePixels) * 8);
}

// ---- what it prints -------------------------------------------------------------------

TEST_F(CliDaily, ResultsAreListedInInputOrderQuietlyOrWithProgressOnlyWhereItCanBeDrawn)
{
    // The first file takes far longer than the rest, so with two jobs the
    // others finish first; one in the middle fails.
    QStringList names;
    WriteImage(QStringLiteral("big.png"), testsupport::RandomArgb(1500, 1500, 3));
    names << QStringLiteral("big.png");
    for (int i = 0; i < 6; ++i) {
        names << QStringLiteral("small%1.png").arg(i);
        if (i == 3)
            ASSERT_TRUE(testsupport::WriteBytes(path(names.last()), "not an image"));
        else
            WriteImage(names.last(), testsupport::RandomArgb(8, 8, static_cast<std::uint32_t>(i)));
    }
    const QString inputs = names.join(QLatin1Char(' '));
    MakeFolder(QStringLiteral("out"));
    ShellResult r = Shell(QStringLiteral("\"$CLI\" simple -j 2 -v -o out %1").arg(inputs));
    EXPECT_EQ(r.exitCode, 1);
    QByteArray listed;
    for (const QString& name : names)
        if (name != QStringLiteral("small3.png")) listed += "out/" + name.toUtf8() + ".png\n";
    EXPECT_EQ(r.out, listed);
    const QList<QByteArray> lines = r.err.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 7) << r.err.constData();
    for (int i = 0; i < 7; ++i)
        EXPECT_TRUE(lines[i].startsWith("chromobrisk-cli: " + names[i].toUtf8() + ": ")) << r.err.constData();
    EXPECT_TRUE(lines[0].contains(": simple, key ") && lines[0].contains("(pixel 0,0), tolerance 30, 1500 × 1500, "))
        << lines[0].constData();

    // Quiet: nothing on stdout, the error still on stderr.
    MakeFolder(QStringLiteral("quiet"));
    r = Shell(QStringLiteral("\"$CLI\" simple -q -o quiet %1").arg(inputs));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, QByteArray());
    EXPECT_EQ(r.err.count('\n'), 1);
    EXPECT_TRUE(r.err.startsWith("chromobrisk-cli: small3.png: ")) << r.err.constData();

    // The progress line is drawn on a terminal, not on a dumb one, not when quiet.
    const QString run = QStringLiteral("\"$CLI\" simple %1 -o %2 small0.png small1.png >/dev/null");
    int round = 0;
    for (const auto& [term, flags, drawn] :
        {std::tuple{"xterm", "", true}, std::tuple{"dumb", "", false}, std::tuple{"xterm", "-q", false}}) {
        SCOPED_TRACE(term);
        const QString out = QStringLiteral("p%1").arg(round++);
        MakeFolder(out);
        r = OnTerminal(run.arg(QLatin1String(flags), out), QLatin1String(term));
        EXPECT_EQ(r.exitCode, 0) << r.out.constData();
        EXPECT_EQ(r.out.contains("\033[K"), drawn) << r.out.constData();
        EXPECT_EQ(r.out.contains("[2/2] small"), drawn) << r.out.constData();
    }
}

} // namespace
