#pragma once
// The pixels inside a pass's key window, one bit each, by the same test the
// pass's kernel makes (ToleranceWindow over the pass's compared channels).

#include "bit_mask.h"
#include "pass_parameters.h"
#include "pixel_view.h"

namespace passes {

BitMask MatchMask(const ConstPixelView& source, const PassParameters& p, ComparedChannels compared);

} // namespace passes
