#include "pass_command.h"

#include "alpha_restoring.h"
#include "color_replacement.h"
#include "simple_removal.h"

namespace passes {

PassOutcome RunPassCommand(std::int32_t command, const PassImages& images, std::int32_t width,
                           std::int32_t height, const ArgbChannels& key,
                           const std::int32_t& tolerance, const ArgbChannels& replacement)
{
    switch (command) {
    case kSimpleRemoval:
        return SimpleRemovalPass(images, width, height, key.R, key.G, key.B, tolerance);
    case kAlphaRestoringRemoval:
        return AlphaRestoringRemovalPass(images, width, height, key.R, key.G, key.B, tolerance);
    case kColorReplacement: {
        const std::int32_t dB = replacement.B - key.B;
        const std::int32_t dG = replacement.G - key.G;
        const std::int32_t dR = replacement.R - key.R;
        const std::int32_t dA = replacement.A - key.A;
        return ColorReplacementPass(images, width, height, key.A, key.R, key.G, key.B, dA, dR, dG, dB,
                                    tolerance);
    }
    default:
        return PassOutcome::Completed;
    }
}

} // namespace passes
