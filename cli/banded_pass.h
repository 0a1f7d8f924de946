#pragma once
// A file processed band by band: decoded, changed and encoded at once, with
// no image-sized buffer (see mGdip::ConvertInBands).

#include "batch.h"

#include "imaging/mgdip.h"

namespace cli {

// None when the result is written at `output`. Declined when the file cannot
// go this way (not a common PNG or an upright JPEG, a key position below the
// first band, bands too short for the rows --defringe keeps back): nothing is written, and the file is to be processed
// whole. Any other failure is the file's answer, with the reason the whole image would give; nothing is written then
// either. `details` (optional) receives the key and size; `refusal` (optional) why a key position outside the image,
// known from its header, refuses the file (then the answer is Declined).
mGdip::Failure ProcessInBands(const Options& options, const QString& input, const QString& output,
    FileDetails* details = nullptr, std::optional<QString>* refusal = nullptr);

} // namespace cli
