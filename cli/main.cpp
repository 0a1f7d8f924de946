// chromobrisk-cli: the window's three passes, run on files.
#include "batch.h"
#include "options.h"

#include "imaging/mgdip.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <string>
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
        std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", done_, total_, qPrintable(name));
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

} // namespace

int main(int argc, char** argv)
{
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

    const QFileInfo outputFolder(QString::fromLocal8Bit(options.outputFolder));
    if (!outputFolder.isDir()) {
        std::fprintf(stderr, "chromobrisk-cli: the output folder %s does not exist\n", options.outputFolder.c_str());
        mGdip::ShutdownImaging();
        return kExitFileFailed;
    }

    const auto jobs = cli::PlanJobs(options);
    ProgressLine progress(isatty(STDERR_FILENO) && jobs.size() > 1, jobs.size());
    const cli::BatchReport report = cli::RunBatch(
        options, jobs,
        [&](const cli::FileJob& job) {
            progress.clear();
            std::printf("%s\n", qPrintable(job.output));
            std::fflush(stdout);
            progress.advance(job.input);
        },
        [&](const cli::FileJob& job, const QString& reason) {
            progress.clear();
            std::fprintf(stderr, "chromobrisk-cli: %s: %s\n", qPrintable(job.input), qPrintable(reason));
            progress.advance(job.input);
        });
    progress.clear();
    mGdip::ShutdownImaging();
    return report.failed > 0 ? kExitFileFailed : kExitOk;
}
