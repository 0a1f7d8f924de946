#pragma once
// Runs one pass over many files, in parallel, reporting each file in the
// order of the inputs.

#include "folder_walk.h"
#include "memory_budget.h"
#include "options.h"

#include "passes/pass_parameters.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace cli {

// Paths are QStrings from mGdip::PathFromBytes: any bytes, kept exactly.
struct FileJob {
    QString input; // "-": standard input
    QString output; // where the result goes; "-": standard output
    std::optional<QString> refusal; // why the file is not processed at all
    QString subfolder; // below the output folder, to be made for it
};

// Output paths for every input; refuses outputs that would overwrite an input
// file or the output of an earlier input.
std::vector<FileJob> PlanJobs(const Options& options, const std::vector<InputFile>& inputs);

// What -v tells about a file.
struct FileDetails {
    passes::ArgbChannels key;
    bool keyFromImage = false;
    std::int32_t width = 0, height = 0;
    double seconds = 0;
};

struct FileOutcome {
    std::optional<QString> failure; // why nothing was written (paths shown with mGdip::DisplayPath)
    QString note; // something to tell about a written result, or empty
    bool misused = false; // the failure is the command line's (a seed that does not fit the image)
    bool skipped = false; // --skip-existing: its result was there already
    std::vector<QString> leftovers; // temporary files of killed runs removed before it was written
    FileDetails details;
};

// With a budget, the file waits for its share of memory before it is decoded.
FileOutcome ProcessFile(const Options& options, const FileJob& job, MemoryBudget* budget = nullptr);

struct BatchReport {
    int succeeded = 0; // skipped ones included
    int failed = 0;
    int misused = 0; // of the failed, those the command line caused
};

// The files in flight share a MemoryBudget of options.memoryLimit (by
// default half the physical memory). `onFinished` is called as each file is done, in any order, with the count
// done so far; `onReport` for each file in the order of `jobs`. Both from
// worker threads, one call at a time.
BatchReport RunBatch(const Options& options, const std::vector<FileJob>& jobs,
    const std::function<void(std::size_t done, const FileJob&)>& onFinished,
    const std::function<void(const FileJob&, const FileOutcome&)>& onReport);

} // namespace cli
