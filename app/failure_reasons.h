#pragma once
// Why an image could not be opened or saved, in the window's own language.
// The imaging layer tells what kind of failure it was; the words for it are
// the window's, so the user never reads the layer's English.

#include "imaging/mgdip.h"

#include <QString>

namespace app {

// One Chinese sentence for every kind of failure; empty for none.
QString FailureReason(const mGdip::Failure& failure);

} // namespace app
