// The window's command line: each file opens as a drop of its own would, in
// order; --help and --version answer without a window.
#include "process_runner.h"
#include "scratch_folder.h"
#include "window_test_support.h"

#include "app/command_line.h"
#include "fixtures/sample_files.h"
#include "imaging/mgdip.h"

#include <QFile>

#include <gtest/gtest.h>

#include <vector>

namespace {

using app::Form1;
using app::WindowCommandLine;
using namespace window_testing;

WindowCommandLine Parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "chromobrisk");
    return app::ParseWindowCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(WindowCommandLine, FilesOptionsAndTheEndOfOptions)
{
    const WindowCommandLine files = Parse({"a.png", "-", "lat\xe9.jpg", "--", "--help", "-x.png"});
    EXPECT_EQ(files.action, WindowCommandLine::Action::Open);
    EXPECT_EQ(files.files, (QStringList{"a.png", "-", mGdip::PathFromBytes("lat\xe9.jpg"), "--help", "-x.png"}))
        << "names are bytes; after -- everything is a file";

    EXPECT_EQ(Parse({"a.png", "--help"}).action, WindowCommandLine::Action::Help);
    EXPECT_EQ(Parse({"-h"}).action, WindowCommandLine::Action::Help);
    EXPECT_EQ(Parse({"--version", "--help"}).action, WindowCommandLine::Action::Version) << "the first one decides";

    const WindowCommandLine unknown = Parse({"--bogus", "--help"});
    EXPECT_EQ(unknown.action, WindowCommandLine::Action::UsageError);
    EXPECT_TRUE(unknown.error.contains(QStringLiteral("--bogus"))) << unknown.error.toStdString();
}

// What a window holds and shows once its files are in.
struct Opened {
    QString sourceFileName;
    std::int32_t width = -1, height = -1;
    QImage source, shown;
    QStringList messages;
};

class WindowOpensFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        QImage ramp(12, 4, QImage::Format_ARGB32);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 12; ++x) ramp.setPixel(x, y, qRgba(20 * x, 60 * y, 7, y == 3 ? 0 : 255));
        good = window_testing::WritePng(folder, QStringLiteral("ramp.png"), ramp);
        other = window_testing::WritePng(folder, QStringLiteral("other.png"), Flat(3, 2, qRgba(1, 2, 3, 255)));
        damaged = folder.filePath(QStringLiteral("damaged.png"));
        QFile file(damaged);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(fixtures::kPngSignature) + "but then nothing of an image");
    }

    // A window started with `files` on its command line.
    static Opened FromCommandLine(const QStringList& files)
    {
        std::vector<QByteArray> bytes;
        for (const QString& file : files) bytes.push_back(mGdip::PathToBytes(file));
        std::vector<const char*> args{"--"};
        for (const QByteArray& b : bytes) args.push_back(b.constData());
        const WindowCommandLine parsed = Parse(args);
        EXPECT_EQ(parsed.action, WindowCommandLine::Action::Open);

        Recorded recorded;
        Form1 form(TestOptions(recorded));
        app::OpenFilesAsDrops(form, parsed.files);
        Opened opened;
        RunWindow(form, {[&] { opened = Capture(form, recorded); }});
        return opened;
    }

    // A window given `files` by drops, one file each.
    static Opened FromDrops(const QStringList& files)
    {
        Recorded recorded;
        Form1 form(TestOptions(recorded));
        std::vector<Step> steps;
        for (const QString& file : files) steps.push_back([&form, file] { DropFiles(form.Pic1, {file}); });
        Opened opened;
        steps.push_back([&] { opened = Capture(form, recorded); });
        RunWindow(form, std::move(steps));
        return opened;
    }

    static Opened Capture(const Form1& form, const Recorded& recorded)
    {
        const app::AppState& s = form.state();
        return {s.SourceFileName, s.ImageWidth, s.ImageHeight, s.SourceImage.qimage().copy(),
            form.Pic1->surface().target()->copy(), recorded.messages};
    }

    static void ExpectSame(const Opened& a, const Opened& b)
    {
        EXPECT_EQ(a.sourceFileName, b.sourceFileName);
        EXPECT_EQ(a.width, b.width);
        EXPECT_EQ(a.height, b.height);
        EXPECT_EQ(a.source, b.source);
        EXPECT_EQ(a.shown, b.shown);
        EXPECT_EQ(a.messages, b.messages);
    }

    testsupport::ScratchFolder folder;
    QString good, other, damaged;
};

TEST_F(WindowOpensFiles, AFileOnTheCommandLineOpensAsItsDropWould)
{
    const Opened opened = FromCommandLine({good});
    ExpectSame(opened, FromDrops({good}));
    EXPECT_EQ(opened.sourceFileName, QStringLiteral("ramp.png"));
    EXPECT_EQ(opened.width, 12);
    EXPECT_EQ(opened.shown.pixel(11, 2), qRgb(220, 120, 7));
    EXPECT_TRUE(opened.messages.isEmpty());
}

TEST_F(WindowOpensFiles, ADamagedFileGivesTheDropsMessageAndLeavesTheSourceEmpty)
{
    const Opened opened = FromCommandLine({damaged});
    ExpectSame(opened, FromDrops({damaged}));
    ASSERT_EQ(opened.messages.size(), 1);
    EXPECT_TRUE(opened.messages[0].contains(QStringLiteral("damaged.png")));
    EXPECT_TRUE(opened.source.isNull());
    EXPECT_TRUE(opened.sourceFileName.isEmpty());
    EXPECT_EQ(opened.shown.pixel(0, 0), qRgb(0, 0, 0)) << "the empty source picture";
}

TEST_F(WindowOpensFiles, SeveralFilesOpenInOrderAndTheLastThatOpensStays)
{
    const Opened opened = FromCommandLine({other, good, damaged});
    ExpectSame(opened, FromDrops({other, good, damaged}));
    EXPECT_EQ(opened.sourceFileName, QStringLiteral("ramp.png"));
    EXPECT_EQ(opened.messages.size(), 1) << "the damaged file's";
}

// The program itself: help and version without a display, one version for
// both programs, and an unknown option refused before any window.
TEST(WindowProgram, AnswersHelpAndVersionWithoutADisplay)
{
    QProcessEnvironment noDisplay = QProcessEnvironment::systemEnvironment();
    noDisplay.remove(QStringLiteral("DISPLAY"));
    noDisplay.remove(QStringLiteral("WAYLAND_DISPLAY"));
    noDisplay.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    auto run = [&](const QString& program, const QStringList& args) {
        return testsupport::RunProcess(program, args, QDir::tempPath(), noDisplay);
    };

    const testsupport::ProcessResult version = run(QStringLiteral(CHROMOBRISK_WINDOW_PATH), {"--version"});
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_EQ(version.out, QByteArray("chromobrisk " CHROMOBRISK_VERSION "\n"));
    const testsupport::ProcessResult cliVersion = run(QStringLiteral(CHROMOBRISK_CLI_PATH), {"--version"});
    EXPECT_EQ(cliVersion.out, QByteArray("chromobrisk-cli " CHROMOBRISK_VERSION "\n"));

    const testsupport::ProcessResult help = run(QStringLiteral(CHROMOBRISK_WINDOW_PATH), {"some.png", "--help"});
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.startsWith("usage: chromobrisk ")) << help.out.toStdString();
    EXPECT_TRUE(help.err.isEmpty()) << help.err.toStdString();

    QProcessEnvironment offscreen = noDisplay;
    offscreen.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const testsupport::ProcessResult bogus =
        testsupport::RunProcess(QStringLiteral(CHROMOBRISK_WINDOW_PATH), {"--bogus"}, QDir::tempPath(), offscreen);
    EXPECT_EQ(bogus.exitCode, 2);
    EXPECT_TRUE(bogus.err.contains("chromobrisk: unknown option --bogus\nusage: ")) << bogus.err.toStdString();
}

} // namespace
