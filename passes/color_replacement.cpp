#include "color_replacement.h"

#include <algorithm>

namespace passes {
namespace {

std::uint32_t PerByte(std::int32_t a, std::int32_t r, std::int32_t g, std::int32_t b) noexcept
{
    auto byte = [](std::int32_t v) { return static_cast<std::uint32_t>(std::clamp(v, 0, 255)); };
    return byte(a) << 24 | byte(r) << 16 | byte(g) << 8 | byte(b);
}

} // namespace

ColorReplacementKernel::ColorReplacementKernel(Channel keyAlpha, Channel keyRed, Channel keyGreen,
                                               Channel keyBlue, ChannelDeltas deltas,
                                               std::int32_t tolerance)
    : window_(detail::ByteWindowBuilder{}
                  .channel(detail::kAlphaShift, keyAlpha, tolerance)
                  .channel(detail::kRedShift, keyRed, tolerance)
                  .channel(detail::kGreenShift, keyGreen, tolerance)
                  .channel(detail::kBlueShift, keyBlue, tolerance)
                  .build()),
      deltas_(deltas),
      raise_(PerByte(deltas.alpha, deltas.red, deltas.green, deltas.blue)),
      lower_(PerByte(-deltas.alpha, -deltas.red, -deltas.green, -deltas.blue))
{
}

std::uint32_t ColorReplacementKernel::shift(std::uint32_t v) const noexcept
{
    Channel a, r, g, b;
    SplitArgb(static_cast<Argb>(v), a, r, g, b);
    AddClamped(a, deltas_.alpha);
    AddClamped(r, deltas_.red);
    AddClamped(g, deltas_.green);
    AddClamped(b, deltas_.blue);
    return static_cast<std::uint32_t>(MakeArgb(a, r, g, b));
}

void ColorReplacementKernel::operator()(const std::uint32_t* src, std::uint32_t* dst,
                                        std::size_t n) const noexcept
{
    detail::KernelEntryPoints<ColorReplacementKernel>::Run(*this, src, dst, n);
}

PassOutcome ColorReplacementPass(const PassImages& images, std::int32_t width, std::int32_t height,
                                 const Channel& keyAlpha, const Channel& keyRed,
                                 const Channel& keyGreen, const Channel& keyBlue,
                                 std::int32_t deltaAlpha, std::int32_t deltaRed,
                                 std::int32_t deltaGreen, std::int32_t deltaBlue,
                                 const std::int32_t& tolerance)
{
    const ChannelDeltas deltas{deltaAlpha, deltaRed, deltaGreen, deltaBlue};
    return WalkRows(images, width, height, [&] {
        return ColorReplacementKernel(keyAlpha, keyRed, keyGreen, keyBlue, deltas, tolerance);
    });
}

} // namespace passes
