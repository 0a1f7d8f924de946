#pragma once
// Opening an input file by its exact bytes. Non-blocking, so a pipe or
// device at the path cannot stall the open; only regular, non-empty files
// are opened, and every other case has its failure kind.

#include "imaging/common/failure.h"

#include <QFile>
#include <QString>

namespace imaging::files {

Failure OpenRegularFile(const QString& path, QFile& file);

} // namespace imaging::files
