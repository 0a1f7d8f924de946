#include "pass_command.h"

#include "pass_driver.h"

namespace passes {

PassOutcome RunPassCommand(std::int32_t command, const PassImages& images, std::int32_t width, std::int32_t height,
    const ArgbChannels& key, const std::int32_t& tolerance, const ArgbChannels& replacement)
{
    const ChannelDeltas deltas = DeltasOnto(key, replacement);
    const auto current = [&] { return PassParameters{key, tolerance, deltas}; };
    return WithKernelOf(
        command, [&](auto kernel) { return RunPass<typename decltype(kernel)::type>(images, width, height, current); },
        [] { return PassOutcome::Completed; });
}

} // namespace passes
