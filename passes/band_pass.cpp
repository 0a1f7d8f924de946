#include "band_pass.h"

#include "pass_driver.h"

namespace passes {

BandPass::BandPass(
    std::int32_t command, const ArgbChannels& key, std::int32_t tolerance, const ArgbChannels& replacement)
    : parameters_{key, tolerance, DeltasOnto(key, replacement)}
{
    WithKernelOf(
        command, [&](auto kernel) { kernel_.emplace<typename decltype(kernel)::type>(); }, [] {});
}

void BandPass::run(const PixelView& band)
{
    std::visit(
        [&](auto& kernel) {
            if constexpr (!std::is_same_v<std::decay_t<decltype(kernel)>, std::monostate>)
                detail::RowWalk::Run({band, band, {}}, band.width, band.height, kernel, [&] { return parameters_; });
        },
        kernel_);
}

} // namespace passes
