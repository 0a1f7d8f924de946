#include "simple_removal.h"

namespace passes {

SimpleRemovalKernel::SimpleRemovalKernel(Channel keyRed, Channel keyGreen, Channel keyBlue,
                                         std::int32_t tolerance)
    : window_(detail::ByteWindowBuilder{}
                  .channel(detail::kRedShift, keyRed, tolerance)
                  .channel(detail::kGreenShift, keyGreen, tolerance)
                  .channel(detail::kBlueShift, keyBlue, tolerance)
                  .build())
{
}

void SimpleRemovalKernel::operator()(const std::uint32_t* src, std::uint32_t* dst,
                                     std::size_t n) const noexcept
{
    detail::KernelEntryPoints<SimpleRemovalKernel>::Run(*this, src, dst, n);
}

PassOutcome SimpleRemovalPass(const PassImages& images, std::int32_t width, std::int32_t height,
                              const Channel& keyRed, const Channel& keyGreen, const Channel& keyBlue,
                              const std::int32_t& tolerance)
{
    return WalkRows(images, width, height,
                    [&] { return SimpleRemovalKernel(keyRed, keyGreen, keyBlue, tolerance); });
}

} // namespace passes
