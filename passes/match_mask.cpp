#include "match_mask.h"

#include "simd.h"
#include "tolerance_window.h"

namespace passes {
namespace {

// Writes the bits of n pixels into words of 32, as a kernel writes pixels, so
// that it runs on the widest vector path the processor has.
class MaskRow {
public:
    explicit MaskRow(const detail::ToleranceWindow& window) : window_(window) { }

    void operator()(const std::uint32_t* src, std::uint32_t* words, std::size_t n)
    {
        detail::RunOnActivePath(*this, src, words, n);
    }

    template <int Bytes>
    CHROMOBRISK_INLINE void run(const std::uint32_t* src, std::uint32_t* words, std::size_t n)
    {
        constexpr std::size_t step = detail::Vec<Bytes>::kPixels;
        const auto inWindow = window_.template lanes<Bytes>();
        const auto inWindowOne = window_.template lanes<4>();
        std::size_t i = 0;
        for (; i + 32 <= n; i += 32) {
            std::uint32_t word = 0;
            for (std::size_t k = 0; k < 32; k += step)
                word |= detail::LaneBits<Bytes>(inWindow(detail::Load<Bytes>(src + i + k))) << k;
            words[i / 32] = word;
        }
        if (i < n) {
            std::uint32_t word = 0;
            for (std::size_t k = 0; i + k < n; ++k)
                word |= detail::LaneBits<4>(inWindowOne(detail::Load<4>(src + i + k))) << k;
            words[i / 32] = word; // the bits past the row stay clear
        }
    }

private:
    detail::ToleranceWindow window_;
};

} // namespace

BitMask MatchMask(const ConstPixelView& source, const PassParameters& p, ComparedChannels compared)
{
    BitMask mask(source.width, source.height);
    const detail::ToleranceWindow window(p, compared);
    if (window.matchesNothing()) return mask;
    MaskRow row(window);
    for (std::int32_t y = 0; y < mask.height(); ++y)
        row(source.row(y), mask.row(y), static_cast<std::size_t>(mask.width()));
    return mask;
}

} // namespace passes
