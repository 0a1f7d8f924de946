#include "alpha_restoring.h"

#include <cmath>
#include <cstdlib>

namespace passes {
namespace {

// Each term lies in 0..2, so this never changes it; kept so the arithmetic is
// the documented one whatever the input.
double ClampTerm(double term) noexcept
{
    if (term <= 0) return 0;
    if (term > 255) return 255;
    return term;
}

} // namespace

double ChannelDistance(Channel c, Channel k) noexcept
{
    const double p = std::abs(c - k) / 255.0;
    const double x = k / 255.0;
    return p + x * x; // squaring equals std::pow(x, 2) bit for bit
}

// Halves go to even: the rounding mode is never changed from round-to-nearest.
Channel UnblendChannel(double a, Channel c, Channel k) noexcept
{
    if (a <= 0) return 0;
    double v = (std::abs(c - k) * 255) / a + k;
    if (v < 0) return 0;
    if (v > 255) v = 255;
    return static_cast<Channel>(std::nearbyint(v));
}

std::uint32_t AlphaRestoringRemovalPass::Inside(std::uint32_t pixel, const PassParameters& p) noexcept
{
    Channel r, g, b;
    SplitArgbRgb(static_cast<Argb>(pixel), r, g, b);
    const double dR = ClampTerm(ChannelDistance(r, p.key.R));
    const double dG = ClampTerm(ChannelDistance(g, p.key.G));
    const double dB = ClampTerm(ChannelDistance(b, p.key.B));
    double a = ((dR + dG + dB) * 255.0) / 3.0;
    if (a < 0) a = 0;
    if (a > 255) a = 255;
    const auto n = static_cast<Channel>(std::nearbyint(a));
    if (n == 0) return 0; // fully transparent black
    return static_cast<std::uint32_t>(
        MakeArgb(n, UnblendChannel(a, r, p.key.R), UnblendChannel(a, g, p.key.G), UnblendChannel(a, b, p.key.B)));
}

} // namespace passes
