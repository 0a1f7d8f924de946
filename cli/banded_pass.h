#pragma once
// A file processed band by band: decoded, changed and encoded at once, with
// no image-sized buffer (see mGdip::ConvertInBands).

#include "batch.h"

namespace cli {

// True when the result is written. False when the file cannot go this way
// (not a common PNG or an upright JPEG, a key position below the first band,
// or anything that fails); nothing is written then, and the file is to be
// processed whole.
bool ProcessInBands(const Options& options, const FileJob& job);

} // namespace cli
