#pragma once
// What the batch tool prints while it runs: a progress line on stderr (only
// on a terminal that can redraw it), and for each file, in the order of the
// inputs, its problem or notes and the -v details on stderr and its result
// on stdout.

#include "batch.h"
#include "options.h"

#include <QString>

#include <cstddef>

namespace cli {

// Whether the progress line is drawn: stderr is a terminal whose TERM can
// move the cursor, there is more than one file, and -q was not given.
bool ShowsProgress(const Options& options, std::size_t files);

class ConsoleReport {
public:
    ConsoleReport(const Options& options, std::size_t files);
    ~ConsoleReport() { clearProgress(); }

    // A file is done (files finish in any order).
    void finished(std::size_t done, const FileJob& job);
    // What there is to say about a file, in input order.
    void report(const FileJob& job, const FileOutcome& outcome);

private:
    void drawProgress();
    void clearProgress();

    const Options& options_;
    bool progress_;
    std::size_t files_, done_ = 0;
    QString latest_;
};

} // namespace cli
