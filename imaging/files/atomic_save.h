#pragma once
// A file saved whole or not at all: the bytes go to a temporary file beside
// the target, which replaces the target only once it is complete. A failure
// never leaves a partial file or damages an existing one; a symbolic link or
// other non-regular file at the target is refused and left as it is.

#include "imaging/common/byte_sink.h"
#include "imaging/common/failure.h"

#include <QString>

#include <functional>

namespace imaging::files {

// Puts the whole file into the sink, or says why it cannot. The sink keeps
// the system's error of a failed write, which then is the failure.
using EncodeInto = std::function<Failure(ByteSink& sink)>;

// Nothing is left behind when `encode` or any step of the save fails.
Failure SaveAtomically(const QString& path, const EncodeInto& encode);

} // namespace imaging::files
