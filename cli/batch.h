#pragma once
// Runs one pass over many files, in parallel, reporting each failure.

#include "options.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace cli {

// Paths are QStrings from mGdip::PathFromBytes: any bytes, kept exactly.
struct FileJob {
    QString input;
    QString output;                  // where the result goes
    std::optional<QString> refusal;  // why the file is not processed at all
};

// Output paths for every input; refuses outputs that would overwrite an input
// file or the output of an earlier input.
std::vector<FileJob> PlanJobs(const Options& options);

struct FileOutcome {
    std::optional<QString> failure; // why nothing was written (paths shown with mGdip::DisplayPath)
    QString note;                   // something to tell about a written result, or empty
    bool misused = false;           // the failure is the command line's (a seed that does not fit the image)
};

FileOutcome ProcessFile(const Options& options, const FileJob& job);

struct BatchReport {
    int succeeded = 0;
    int failed = 0;
    int misused = 0; // of the failed, those the command line caused
};

// Calls onWritten/onFailed from worker threads, one call at a time.
BatchReport RunBatch(const Options& options, const std::vector<FileJob>& jobs,
                     const std::function<void(const FileJob&, const QString& note)>& onWritten,
                     const std::function<void(const FileJob&, const QString& reason)>& onFailed);

} // namespace cli
