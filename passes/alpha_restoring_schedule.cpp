#include "alpha_restoring_schedule.h"

#include <algorithm>

namespace passes {

void AlphaRestoringSchedule::prepare(const PassParameters& p)
{
    if (p.tolerance <= 0) return; // no pixel is inside: nothing to look up
    const ArgbChannels& key = parameters_.key;
    if (p.tolerance == tolerance_ && p.key.R == key.R && p.key.G == key.G && p.key.B == key.B) return;
    parameters_ = p;
    keyRgb_ = static_cast<std::uint32_t>(MakeArgb(0, p.key.R, p.key.G, p.key.B));
    tolerance_ = p.tolerance;
    // Only differences below the tolerance occur. Small tolerances get one
    // slot per possible triple; larger ones a direct-mapped cache.
    const auto differences = static_cast<std::size_t>(std::min(tolerance_, 256));
    const std::size_t triples = differences * differences * differences;
    if (triples <= (std::size_t{1} << kHashBits)) {
        direct_.assign(triples, kUnknown);
        hashed_.clear();
    } else {
        direct_.clear();
        hashed_.assign(std::size_t{1} << kHashBits, ~std::uint64_t{0});
    }
}

} // namespace passes
