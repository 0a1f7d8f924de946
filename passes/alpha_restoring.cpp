#include "alpha_restoring.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace passes {
namespace {

// (k / 255)^2, the key's own share of every distance.
double KeyTerm(Channel k) noexcept
{
    const double x = k / 255.0;
    return x * x;
}

double DistanceTerm(std::int32_t difference, double keyTerm) noexcept
{
    return difference / 255.0 + keyTerm;
}

// Each term lies in 0..2, so this never changes it; kept so the arithmetic is
// the documented one whatever the input.
double ClampTerm(double term) noexcept
{
    if (term <= 0) return 0;
    if (term > 255) return 255;
    return term;
}

// a from the three clamped distance terms, summed red, green, blue in that order.
double AlphaFromTerms(double dR, double dG, double dB) noexcept
{
    double a = ((dR + dG + dB) * 255.0) / 3.0;
    if (a < 0) a = 0;
    if (a > 255) a = 255;
    return a;
}

// UnblendChannel for a > 0 and an integer difference |c - k|. Halves go to
// even: the rounding mode is never changed from round-to-nearest.
std::uint32_t Unblend(double a, std::int32_t difference, Channel k) noexcept
{
    if (difference == 0) return static_cast<std::uint32_t>(k); // 0 / a + k is exactly k
    double v = (difference * 255) / a + k;
    if (v < 0) return 0;
    if (v > 255) v = 255;
    return static_cast<std::uint32_t>(std::nearbyint(v));
}

} // namespace

double ChannelDistance(Channel c, Channel k) noexcept
{
    return DistanceTerm(std::abs(c - k), KeyTerm(k));
}

Channel UnblendChannel(double a, Channel c, Channel k) noexcept
{
    if (a <= 0) return 0;
    return static_cast<Channel>(Unblend(a, std::abs(c - k), k));
}

namespace detail {

void AlphaRestoringResults::prepare(Channel keyRed, Channel keyGreen, Channel keyBlue,
                                    std::int32_t tolerance)
{
    if (keyRed == key_[0] && keyGreen == key_[1] && keyBlue == key_[2] && tolerance == tolerance_) return;
    key_[0] = keyRed;
    key_[1] = keyGreen;
    key_[2] = keyBlue;
    tolerance_ = tolerance;
    const int differences = std::clamp(tolerance, 0, 256); // only those below the tolerance occur
    for (int channel = 0; channel < 3; ++channel) {
        const double keyTerm = KeyTerm(key_[channel]);
        for (int d = 0; d < differences; ++d)
            distance_[channel][static_cast<std::size_t>(d)] = ClampTerm(DistanceTerm(d, keyTerm));
    }
    // Small tolerances get one slot per possible triple; larger ones a
    // direct-mapped cache.
    const auto triples = static_cast<std::size_t>(differences) * differences * differences;
    if (triples <= (std::size_t{1} << kHashBits)) {
        direct_.assign(triples, kUnknown);
        hashed_.clear();
    } else {
        direct_.clear();
        hashed_.assign(std::size_t{1} << kHashBits, ~std::uint64_t{0});
    }
}

std::uint32_t AlphaRestoringResults::compute(std::uint32_t differences) const noexcept
{
    const auto dr = static_cast<std::int32_t>(differences >> 16);
    const auto dg = static_cast<std::int32_t>((differences >> 8) & 0xFF);
    const auto db = static_cast<std::int32_t>(differences & 0xFF);
    const double a = AlphaFromTerms(distance_[0][static_cast<std::size_t>(dr)],
                                    distance_[1][static_cast<std::size_t>(dg)],
                                    distance_[2][static_cast<std::size_t>(db)]);
    const auto n = static_cast<std::uint32_t>(std::nearbyint(a));
    if (n == 0) return 0;
    return n << 24 | Unblend(a, dr, key_[0]) << 16 | Unblend(a, dg, key_[1]) << 8 | Unblend(a, db, key_[2]);
}

} // namespace detail

AlphaRestoringKernel::AlphaRestoringKernel(Channel keyRed, Channel keyGreen, Channel keyBlue,
                                           std::int32_t tolerance,
                                           std::shared_ptr<detail::AlphaRestoringResults> results)
    : window_(detail::ByteWindowBuilder{}
                  .channel(detail::kRedShift, keyRed, tolerance)
                  .channel(detail::kGreenShift, keyGreen, tolerance)
                  .channel(detail::kBlueShift, keyBlue, tolerance)
                  .build()),
      key_{keyRed, keyGreen, keyBlue},
      results_(results ? std::move(results) : std::make_shared<detail::AlphaRestoringResults>())
{
    if (!window_.matchesNothing) results_->prepare(keyRed, keyGreen, keyBlue, tolerance);
}

#if CHROMOBRISK_X86
[[gnu::target("avx2")]] void AlphaRestoringKernel::runGathering(const std::uint32_t* src,
                                                               std::uint32_t* dst,
                                                               std::size_t n) const noexcept
{
    constexpr std::uint32_t kOpaque = 0xFF000000u;
    std::uint32_t* const slots = results_->directSlots();
    const auto t = static_cast<int>(results_->tolerance());
    std::size_t i = 0;
    for (; i < n && (reinterpret_cast<std::uintptr_t>(dst + i) % 32) != 0; ++i)
        dst[i] = detail::Inside(window_, src[i]) ? insidePixel(src[i]) : (src[i] | kOpaque);

    const __m256i low = _mm256_set1_epi32(static_cast<int>(window_.low));
    const __m256i span = _mm256_set1_epi32(static_cast<int>(window_.span));
    const __m256i key = _mm256_set1_epi32(key_[0] << 16 | key_[1] << 8 | key_[2]);
    const __m256i byteMask = _mm256_set1_epi32(0xFF), tolerance = _mm256_set1_epi32(t);
    const __m256i unknown = _mm256_set1_epi32(static_cast<int>(detail::AlphaRestoringResults::kUnknown));
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(kOpaque)), ones = _mm256_set1_epi32(-1);
    for (; i + 8 <= n; i += 8) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const __m256i offset = _mm256_sub_epi8(v, low);
        const __m256i inside = _mm256_cmpeq_epi32(
            _mm256_cmpeq_epi8(_mm256_min_epu8(offset, span), offset), ones);
        __m256i out = _mm256_or_si256(v, opaque);
        if (!_mm256_testz_si256(inside, inside)) {
            // |c - k| per byte, then the slot of the (dR, dG, dB) triple.
            const __m256i d = _mm256_sub_epi8(_mm256_max_epu8(v, key), _mm256_min_epu8(v, key));
            const __m256i dR = _mm256_and_si256(_mm256_srli_epi32(d, 16), byteMask);
            const __m256i dG = _mm256_and_si256(_mm256_srli_epi32(d, 8), byteMask);
            const __m256i dB = _mm256_and_si256(d, byteMask);
            const __m256i slot = _mm256_add_epi32(
                _mm256_mullo_epi32(_mm256_add_epi32(_mm256_mullo_epi32(dR, tolerance), dG), tolerance), dB);
            // Outside lanes may index past the slots: they gather nothing.
            __m256i found = _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), reinterpret_cast<const int*>(slots),
                                                        slot, inside, 4);
            const __m256i missing = _mm256_and_si256(_mm256_cmpeq_epi32(found, unknown), inside);
            if (!_mm256_testz_si256(missing, missing)) {
                alignas(32) std::uint32_t lanes[8], pixels[8];
                _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), found);
                _mm256_store_si256(reinterpret_cast<__m256i*>(pixels), v);
                for (int lane = 0; lane < 8; ++lane)
                    if (lanes[lane] == detail::AlphaRestoringResults::kUnknown) lanes[lane] = insidePixel(pixels[lane]);
                found = _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes));
            }
            out = _mm256_blendv_epi8(out, found, inside);
        }
        _mm256_stream_si256(reinterpret_cast<__m256i*>(dst + i), out);
    }
    _mm_sfence();
    for (; i < n; ++i) dst[i] = detail::Inside(window_, src[i]) ? insidePixel(src[i]) : (src[i] | kOpaque);
}
#else
void AlphaRestoringKernel::runGathering(const std::uint32_t*, std::uint32_t*, std::size_t) const noexcept {}
#endif

void AlphaRestoringKernel::operator()(const std::uint32_t* src, std::uint32_t* dst,
                                      std::size_t n) const noexcept
{
    detail::KernelEntryPoints<AlphaRestoringKernel>::Run(*this, src, dst, n);
}

PassOutcome AlphaRestoringRemovalPass(const PassImages& images, std::int32_t width,
                                      std::int32_t height, const Channel& keyRed,
                                      const Channel& keyGreen, const Channel& keyBlue,
                                      const std::int32_t& tolerance)
{
    const auto results = std::make_shared<detail::AlphaRestoringResults>();
    return WalkRows(images, width, height, [&] {
        return AlphaRestoringKernel(keyRed, keyGreen, keyBlue, tolerance, results);
    });
}

} // namespace passes
