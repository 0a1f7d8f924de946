#pragma once
// Temporary files left behind by a writer that is gone (a run killed with
// SIGKILL, a machine that lost power): files of the temporary naming scheme
// (temporary_name.h) whose writer no longer runs. Nothing else is touched:
// not another name, not a link or folder of such a name, not a file whose
// writer runs or cannot be told (another machine's, another container's).

#include <QByteArray>
#include <QString>

#include <vector>

namespace imaging::files {

// Removes the leftovers in `folder` (not below it); the names removed.
std::vector<QByteArray> RemoveLeftoverTemporaries(const QString& folder);

} // namespace imaging::files
