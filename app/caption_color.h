#pragma once
// Which of black and white text reads better on a color: the one with the
// higher contrast ratio, by relative luminance as WCAG defines both.

#include <array>
#include <cmath>

namespace app {

// Relative luminance of an sRGB color (channels 0..255): 0 for black, 1 for white.
inline double RelativeLuminance(int r, int g, int b)
{
    static const std::array<double, 256> linear = [] {
        std::array<double, 256> table{};
        for (int v = 0; v < 256; ++v) {
            const double c = v / 255.0;
            table[v] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        }
        return table;
    }();
    return 0.2126 * linear[r & 255] + 0.7152 * linear[g & 255] + 0.0722 * linear[b & 255];
}

// Black wins when (L + 0.05) / 0.05 > 1.05 / (L + 0.05), that is above
// L = sqrt(1.05 * 0.05) - 0.05, about 0.179.
inline bool BlackTextReadsBetterOn(int r, int g, int b)
{
    static const double threshold = std::sqrt(1.05 * 0.05) - 0.05;
    return RelativeLuminance(r, g, b) > threshold;
}

} // namespace app
