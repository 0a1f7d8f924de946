#include "pass_command.h"

#include "pass_driver.h"

namespace passes {

PassOutcome RunPassCommand(std::int32_t command, const PassImages& images, std::int32_t width,
                           std::int32_t height, const ArgbChannels& key, const std::int32_t& tolerance,
                           const ArgbChannels& replacement)
{
    const ChannelDeltas deltas = DeltasOnto(key, replacement);
    const auto current = [&] { return PassParameters{key, tolerance, deltas}; };
    switch (command) {
    case kSimpleRemoval: return RunPass<SimpleRemovalKernel>(images, width, height, current);
    case kAlphaRestoringRemoval: return RunPass<AlphaRestoringKernel>(images, width, height, current);
    case kColorReplacement: return RunPass<ColorReplacementKernel>(images, width, height, current);
    default: return PassOutcome::Completed;
    }
}

} // namespace passes
