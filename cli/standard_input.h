#pragma once
// An image on standard input, as a file the image readers open by name.
// A regular file redirected in (`< photo.jpg`) is read in place; anything
// else (a pipe) is copied into a temporary file that has no name in any
// folder, so nothing is left behind however the process ends. The copy is
// bounded: no image within the size limits takes more bytes.

#include <QString>

#include <cstdint>

namespace cli {

// The most bytes an image from standard input may have: 8 bytes a pixel
// (16-bit RGBA, stored) at the pixel limit, and room for headers.
std::uint64_t LargestStandardInput();

class StandardInputFile {
public:
    // Takes the image from descriptor `input` (standard input, or a pipe in a
    // test), refusing more than `limit` bytes.
    StandardInputFile(int input, std::uint64_t limit);
    ~StandardInputFile();
    StandardInputFile(const StandardInputFile&) = delete;
    StandardInputFile& operator=(const StandardInputFile&) = delete;

    // Why the image cannot be taken; empty when it can.
    const QString& problem() const { return problem_; }
    // A name that opens it (under /proc/self/fd).
    QString path() const;

private:
    int fd_ = -1;
    bool owned_ = false;
    QString problem_;
};

} // namespace cli
