#pragma once
// One pass run over an image a band of rows at a time, top to bottom, as the
// batch tool does while it decodes and encodes. The kernel lives from band
// to band, so what it has worked out (alpha-restoring's results per
// difference) is kept, and every band comes out as in a run over the whole
// image.

#include "pass_command.h"
#include "pixel_view.h"

#include <cstdint>
#include <variant>

namespace passes {

class BandPass {
public:
    // `command` as for RunPassCommand; an unknown one changes nothing.
    BandPass(std::int32_t command, const ArgbChannels& key, std::int32_t tolerance, const ArgbChannels& replacement);

    // Every pixel of `band`, in place.
    void run(const PixelView& band);

private:
    PassParameters parameters_;
    std::variant<std::monostate, SimpleRemovalKernel, AlphaRestoringKernel, ColorReplacementKernel> kernel_;
};

} // namespace passes
