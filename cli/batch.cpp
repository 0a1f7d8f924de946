#include "batch.h"

#include "banded_pass.h"
#include "leftover_sweep.h"
#include "pass_colors.h"
#include "result_target.h"
#include "standard_input.h"
#include "trim.h"

#include "imaging/mgdip.h"
#include "passes/connected_pass_command.h"
#include "passes/defringed_removal.h"
#include "passes/pass_command.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

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

const QString kStandard = QString::fromLatin1(kStandardStream);

FileOutcome Failed(QString why, bool misused = false)
{
    FileOutcome outcome;
    outcome.failure = std::move(why);
    outcome.misused = misused;
    return outcome;
}

QString CannotWrite(const FileJob& job, const QString& why)
{
    if (job.output == kStandard) return QStringLiteral("cannot write the result: %1").arg(why);
    return QStringLiteral("cannot write %1: %2").arg(mGdip::DisplayPath(job.output), why);
}

// Runs the pass on the key-matching pixels connected to the border or the
// seeds; returns why the file cannot be processed so, if it cannot.
std::optional<QString> RunConnected(const Options& options, const passes::PixelView& pixels,
    const passes::ArgbChannels& key, const passes::ArgbChannels& replacement)
{
    std::vector<passes::PixelPoint> seeds;
    for (const PixelPosition& seed : options.seeds) seeds.push_back({seed.x, seed.y});
    const passes::ConnectedRun run = passes::RunConnectedPassCommand(
        options.command, pixels, pixels, key, options.tolerance, replacement, seeds, options.defringe);
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
    return CannotWrite(job, mGdip::Describe(failure));
}

// The image at `input` loaded whole, changed and saved at `output`.
FileOutcome ProcessWhole(const Options& options, const FileJob& job, const QString& input, const QString& output)
{
    mGdip::LoadedImage loaded = mGdip::LoadImageFile(input);
    if (!mGdip::Succeeded(loaded.status)) return Failed(loaded.reason);
    const mGdip::Image& source = loaded.image;

    FileOutcome outcome;
    FileDetails& details = outcome.details;
    if (const auto given = GivenKey(options)) {
        details.key = *given;
    } else {
        const PixelPosition at = options.keyAt.value_or(PixelPosition{});
        passes::Argb pixel = 0;
        if (!mGdip::Succeeded(mGdip::ReadPixel(source, at.x, at.y, pixel)))
            return Failed(KeyPositionOutside(at, source.width(), source.height()));
        details.key = KeyOfPixel(pixel);
        details.keyFromImage = true;
    }
    const passes::ArgbChannels replacement = ReplacementFor(options, details.key);

    // The pass runs in place on the decoded pixels: nothing else reads them,
    // and a second image-sized buffer would double the memory and its cost.
    details.width = mGdip::ImageWidthOf(source);
    details.height = mGdip::ImageHeightOf(source);
    const mGdip::Surface work(std::move(loaded.image));
    const passes::PixelView pixels = work.pixels();
    if (options.connected) {
        if (auto refused = RunConnected(options, pixels, details.key, replacement))
            return Failed(std::move(*refused), true);
    } else if (options.defringe > 0) {
        passes::RunDefringedRemoval(pixels, pixels, {details.key, options.tolerance, {}}, options.defringe);
    } else {
        passes::RunPassCommand(options.command, {pixels, pixels, {}}, details.width, details.height, details.key,
            options.tolerance, replacement);
    }

    mGdip::Image result = work.snapshot();
    if (options.trim) {
        TrimmedImage trimmed = TrimToVisible(result);
        result = std::move(trimmed.image);
        outcome.note = std::move(trimmed.note);
    }
    mGdip::Failure saved;
    if (!mGdip::Succeeded(mGdip::SaveImageAsPng(result, output, nullptr, &saved))) outcome.failure = Reason(job, saved);
    return outcome;
}

// Every folder the run writes into loses the leftovers of killed runs first.
LeftoverSweep& Sweep()
{
    static LeftoverSweep sweep;
    return sweep;
}

// What a file holds while it is processed, from the pixels its header
// declares (nothing beyond the pixel limit is decoded): loaded whole, its
// bitmap and as much again (a trimmed copy, the connected pass's marks, or
// Qt's decode before its conversion); streamed, its bands and buffers
// (measured near 15 MB a 12-megapixel file with -j 64), twice that at most.
constexpr std::uint64_t kWholeBytesPerPixel = 8;
constexpr std::uint64_t kStreamedBytes = std::uint64_t{32} << 20;

std::uint64_t HeldBytes(std::int64_t declaredPixels, bool whole)
{
    const auto pixels = static_cast<std::uint64_t>(std::clamp<std::int64_t>(declaredPixels, 0, mGdip::PixelLimit()));
    return whole ? pixels * kWholeBytesPerPixel : std::min(pixels * 4, kStreamedBytes);
}

// Everything but the timing of ProcessFile.
FileOutcome Process(const Options& options, const FileJob& job, MemoryBudget* budget)
{
    if (job.refusal) return Failed(*job.refusal);
    const bool toStandardOutput = job.output == kStandard;
    if (!toStandardOutput) {
        if (!job.subfolder.isEmpty())
            if (auto problem = MakeSubfolders(mGdip::PathFromBytes(options.outputFolder), job.subfolder))
                return Failed(std::move(*problem));
        // A result that is there already is settled before the input is read.
        if (ExistingAt(job.output) == ExistingResult::File) {
            if (options.skipExisting) {
                FileOutcome skipped;
                skipped.skipped = true;
                return skipped;
            }
            if (!options.overwrite) return Failed(ExistsMessage(job.output));
        }
        // So is everything else about the result's place: a link or folder
        // at its name, a name too long, a folder that cannot be written.
        if (const mGdip::Failure place = mGdip::CheckSavePlace(job.output)) return Failed(Reason(job, place));
    }

    std::optional<StandardInputFile> standardInput;
    QString input = job.input;
    if (job.input == kStandard) {
        standardInput.emplace(STDIN_FILENO, LargestStandardInput());
        if (!standardInput->problem().isEmpty()) return Failed(standardInput->problem());
        input = standardInput->path();
    }

    ResultTarget target(toStandardOutput ? ResultTarget::Way::StandardOutput
            : options.overwrite          ? ResultTarget::Way::Replace
                                         : ResultTarget::Way::KeepExisting,
        job.output);
    if (!target.problem().isEmpty()) return Failed(target.problem());
    std::vector<QString> leftovers = Sweep().sweep(mGdip::FolderOfPath(target.savePath()));

    // Most files go band by band, decoded, changed and encoded at once; the
    // rest, those that way declines, are loaded whole. A failure on the way
    // is the file's answer: it is not decoded again.
    // Each way waits for its share of the memory budget first.
    const std::int64_t declaredPixels = budget ? mGdip::DeclaredPixelsOf(input) : 0;
    auto admit = [&](bool whole) {
        return budget ? budget->admit(HeldBytes(declaredPixels, whole)) : MemoryBudget::Share{};
    };
    FileOutcome outcome;
    std::optional<QString> refusal;
    const bool wholeOnly = options.connected || options.trim;
    MemoryBudget::Share share = admit(wholeOnly);
    const mGdip::Failure banded = wholeOnly
        ? mGdip::MakeFailure(mGdip::FailureKind::Declined)
        : ProcessInBands(options, input, target.savePath(), &outcome.details, &refusal);
    if (refusal) {
        outcome = Failed(std::move(*refusal));
    } else if (banded.declined()) {
        if (!wholeOnly) {
            share.release();
            share = admit(true);
        }
        outcome = ProcessWhole(options, job, input, target.savePath());
    } else if (banded) {
        outcome = Failed(Reason(job, banded));
    }
    if (!outcome.failure)
        if (auto refused = target.place()) outcome = Failed(std::move(*refused));
    outcome.leftovers = std::move(leftovers);
    return outcome;
}

} // namespace

std::vector<FileJob> PlanJobs(const Options& options, const std::vector<InputFile>& inputs)
{
    const QString outputFolder = mGdip::PathFromBytes(options.outputFolder);
    std::set<QByteArray> inputIdentities;
    for (const InputFile& input : inputs)
        if (input.path != kStandardStream) inputIdentities.insert(Identity(mGdip::PathFromBytes(input.path)));

    std::vector<FileJob> jobs;
    std::map<QByteArray, QString> writers; // output identity -> input that writes it
    for (const InputFile& input : inputs) {
        FileJob job;
        job.input = mGdip::PathFromBytes(input.path);
        job.subfolder = mGdip::PathFromBytes(input.subfolder);
        if (!input.problem.empty()) {
            job.refusal = QString::fromLocal8Bit(input.problem);
            jobs.push_back(std::move(job));
            continue;
        }
        if (options.toStandardOutput()) {
            job.output = kStandard;
            jobs.push_back(std::move(job));
            continue;
        }
        // Standard input has no name: its result is stdin.png.
        const QString name = job.input == kStandard ? QStringLiteral("stdin") : mGdip::SourceFileNameOf(job.input);
        const QString folder = job.subfolder.isEmpty() ? outputFolder : JoinPath(outputFolder, job.subfolder);
        job.output = JoinPath(folder, mGdip::ResultFileNameFor(name));
        const QByteArray target = Identity(job.output);
        if (inputIdentities.count(target)) {
            job.refusal =
                QStringLiteral("its result %1 would overwrite an input file").arg(mGdip::DisplayPath(job.output));
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

FileOutcome ProcessFile(const Options& options, const FileJob& job, MemoryBudget* budget)
{
    const auto started = std::chrono::steady_clock::now();
    FileOutcome outcome = Process(options, job, budget);
    outcome.details.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return outcome;
}

BatchReport RunBatch(const Options& options, const std::vector<FileJob>& jobs,
    const std::function<void(std::size_t done, const FileJob&)>& onFinished,
    const std::function<void(const FileJob&, const FileOutcome&)>& onReport)
{
    MemoryBudget budget(options.memoryLimit ? options.memoryLimit : DefaultMemoryBudget());
    std::atomic<std::size_t> next{0};
    std::mutex reportMutex;
    BatchReport report;
    // Outcomes wait here until every file before them is reported.
    std::vector<std::optional<FileOutcome>> waiting(jobs.size());
    std::size_t reported = 0, done = 0;

    auto worker = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < jobs.size();) {
            FileOutcome outcome;
            {
                // Files being worked on share the cores: one each while several run.
                const mGdip::FileInProgress inProgress;
                outcome = ProcessFile(options, jobs[i], &budget);
            }
            const std::lock_guard lock(reportMutex);
            if (outcome.failure) {
                ++report.failed;
                if (outcome.misused) ++report.misused;
            } else {
                ++report.succeeded;
            }
            waiting[i] = std::move(outcome);
            onFinished(++done, jobs[i]);
            for (; reported < jobs.size() && waiting[reported]; ++reported) {
                onReport(jobs[reported], *waiting[reported]);
                waiting[reported].reset();
            }
        }
    };

    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t threads =
        std::min<std::size_t>(jobs.size(), options.jobs > 0 ? static_cast<std::size_t>(options.jobs) : cores);
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(worker);
    worker();
    for (auto& thread : pool) thread.join();
    return report;
}

} // namespace cli
