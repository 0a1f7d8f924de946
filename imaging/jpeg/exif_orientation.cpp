#include "exif_orientation.h"

#include "imaging/common/bitmap_memory.h"

#include <cstring>

namespace imaging::jpeg {

int ExifOrientationOf(const std::uint8_t* app1, std::size_t length)
{
    if (length < 14) return 0;
    const std::uint8_t* d = app1;
    if (std::memcmp(d, "Exif\0\0", 6) != 0) return 0;
    const std::uint8_t* tiff = d + 6;
    const std::int64_t size = static_cast<std::int64_t>(length) - 6;
    const bool big = tiff[0] == 'M' && tiff[1] == 'M';
    if (!big && !(tiff[0] == 'I' && tiff[1] == 'I')) return 0;
    auto u16 = [&](std::int64_t at) -> std::int64_t {
        if (at < 0 || at + 2 > size) return -1;
        return big ? tiff[at] << 8 | tiff[at + 1] : tiff[at + 1] << 8 | tiff[at];
    };
    auto u32 = [&](std::int64_t at) -> std::int64_t {
        const std::int64_t a = u16(at), b = u16(at + 2);
        if (a < 0 || b < 0) return -1;
        return big ? a << 16 | b : b << 16 | a;
    };
    if (u16(2) != 42) return 0;
    const std::int64_t ifd = u32(4);
    const std::int64_t entries = u16(ifd);
    for (std::int64_t i = 0; i < entries; ++i) {
        const std::int64_t entry = ifd + 2 + 12 * i;
        if (u16(entry) == 0x0112 && u16(entry + 2) == 3) {
            const std::int64_t value = u16(entry + 8);
            return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
        }
        if (u16(entry) < 0) break;
    }
    return 0;
}

QImage Oriented(QImage stored, int orientation)
{
    if (orientation <= 1 || orientation > 8) return stored;
    const int w = stored.width(), h = stored.height();
    const bool swaps = orientation >= 5;
    QImage upright = AllocateBitmap(swaps ? h : w, swaps ? w : h, Contents::Unspecified);
    if (upright.isNull()) return {};
    const int uw = upright.width(), uh = upright.height();
    const auto* src = reinterpret_cast<const std::uint32_t*>(stored.constBits());
    const std::ptrdiff_t stride = stored.bytesPerLine() / 4;
    for (int y = 0; y < uh; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(upright.scanLine(y));
        for (int x = 0; x < uw; ++x) {
            int sx = x, sy = y;
            switch (orientation) {
            case 2: sx = w - 1 - x; break;
            case 3:
                sx = w - 1 - x;
                sy = h - 1 - y;
                break;
            case 4: sy = h - 1 - y; break;
            case 5:
                sx = y;
                sy = x;
                break;
            case 6:
                sx = y;
                sy = h - 1 - x;
                break;
            case 7:
                sx = w - 1 - y;
                sy = h - 1 - x;
                break;
            case 8:
                sx = w - 1 - y;
                sy = x;
                break;
            }
            row[x] = src[sy * stride + sx];
        }
    }
    return upright;
}

} // namespace imaging::jpeg
