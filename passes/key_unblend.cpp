#include "key_unblend.h"

#include <algorithm>

namespace passes {
namespace {

double Share(Channel c, Channel k) noexcept
{
    if (c > k) return (c - k) / (255.0 - k);
    if (c < k) return (k - c) / static_cast<double>(k);
    return 0;
}

// Nearest integer, halves to even (the default rounding of the floating-point
// unit, which adding and taking away 1.5 x 2^52 applies), for |v| < 2^51.
double RoundHalfEven(double v) noexcept
{
    constexpr double kShift = 6755399441055744.0;
    return (v + kShift) - kShift;
}

Channel ToChannel(double v) noexcept { return static_cast<Channel>(std::clamp(RoundHalfEven(v), 0.0, 255.0)); }

} // namespace

KeyUnblend::KeyUnblend(const ArgbChannels& key) noexcept : key_{key.R, key.G, key.B}
{
    for (std::size_t channel = 0; channel < 3; ++channel)
        for (Channel c = 0; c < 256; ++c) share_[channel][static_cast<std::size_t>(c)] = Share(c, key_[channel]);
}

void KeyUnblend::apply(std::uint32_t* pixels, std::size_t n) const noexcept
{
    for (std::size_t i = 0; i < n; ++i) pixels[i] = (*this)(pixels[i]);
}

std::uint32_t KeyUnblend::operator()(std::uint32_t pixel) const noexcept
{
    Channel a, r, g, b;
    SplitArgb(static_cast<Argb>(pixel), a, r, g, b);
    const std::array<Channel, 3> c = {r, g, b};
    double alpha = 0;
    for (std::size_t i = 0; i < 3; ++i) alpha = std::max(alpha, share_[i][static_cast<std::size_t>(c[i])]);
    if (alpha == 0) return 0;
    // Divided, not multiplied by a reciprocal: the quotient must be the one stated.
    std::array<Channel, 3> out{};
    for (std::size_t i = 0; i < 3; ++i) out[i] = ToChannel(key_[i] + (c[i] - key_[i]) / alpha);
    const Channel outAlpha = ToChannel(alpha * a);
    if (outAlpha == 0) return 0;
    return static_cast<std::uint32_t>(MakeArgb(outAlpha, out[0], out[1], out[2]));
}

} // namespace passes
