#pragma once
// The key and the replacement colour a file is processed with, from the
// command line and, for a key taken from the image, the pixel there.

#include "options.h"

#include "passes/color_model.h"
#include "passes/pass_parameters.h"

#include <QString>

#include <optional>

namespace cli {

inline passes::ArgbChannels Channels(int alpha, const ColorArgument& color)
{
    return {alpha, color.red, color.green, color.blue};
}

// The key given as a colour; empty when it is to be read from the image.
inline std::optional<passes::ArgbChannels> GivenKey(const Options& options)
{
    if (!options.key) return std::nullopt;
    return Channels(options.key->alpha.value_or(255), *options.key);
}

inline passes::ArgbChannels KeyOfPixel(passes::Argb pixel)
{
    passes::ArgbChannels key;
    passes::SplitArgb(pixel, key.A, key.R, key.G, key.B);
    return key;
}

// Why the key cannot be taken from the image at `at`.
inline QString KeyPositionOutside(const PixelPosition& at, std::int32_t width, std::int32_t height)
{
    return QStringLiteral("the key position %1,%2 is outside the %3 × %4 image")
        .arg(at.x)
        .arg(at.y)
        .arg(width)
        .arg(height);
}

// As in the window, picking a key sets the target alpha to the key's alpha.
inline passes::ArgbChannels ReplacementFor(const Options& options, const passes::ArgbChannels& key)
{
    const ColorArgument to = options.replacement.value_or(ColorArgument{});
    return Channels(to.alpha.value_or(key.A), to);
}

} // namespace cli
