// chromobrisk-cli: the window's three passes, run on files.
#include "batch.h"
#include "console_report.h"
#include "help_text.h"
#include "inputs.h"
#include "options.h"

#include "imaging/mgdip.h"

#include <QCoreApplication>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <malloc.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kExitOk = 0, kExitFileFailed = 1, kExitUsage = 2;

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

// Each file's decoding and encoding buffers (a few megabytes) are freed
// when it is done, and glibc gives such blocks back to the system, so the
// next file faulted in and zeroed as many pages again: in a batch of 2 MP
// PNGs, 1,500 page faults a file. Kept, they are reused. Blocks above 32 MB
// (whole large images) still go back at once; what is kept is at most what
// one file at a time per job needed.
void KeepFreedBuffersForTheNextFile()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
#endif
}

// Why the output folder cannot take results, or empty.
QString OutputFolderProblem(const std::string& folder)
{
    struct stat info { };
    const QString shown = mGdip::DisplayPath(mGdip::PathFromBytes(folder));
    if (::stat(folder.c_str(), &info) != 0) return QStringLiteral("the output folder %1 does not exist").arg(shown);
    if (!S_ISDIR(info.st_mode)) return QStringLiteral("the output folder %1 is not a folder").arg(shown);
    return {};
}

// A usage error found only once the inputs are known.
int UsageError(const std::string& message)
{
    std::fprintf(stderr, "chromobrisk-cli: %s\n%s", message.c_str(), cli::UsageText().c_str());
    return kExitUsage;
}

// Why the command line cannot use the standard streams as it asks; empty when it can.
std::string StandardStreamProblem(const cli::Options& options, std::size_t inputs)
{
    if (std::count(options.files.begin(), options.files.end(), cli::kStandardStream) > 0 && ::isatty(STDIN_FILENO))
        return "standard input is a terminal; pipe an image into it or name a file";
    if (!options.toStandardOutput()) return {};
    if (::isatty(STDOUT_FILENO)) return "-o -: standard output is a terminal; redirect it to a file or a pipe";
    if (inputs != 1) return "-o - writes one image, but " + std::to_string(inputs) + " inputs were given";
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    KeepStandardStreamsHarmless();
    std::vector<std::string> args(argv + 1, argv + argc);
    const cli::ParsedArguments parsed = cli::ParseArguments(args);
    switch (parsed.action) {
    case cli::ParsedArguments::Action::Help: std::fputs(cli::HelpText().c_str(), stdout); return kExitOk;
    case cli::ParsedArguments::Action::Version:
        std::printf("chromobrisk-cli %s\n", CHROMOBRISK_VERSION);
        return kExitOk;
    case cli::ParsedArguments::Action::UsageError: return UsageError(parsed.error);
    case cli::ParsedArguments::Action::Run: break;
    }
    const cli::Options& options = parsed.options;

    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    const cli::GatheredInputs inputs = cli::GatherInputs(options);
    if (!inputs.usageError.empty()) return UsageError(inputs.usageError);
    if (const std::string problem = StandardStreamProblem(options, inputs.files.size()); !problem.empty())
        return UsageError(problem);

    if (!mGdip::Succeeded(
            mGdip::StartImaging(true, false, QStringLiteral("images cannot be decoded or PNG files written"),
                mGdip::kCriticalMessageStyle, QStringLiteral("chromobrisk-cli"))))
        return kExitFileFailed;

    if (!options.toStandardOutput())
        if (const QString problem = OutputFolderProblem(options.outputFolder); !problem.isEmpty()) {
            std::fprintf(stderr, "chromobrisk-cli: %s\n", problem.toUtf8().constData());
            mGdip::ShutdownImaging();
            return kExitFileFailed;
        }

    KeepFreedBuffersForTheNextFile();
    const auto jobs = cli::PlanJobs(options, inputs.files);
    cli::BatchReport report;
    {
        cli::ConsoleReport console(options, jobs.size());
        report = cli::RunBatch(
            options, jobs, [&](std::size_t done, const cli::FileJob& job) { console.finished(done, job); },
            [&](const cli::FileJob& job, const cli::FileOutcome& outcome) { console.report(job, outcome); });
    }
    mGdip::ShutdownImaging();
    // A seed that fits no image is the command line's fault, though only the
    // image could tell: a usage error, after every other file was processed.
    if (report.misused > 0) return kExitUsage;
    return report.failed > 0 ? kExitFileFailed : kExitOk;
}
