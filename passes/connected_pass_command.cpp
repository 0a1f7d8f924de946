#include "connected_pass_command.h"

#include "defringed_removal.h"
#include "match_mask.h"
#include "pass_command.h"
#include "sparing_pass.h"

namespace passes {
namespace {

template <class Kernel>
ConnectedRun Run(const ConstPixelView& source, const PixelView& work, const PassParameters& p,
    std::span<const PixelPoint> seeds, std::int32_t defringeRadius)
{
    ConnectedRun run;
    BitMask match = MatchMask(source, p, Kernel::Definition::kCompared);
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        const PixelPoint& seed = seeds[i];
        run.seed = i;
        if (seed.x < 0 || seed.y < 0 || seed.x >= source.width || seed.y >= source.height)
            run.outcome = ConnectedRun::Outcome::SeedOutside;
        else if (!match.test(seed.x, seed.y))
            run.outcome = ConnectedRun::Outcome::SeedNotMatching;
        if (run.outcome != ConnectedRun::Outcome::Completed) return run;
    }
    run.seed = 0;
    // What stays in the mask matches the key but is cut off: it is spared.
    const FillStatistics fill = seeds.empty() ? TakeConnectedToBorder(match) : TakeConnected(match, seeds);
    run.extraBytes = match.bytes() + fill.spanBytes;
    run.regionPixels = fill.takenPixels;
    if constexpr (std::is_same_v<Kernel, SimpleRemovalKernel>) {
        if (defringeRadius > 0) {
            DefringedRemoval removal(source.width, source.height, p, defringeRadius, &match);
            removal.run(source, work);
            run.extraBytes += removal.extraBytes();
            return run;
        }
    }
    RunPassSparing<Kernel>(source, work, p, match);
    return run;
}

} // namespace

ConnectedRun RunConnectedPassCommand(std::int32_t command, const ConstPixelView& source, const PixelView& work,
    const ArgbChannels& key, std::int32_t tolerance, const ArgbChannels& replacement, std::span<const PixelPoint> seeds,
    std::int32_t defringeRadius)
{
    const PassParameters p{key, tolerance, DeltasOnto(key, replacement)};
    return WithKernelOf(
        command,
        [&](auto kernel) { return Run<typename decltype(kernel)::type>(source, work, p, seeds, defringeRadius); },
        [] { return ConnectedRun{}; });
}

} // namespace passes
