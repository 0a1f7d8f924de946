#pragma once
// The save behind SaveImageAsPng, for any encoder: the bytes go to a
// temporary file beside the target, which replaces the target only once it
// is complete (see mgdip.h for every guarantee).

#include "byte_sink.h"
#include "failure.h"

#include <QString>

#include <functional>

namespace mGdip::detail {

// Puts the whole file into the sink; false, with the encoder's words, when it
// cannot. The sink keeps the system's error of a failed write.
using EncodeInto = std::function<bool(ByteSink& sink, QString* words)>;

// Nothing is left behind when `encode` or any step of the save fails.
Failure SaveAtomically(const QString& path, const EncodeInto& encode);

} // namespace mGdip::detail
