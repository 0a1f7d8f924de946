#pragma once
// The two 32-bit color forms of the system and the helpers that pack, unpack
// and adjust them.
//
// ARGB value: alpha in bits 24..31, red 16..23, green 8..15, blue 0..7, not
// premultiplied, held in a signed 32-bit integer (alpha >= 128 is negative).
// Window-system color: 0x00BBGGRR, red in the low byte.

#include <cstdint>

namespace passes {

using Argb = std::int32_t; // signed on purpose: matches how values are held everywhere
using Channel = std::int32_t; // 0..255, wide so differences and sums never wrap
using OleColor = std::uint32_t; // 0x00BBGGRR

// The four bytes of an ARGB value in little-endian memory order.
struct ArgbBytes {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    std::uint8_t alpha = 0;
};
static_assert(sizeof(ArgbBytes) == 4, "ArgbBytes must overlay one ARGB value");

class ClsARGB {
public:
    // Copies the bytes of v unchanged: bits 0..7 to blue, ..., 24..31 to alpha.
    static void ToArgbBytes(Argb v, ArgbBytes& out) noexcept
    {
        const auto u = static_cast<std::uint32_t>(v);
        out.blue = static_cast<std::uint8_t>(u);
        out.green = static_cast<std::uint8_t>(u >> 8);
        out.red = static_cast<std::uint8_t>(u >> 16);
        out.alpha = static_cast<std::uint8_t>(u >> 24);
    }
};

// Packs in unsigned arithmetic so alpha >= 128 gives the negative pattern
// instead of overflowing.
constexpr Argb MakeArgb(Channel a, Channel r, Channel g, Channel b) noexcept
{
    const std::uint32_t u = (static_cast<std::uint32_t>(a) & 0xFFu) << 24
        | (static_cast<std::uint32_t>(r) & 0xFFu) << 16 | (static_cast<std::uint32_t>(g) & 0xFFu) << 8
        | (static_cast<std::uint32_t>(b) & 0xFFu);
    return static_cast<Argb>(u);
}

inline void SplitArgb(Argb v, Channel& a, Channel& r, Channel& g, Channel& b) noexcept
{
    ArgbBytes bytes;
    ClsARGB::ToArgbBytes(v, bytes);
    a = bytes.alpha;
    r = bytes.red;
    g = bytes.green;
    b = bytes.blue;
}

inline void SplitArgbRgb(Argb v, Channel& r, Channel& g, Channel& b) noexcept
{
    ArgbBytes bytes;
    ClsARGB::ToArgbBytes(v, bytes);
    r = bytes.red;
    g = bytes.green;
    b = bytes.blue;
}

// Red is the magnitude of a remainder that carries the sign of c, so a
// system-color value (top bit set) gives 256 minus its low byte; callers only
// pass plain colors, where this is simply the low byte.
inline void SplitOleColor(OleColor c, Channel& r, Channel& g, Channel& b) noexcept
{
    const auto signedColor = static_cast<std::int32_t>(c);
    const std::int32_t remainder = signedColor % 256;
    r = remainder < 0 ? -remainder : remainder;
    g = static_cast<Channel>((c >> 8) & 0xFFu);
    b = static_cast<Channel>((c >> 16) & 0xFFu);
}

constexpr OleColor MakeOleColor(Channel r, Channel g, Channel b) noexcept
{
    return (static_cast<OleColor>(b) & 0xFFu) << 16 | (static_cast<OleColor>(g) & 0xFFu) << 8
        | (static_cast<OleColor>(r) & 0xFFu);
}

// channel + delta, clamped to 0..255 (upper bound first, then lower).
constexpr void AddClamped(Channel& channel, std::int32_t delta) noexcept
{
    channel += delta;
    if (channel > 255) channel = 255;
    if (channel < 0) channel = 0;
}

} // namespace passes
