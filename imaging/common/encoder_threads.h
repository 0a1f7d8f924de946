#pragma once
// How many threads one image's encoding may use. The batch tool marks each
// file it works on; the machine's cores are shared among the files in
// progress, so several files run one per core and a file that has the
// machine to itself (the window's save, a batch of one) uses them all.

namespace imaging {

// Marks one file as being worked on for as long as it lives.
class FileInProgress {
public:
    FileInProgress() noexcept;
    ~FileInProgress();
    FileInProgress(const FileInProgress&) = delete;
    FileInProgress& operator=(const FileInProgress&) = delete;
};

// At least 1.
int EncoderThreads() noexcept;

} // namespace imaging
