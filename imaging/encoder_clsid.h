#pragma once
// The fixed table of encoder class identifiers, kept as text and parsed when
// used, as the platform's identifier strings are published.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace mGdip {

struct ClassId {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};

    friend bool operator==(const ClassId&, const ClassId&) = default;
};

enum ImageFormatCode : std::int32_t {
    kFormatBmp = 0,
    kFormatEmf = 1,
    kFormatWmf = 2,
    kFormatJpeg = 3,
    kFormatPng = 4,
    kFormatGif = 5,
    kFormatTiff = 6,
    kFormatIcon = 7,
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex digits in either case).
std::optional<ClassId> ParseClassId(std::string_view text) noexcept;

// The encoder identifier for a format code; all zeros outside 0..7.
ClassId EncoderClsid(std::int32_t code) noexcept;

} // namespace mGdip
