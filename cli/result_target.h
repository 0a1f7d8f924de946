#pragma once
// Where a result is saved and how it then takes its place, so a result is
// never replaced silently: it is saved under a hidden name beside its place
// and moved there only if the place is still free (a result that appeared
// meanwhile, from another run, is kept), or, with --overwrite, saved over
// its place at once; for -o -, saved in a private temporary folder and
// copied to standard output. Whatever has not taken its place is removed,
// by the destructor or, for SIGINT, SIGTERM and SIGHUP, by the handler that
// removes the saves' own temporary files.

#include "imaging/mgdip.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace cli {

// What stands at a result's path, links not followed.
enum class ExistingResult { Nothing, File, Folder, Special };
ExistingResult ExistingAt(const QString& path);

// Makes the folders of `subfolder` ("a/b") below `root` that are missing;
// why it cannot, if it cannot (a link or a file on the way is not followed).
std::optional<QString> MakeSubfolders(const QString& root, const QString& subfolder);

// "out/x.png.png exists; not replaced (use --overwrite)".
QString ExistsMessage(const QString& path);

class ResultTarget {
public:
    enum class Way { KeepExisting, Replace, StandardOutput };
    // For the result at `path` (ignored for StandardOutput).
    ResultTarget(Way way, const QString& path);
    ~ResultTarget();
    ResultTarget(const ResultTarget&) = delete;
    ResultTarget& operator=(const ResultTarget&) = delete;

    // Why nothing can be saved; empty when something can.
    const QString& problem() const { return problem_; }
    // Where the result is to be saved.
    const QString& savePath() const { return savePath_; }
    // Once it is saved there: puts it in its place; why not, if it cannot.
    std::optional<QString> place();

private:
    void discard() noexcept;

    Way way_;
    QString path_, savePath_, problem_;
    int folderFd_ = -1; // the folder of savePath_
    QByteArray saveName_;
    QByteArray temporaryFolder_; // for standard output
    bool placed_ = false;
    mGdip::TemporaryFileGuard guard_;
};

} // namespace cli
