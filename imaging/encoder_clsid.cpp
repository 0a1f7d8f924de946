#include "encoder_clsid.h"

namespace mGdip {
namespace {

constexpr std::string_view kEncoderTable[] = {
    "{557CF400-1A04-11D3-9A73-0000F81EF32E}", // BMP
    "{557CF403-1A04-11D3-9A73-0000F81EF32E}", // EMF
    "{557CF404-1A04-11D3-9A73-0000F81EF32E}", // WMF
    "{557CF401-1A04-11D3-9A73-0000F81EF32E}", // JPEG
    "{557CF406-1A04-11D3-9A73-0000F81EF32E}", // PNG
    "{557CF402-1A04-11D3-9A73-0000F81EF32E}", // GIF
    "{557CF405-1A04-11D3-9A73-0000F81EF32E}", // TIFF
    "{557CF407-1A04-11D3-9A73-0000F81EF32E}", // ICON
};

int HexValue(char c) noexcept
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads `digits` hex digits at `pos`, advancing it.
std::optional<std::uint32_t> ReadHex(std::string_view text, std::size_t& pos, int digits) noexcept
{
    if (pos + static_cast<std::size_t>(digits) > text.size()) return std::nullopt;
    std::uint32_t value = 0;
    for (int i = 0; i < digits; ++i) {
        const int h = HexValue(text[pos++]);
        if (h < 0) return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(h);
    }
    return value;
}

bool Expect(std::string_view text, std::size_t& pos, char c) noexcept
{
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

} // namespace

std::optional<ClassId> ParseClassId(std::string_view text) noexcept
{
    ClassId id;
    std::size_t pos = 0;
    if (!Expect(text, pos, '{')) return std::nullopt;
    const auto d1 = ReadHex(text, pos, 8);
    if (!d1 || !Expect(text, pos, '-')) return std::nullopt;
    const auto d2 = ReadHex(text, pos, 4);
    if (!d2 || !Expect(text, pos, '-')) return std::nullopt;
    const auto d3 = ReadHex(text, pos, 4);
    if (!d3 || !Expect(text, pos, '-')) return std::nullopt;
    id.data1 = *d1;
    id.data2 = static_cast<std::uint16_t>(*d2);
    id.data3 = static_cast<std::uint16_t>(*d3);
    for (std::size_t i = 0; i < id.data4.size(); ++i) {
        if (i == 2 && !Expect(text, pos, '-')) return std::nullopt;
        const auto byte = ReadHex(text, pos, 2);
        if (!byte) return std::nullopt;
        id.data4[i] = static_cast<std::uint8_t>(*byte);
    }
    if (!Expect(text, pos, '}') || pos != text.size()) return std::nullopt;
    return id;
}

ClassId EncoderClsid(std::int32_t code) noexcept
{
    if (code < 0 || code >= static_cast<std::int32_t>(std::size(kEncoderTable))) return {};
    return ParseClassId(kEncoderTable[code]).value_or(ClassId{});
}

} // namespace mGdip
