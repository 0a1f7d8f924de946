#include "batch.h"

#include "banded_pass.h"
#include "pass_colors.h"
#include "trim.h"

#include "imaging/mgdip.h"
#include "passes/connected_pass_command.h"
#include "passes/pass_command.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include <climits>
#include <cstdlib>
#include <sys/stat.h>

namespace cli {
namespace {

// The bytes of a path with links resolved, or empty.
QByteArray Resolved(const QByteArray& path)
{
    char* resolved = ::realpath(path.constData(), nullptr);
    if (!resolved) return {};
    QByteArray result(resolved);
    std::free(resolved);
    return result;
}

// A path for comparing files, as bytes (so names that are not UTF-8 never
// meet as one): links resolved where the file exists, else its folder's.
QByteArray Identity(const QString& path)
{
    const QByteArray bytes = mGdip::PathToBytes(path);
    if (QByteArray resolved = Resolved(bytes); !resolved.isEmpty()) return resolved;
    const QByteArray folder = Resolved(mGdip::PathToBytes(mGdip::FolderOfPath(path)));
    const QByteArray name = mGdip::PathToBytes(mGdip::LastPathComponent(path));
    return folder.isEmpty() ? bytes : folder + '/' + name;
}

QString JoinPath(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// Runs the pass on the key-matching pixels connected to the border or the
// seeds; returns why the file cannot be processed so, if it cannot.
std::optional<QString> RunConnected(const Options& options, const passes::PixelView& pixels,
                                    const passes::ArgbChannels& key, const passes::ArgbChannels& replacement)
{
    std::vector<passes::PixelPoint> seeds;
    for (const PixelPosition& seed : options.seeds) seeds.push_back({seed.x, seed.y});
    const passes::ConnectedRun run = passes::RunConnectedPassCommand(options.command, pixels, pixels, key,
                                                                     options.tolerance, replacement, seeds);
    if (run.outcome == passes::ConnectedRun::Outcome::Completed) return std::nullopt;
    const PixelPosition& seed = options.seeds[run.seed];
    if (run.outcome == passes::ConnectedRun::Outcome::SeedOutside)
        return QStringLiteral("the seed %1,%2 is outside the %3 × %4 image")
            .arg(seed.x)
            .arg(seed.y)
            .arg(pixels.width)
            .arg(pixels.height);
    const bool withAlpha = options.command == passes::kColorReplacement;
    return QStringLiteral("the seed %1,%2 does not match the key %3 within tolerance %4")
        .arg(seed.x)
        .arg(seed.y)
        .arg(withAlpha ? QStringLiteral("%1,%2,%3,%4").arg(key.A).arg(key.R).arg(key.G).arg(key.B)
                       : QStringLiteral("%1,%2,%3").arg(key.R).arg(key.G).arg(key.B))
        .arg(options.tolerance);
}

// Why a file got no result, worded for the step that failed.
QString Reason(const FileJob& job, const mGdip::Failure& failure)
{
    if (!mGdip::IsSavingFailure(failure.kind)) return mGdip::Describe(failure);
    return QStringLiteral("cannot write %1: %2").arg(mGdip::DisplayPath(job.output), mGdip::Describe(failure));
}

} // namespace

std::vector<FileJob> PlanJobs(const Options& options)
{
    const QString outputFolder = mGdip::PathFromBytes(options.outputFolder);
    std::set<QByteArray> inputs;
    for (const std::string& file : options.files) inputs.insert(Identity(mGdip::PathFromBytes(file)));

    std::vector<FileJob> jobs;
    std::map<QByteArray, QString> writers; // output identity -> input that writes it
    for (const std::string& file : options.files) {
        FileJob job;
        job.input = mGdip::PathFromBytes(file);
        job.output = JoinPath(outputFolder, mGdip::ResultFileNameFor(mGdip::SourceFileNameOf(job.input)));
        const QByteArray target = Identity(job.output);
        if (inputs.count(target)) {
            job.refusal = QStringLiteral("its result %1 would overwrite an input file").arg(mGdip::DisplayPath(job.output));
        } else if (const auto earlier = writers.find(target); earlier != writers.end()) {
            job.refusal = QStringLiteral("its result %1 would overwrite the result of %2")
                              .arg(mGdip::DisplayPath(job.output), mGdip::DisplayPath(earlier->second));
        } else {
            writers.emplace(target, job.input);
        }
        jobs.push_back(std::move(job));
    }
    return jobs;
}

FileOutcome ProcessFile(const Options& options, const FileJob& job)
{
    if (job.refusal) return {job.refusal, {}};
    // Most files go band by band, decoded, changed and encoded at once; the
    // rest, those that way declines, are loaded whole. A failure on the way
    // is the file's answer: it is not decoded again.
    if (!options.connected && !options.trim) {
        const mGdip::Failure banded = ProcessInBands(options, job);
        if (!banded) return {};
        if (!banded.declined()) return {Reason(job, banded), {}};
    }
    mGdip::LoadedImage loaded = mGdip::LoadImageFile(job.input);
    if (!mGdip::Succeeded(loaded.status)) return {loaded.reason, {}};
    const mGdip::Image& source = loaded.image;

    passes::ArgbChannels key;
    if (const auto given = GivenKey(options)) {
        key = *given;
    } else {
        const PixelPosition at = options.keyAt.value_or(PixelPosition{});
        passes::Argb pixel = 0;
        if (!mGdip::Succeeded(mGdip::ReadPixel(source, at.x, at.y, pixel)))
            return {QStringLiteral("the key position %1,%2 is outside the %3 × %4 image")
                        .arg(at.x)
                        .arg(at.y)
                        .arg(source.width())
                        .arg(source.height()),
                    {}};
        key = KeyOfPixel(pixel);
    }
    const passes::ArgbChannels replacement = ReplacementFor(options, key);

    // The pass runs in place on the decoded pixels: nothing else reads them,
    // and a second image-sized buffer would double the memory and its cost.
    const std::int32_t width = mGdip::ImageWidthOf(source), height = mGdip::ImageHeightOf(source);
    const mGdip::Surface work(std::move(loaded.image));
    const passes::PixelView pixels = work.pixels();
    const std::int32_t tolerance = options.tolerance;
    if (options.connected) {
        if (auto refused = RunConnected(options, pixels, key, replacement)) return {std::move(refused), {}, true};
    } else {
        passes::RunPassCommand(options.command, {pixels, pixels, {}}, width, height, key, tolerance, replacement);
    }

    FileOutcome outcome;
    mGdip::Image result = work.snapshot();
    if (options.trim) {
        TrimmedImage trimmed = TrimToVisible(result);
        result = std::move(trimmed.image);
        outcome.note = std::move(trimmed.note);
    }
    mGdip::Failure saved;
    if (!mGdip::Succeeded(mGdip::SaveImageAsPng(result, job.output, nullptr, &saved))) outcome.failure = Reason(job, saved);
    return outcome;
}

BatchReport RunBatch(const Options& options, const std::vector<FileJob>& jobs,
                     const std::function<void(const FileJob&, const QString& note)>& onWritten,
                     const std::function<void(const FileJob&, const QString& reason)>& onFailed)
{
    std::atomic<std::size_t> next{0};
    std::mutex reportMutex;
    BatchReport report;

    auto worker = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < jobs.size();) {
            FileOutcome outcome;
            {
                // Files being worked on share the cores: one each while several run.
                const mGdip::FileInProgress inProgress;
                outcome = ProcessFile(options, jobs[i]);
            }
            const std::lock_guard lock(reportMutex);
            if (outcome.failure) {
                ++report.failed;
                if (outcome.misused) ++report.misused;
                onFailed(jobs[i], *outcome.failure);
            } else {
                ++report.succeeded;
                onWritten(jobs[i], outcome.note);
            }
        }
    };

    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t threads = std::min<std::size_t>(
        jobs.size(), options.jobs > 0 ? static_cast<std::size_t>(options.jobs) : cores);
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(worker);
    worker();
    for (auto& thread : pool) thread.join();
    return report;
}

} // namespace cli
