#pragma once
// The result of a pixel inside the key window depends only on its three
// channel differences from the key, so the exact (and costly: four
// divisions) computation is done once per difference triple met and
// remembered. Flat backgrounds and soft edges meet few triples.

#include "color_model.h"

#include <array>
#include <cstdint>
#include <vector>

namespace passes::detail {

class AlphaRestoringResults {
public:
    // Forgets what was computed unless key and tolerance are unchanged.
    void prepare(Channel keyRed, Channel keyGreen, Channel keyBlue, std::int32_t tolerance);

    // `differences` is |R - kR| << 16 | |G - kG| << 8 | |B - kB|, each below
    // the tolerance.
    std::uint32_t resultFor(std::uint32_t differences) noexcept
    {
        if (!direct_.empty()) {
            const std::uint32_t t = static_cast<std::uint32_t>(tolerance_);
            std::uint32_t& slot = direct_[((differences >> 16) * t + ((differences >> 8) & 0xFF)) * t
                                          + (differences & 0xFF)];
            if (slot == kUnknown) slot = compute(differences);
            return slot;
        }
        std::uint64_t& slot = hashed_[(differences * 0x9E3779B1u) >> (32 - kHashBits)];
        if ((slot >> 32) != differences) slot = std::uint64_t{differences} << 32 | compute(differences);
        return static_cast<std::uint32_t>(slot);
    }

    // The exact result for a triple, computed afresh.
    std::uint32_t compute(std::uint32_t differences) const noexcept;

    // One slot per triple, index (dR * t + dG) * t + dB, holding kUnknown
    // until computed; empty for large tolerances.
    std::uint32_t* directSlots() noexcept { return direct_.empty() ? nullptr : direct_.data(); }
    std::int32_t tolerance() const noexcept { return tolerance_; }

    // No pixel can give this: a result with alpha 0 is always 0.
    static constexpr std::uint32_t kUnknown = 1;

private:
    static constexpr int kHashBits = 18;

    Channel key_[3] = {-1, -1, -1};
    std::int32_t tolerance_ = -1;
    std::array<std::array<double, 256>, 3> distance_{}; // by difference, per channel
    std::vector<std::uint32_t> direct_; // tolerance^3 slots, for small tolerances
    std::vector<std::uint64_t> hashed_; // difference << 32 | result, otherwise
};

} // namespace passes::detail
