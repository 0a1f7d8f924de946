#include "console_report.h"

#include "option_table.h"

#include "imaging/mgdip.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace cli {
namespace {

QByteArray Shown(const QString& path) { return mGdip::DisplayPath(path).toUtf8(); }

void Say(const FileJob& job, const QString& what)
{
    std::fprintf(stderr, "chromobrisk-cli: %s: %s\n", Shown(job.input).constData(), what.toUtf8().constData());
}

QString PassName(int command)
{
    for (const DeclaredPass& pass : PassTable())
        if (pass.command == command)
            return QString::fromLatin1(pass.name.data(), static_cast<qsizetype>(pass.name.size()));
    return {};
}

// "simple, key 255,255,255,255 (pixel 0,0), tolerance 30, 640 × 480, 0.042 s"
QString Details(const Options& options, const FileOutcome& outcome)
{
    const FileDetails& d = outcome.details;
    const PixelPosition at = options.keyAt.value_or(PixelPosition{});
    return QStringLiteral("%1, key %2,%3,%4,%5%6, tolerance %7, %8 × %9, %10 s")
        .arg(PassName(options.command))
        .arg(d.key.A)
        .arg(d.key.R)
        .arg(d.key.G)
        .arg(d.key.B)
        .arg(d.keyFromImage ? QStringLiteral(" (pixel %1,%2)").arg(at.x).arg(at.y) : QString())
        .arg(options.tolerance)
        .arg(d.width)
        .arg(d.height)
        .arg(d.seconds, 0, 'f', 3);
}

} // namespace

bool ShowsProgress(const Options& options, std::size_t files)
{
    const char* term = std::getenv("TERM");
    return !options.quiet && files > 1 && ::isatty(STDERR_FILENO) && term && *term && std::strcmp(term, "dumb") != 0;
}

ConsoleReport::ConsoleReport(const Options& options, std::size_t files)
    : options_(options), progress_(ShowsProgress(options, files)), files_(files)
{
}

void ConsoleReport::finished(std::size_t done, const FileJob& job)
{
    done_ = done;
    latest_ = job.input;
    drawProgress();
}

void ConsoleReport::report(const FileJob& job, const FileOutcome& outcome)
{
    clearProgress();
    for (const QString& leftover : outcome.leftovers)
        std::fprintf(stderr, "chromobrisk-cli: removed a leftover temporary %s\n", Shown(leftover).constData());
    if (outcome.failure) {
        Say(job, *outcome.failure);
    } else {
        if (!outcome.note.isEmpty()) Say(job, outcome.note);
        if (options_.verbose)
            Say(job,
                outcome.skipped ? QStringLiteral("skipped: %1 exists").arg(mGdip::DisplayPath(job.output))
                                : Details(options_, outcome));
        if (!options_.quiet && !options_.toStandardOutput()) {
            if (options_.print0) {
                const QByteArray bytes = mGdip::PathToBytes(job.output);
                std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()) + 1, stdout); // with its NUL
            } else {
                std::printf("%s\n", Shown(job.output).constData());
            }
            std::fflush(stdout);
        }
    }
    drawProgress();
}

void ConsoleReport::drawProgress()
{
    if (!progress_ || done_ == 0) return;
    std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", done_, files_, Shown(latest_).constData());
    std::fflush(stderr);
}

void ConsoleReport::clearProgress()
{
    if (progress_ && done_ > 0) std::fprintf(stderr, "\r\033[K");
}

} // namespace cli
