// chromobrisk-cli: the window's three passes, run on files.
#include "batch.h"
#include "options.h"

#include "imaging/mgdip.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kExitOk = 0, kExitFileFailed = 1, kExitUsage = 2;

// One line on stderr that is rewritten in place while files are processed.
class ProgressLine {
public:
    ProgressLine(bool enabled, std::size_t total) : enabled_(enabled), total_(total) {}

    void advance(const QString& name)
    {
        ++done_;
        if (!enabled_) return;
        std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", done_, total_, mGdip::DisplayPath(name).toUtf8().constData());
        std::fflush(stderr);
    }
    void clear()
    {
        if (enabled_) std::fprintf(stderr, "\r\033[K");
    }

private:
    bool enabled_;
    std::size_t total_;
    std::size_t done_ = 0;
};

// A closed stdout or stderr must not stop the batch: writes to a pipe whose
// reader is gone fail with EPIPE instead of killing the process, and the
// standard descriptors are kept open (on /dev/null if need be), so a file the
// batch opens can never take their number and receive its lines.
void KeepStandardStreamsHarmless()
{
    std::signal(SIGPIPE, SIG_IGN);
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1) continue;
        const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
    }
}

// Why the output folder cannot take results, or empty.
QString OutputFolderProblem(const std::string& folder)
{
    struct stat info {};
    const QString shown = mGdip::DisplayPath(mGdip::PathFromBytes(folder));
    if (::stat(folder.c_str(), &info) != 0) return QStringLiteral("the output folder %1 does not exist").arg(shown);
    if (!S_ISDIR(info.st_mode)) return QStringLiteral("the output folder %1 is not a folder").arg(shown);
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    KeepStandardStreamsHarmless();
    std::vector<std::string> args(argv + 1, argv + argc);
    const cli::ParsedArguments parsed = cli::ParseArguments(args);
    switch (parsed.action) {
    case cli::ParsedArguments::Action::Help:
        std::fputs(cli::kUsage, stdout);
        std::fputs("\n", stdout);
        std::fputs(cli::kHelp.c_str(), stdout);
        return kExitOk;
    case cli::ParsedArguments::Action::Version:
        std::printf("chromobrisk-cli %s\n", CHROMOBRISK_VERSION);
        return kExitOk;
    case cli::ParsedArguments::Action::UsageError:
        std::fprintf(stderr, "chromobrisk-cli: %s\n%s", parsed.error.c_str(), cli::kUsage);
        return kExitUsage;
    case cli::ParsedArguments::Action::Run:
        break;
    }
    const cli::Options& options = parsed.options;

    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    if (!mGdip::Succeeded(mGdip::StartImaging(true, false,
                                              QStringLiteral("images cannot be decoded or PNG files written"),
                                              mGdip::kCriticalMessageStyle, QStringLiteral("chromobrisk-cli"))))
        return kExitFileFailed;

    if (const QString problem = OutputFolderProblem(options.outputFolder); !problem.isEmpty()) {
        std::fprintf(stderr, "chromobrisk-cli: %s\n", problem.toUtf8().constData());
        mGdip::ShutdownImaging();
        return kExitFileFailed;
    }

    const auto jobs = cli::PlanJobs(options);
    ProgressLine progress(isatty(STDERR_FILENO) && jobs.size() > 1, jobs.size());
    const cli::BatchReport report = cli::RunBatch(
        options, jobs,
        [&](const cli::FileJob& job, const QString& note) {
            progress.clear();
            if (!note.isEmpty())
                std::fprintf(stderr, "chromobrisk-cli: %s: %s\n", mGdip::DisplayPath(job.input).toUtf8().constData(),
                             note.toUtf8().constData());
            std::printf("%s\n", mGdip::DisplayPath(job.output).toUtf8().constData());
            std::fflush(stdout);
            progress.advance(job.input);
        },
        [&](const cli::FileJob& job, const QString& reason) {
            progress.clear();
            std::fprintf(stderr, "chromobrisk-cli: %s: %s\n", mGdip::DisplayPath(job.input).toUtf8().constData(),
                         reason.toUtf8().constData());
            progress.advance(job.input);
        });
    progress.clear();
    mGdip::ShutdownImaging();
    // A seed that fits no image is the command line's fault, though only the
    // image could tell: a usage error, after every other file was processed.
    if (report.misused > 0) return kExitUsage;
    return report.failed > 0 ? kExitFileFailed : kExitOk;
}
