#pragma once
// A file processed band by band: decoded, changed and encoded at once, with
// no image-sized buffer (see mGdip::ConvertInBands).

#include "batch.h"

namespace cli {

// True when the result is written at `output`. False when the file cannot go
// this way (not a common PNG or an upright JPEG, a key position below the
// first band, or anything that fails); nothing is written then, and the file
// is to be processed whole. `details` (optional) receives the key and size.
bool ProcessInBands(const Options& options, const QString& input, const QString& output,
                    FileDetails* details = nullptr);

} // namespace cli
