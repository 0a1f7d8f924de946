// The vectorised kernels against the step-by-step transcription: every
// channel/key pair, whole color cubes for typical keys, and many random
// pixels, keys and tolerances; each on every instruction-set path this
// processor runs.
#include "passes/alpha_restoring.h"
#include "passes/color_replacement.h"
#include "passes/simple_removal.h"

#include "passes/simd.h"

#include "reference_passes.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace passes {
namespace {

const std::int32_t kTolerances[] = {0, 1, 2, 30, 128, 254, 255};

// Row of 256 pixels sweeping one channel (at `shift`) over 0..255, the other
// channels at `base`.
std::vector<std::uint32_t> Sweep(std::uint32_t base, int shift)
{
    std::vector<std::uint32_t> row(256);
    for (std::uint32_t c = 0; c < 256; ++c) row[c] = (base & ~(0xFFu << shift)) | c << shift;
    return row;
}

std::uint32_t Pack(int a, int r, int g, int b)
{
    return static_cast<std::uint32_t>(MakeArgb(a, r, g, b));
}

using detail::SimdPath;

class KernelEquivalence : public ::testing::TestWithParam<SimdPath> {
protected:
    void SetUp() override
    {
        detail::ForceSimdPathForTesting(GetParam());
        if (detail::ActiveSimdPath() != GetParam()) GTEST_SKIP() << "this processor lacks the path";
    }
    void TearDown() override { detail::ResetSimdPathForTesting(); }
};

INSTANTIATE_TEST_SUITE_P(Paths, KernelEquivalence,
                         ::testing::Values(SimdPath::Scalar, SimdPath::Sse2, SimdPath::Avx2),
                         [](const auto& info) {
                             switch (info.param) {
                             case SimdPath::Scalar: return "Scalar";
                             case SimdPath::Sse2: return "Sse2";
                             case SimdPath::Avx2: return "Avx2";
                             }
                             return "Unknown";
                         });

template <class Kernel, class Reference>
void ExpectSameOnRow(const Kernel& kernel, const std::vector<std::uint32_t>& row, Reference reference)
{
    std::vector<std::uint32_t> out(row.size());
    kernel(row.data(), out.data(), row.size());
    for (std::size_t i = 0; i < row.size(); ++i)
        ASSERT_EQ(out[i], reference(row[i])) << std::hex << "pixel 0x" << row[i];
}

TEST_P(KernelEquivalence, SimpleRemovalForEveryChannelAndKey)
{
    for (std::int32_t t : kTolerances)
        for (int k = 0; k < 256; ++k) {
            const SimpleRemovalKernel kernel(k, k, k, t);
            for (int shift : {0, 8, 16, 24})
                ExpectSameOnRow(kernel, Sweep(Pack(200, k, k, k), shift),
                                [&](std::uint32_t v) { return reference::SimpleRemoval(v, k, k, k, t); });
        }
}

TEST_P(KernelEquivalence, AlphaRestoringForEveryChannelAndKey)
{
    for (std::int32_t t : kTolerances)
        for (int k = 0; k < 256; ++k)
            for (int shift : {0, 8, 16, 24}) {
                // Keys differ per channel so a mixed-up channel shows.
                const int kR = k, kG = 255 - k, kB = (k * 5) & 255;
                const AlphaRestoringKernel kernel(kR, kG, kB, t);
                ExpectSameOnRow(kernel, Sweep(Pack(77, kR, kG, kB), shift), [&](std::uint32_t v) {
                    return reference::AlphaRestoringRemoval(v, kR, kG, kB, t);
                });
            }
}

TEST_P(KernelEquivalence, ColorReplacementForEveryChannelAndKey)
{
    for (std::int32_t t : kTolerances)
        for (int k = 0; k < 256; ++k)
            for (int shift : {0, 8, 16, 24}) {
                const int kA = 255 - k, kR = k, kG = (k * 3) & 255, kB = 128;
                const ChannelDeltas d{-kA + 40, 255 - kR, -kG, 7};
                const ColorReplacementKernel kernel(kA, kR, kG, kB, d, t);
                ExpectSameOnRow(kernel, Sweep(Pack(kA, kR, kG, kB), shift), [&](std::uint32_t v) {
                    return reference::ColorReplacement(v, kA, kR, kG, kB, d.alpha, d.red, d.green, d.blue, t);
                });
            }
}

TEST_P(KernelEquivalence, AlphaRestoringOverWholeColorCubes)
{
    // Tolerance 255 puts nearly the whole cube inside the window.
    const int keys[][3] = {{0, 0, 0}, {255, 255, 255}, {128, 128, 128}};
    std::vector<std::uint32_t> row(256);
    for (const auto& key : keys) {
        const AlphaRestoringKernel kernel(key[0], key[1], key[2], 255);
        for (int r = 0; r < 256; ++r)
            for (int g = 0; g < 256; ++g) {
                for (int b = 0; b < 256; ++b) row[static_cast<std::size_t>(b)] = Pack(255, r, g, b);
                ExpectSameOnRow(kernel, row, [&](std::uint32_t v) {
                    return reference::AlphaRestoringRemoval(v, key[0], key[1], key[2], 255);
                });
            }
    }
}

TEST_P(KernelEquivalence, AlphaRestoringAroundKeysAtTheToleranceWhereItsCacheChangesShape)
{
    // Up to tolerance 64 every difference triple has its own slot; above, a
    // cache is shared. Pixels all over the window on both sides of that
    // (every third red and green, every blue).
    const int keys[][3] = {{0, 0, 0}, {255, 255, 255}, {100, 37, 220}};
    std::vector<std::uint32_t> row;
    for (const std::int32_t t : {64, 65})
        for (const auto& key : keys) {
            const AlphaRestoringKernel kernel(key[0], key[1], key[2], t);
            for (int r = std::max(0, key[0] - t); r <= std::min(255, key[0] + t); r += 3)
                for (int g = std::max(0, key[1] - t); g <= std::min(255, key[1] + t); g += 3) {
                    row.clear();
                    for (int b = std::max(0, key[2] - t); b <= std::min(255, key[2] + t); ++b)
                        row.push_back(Pack(255, r, g, b));
                    ExpectSameOnRow(kernel, row, [&](std::uint32_t v) {
                        return reference::AlphaRestoringRemoval(v, key[0], key[1], key[2], t);
                    });
                }
        }
}

TEST_P(KernelEquivalence, RandomPixelsKeysAndTolerances)
{
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> channel(0, 255);
    std::uniform_int_distribution<std::uint32_t> pixel;
    std::vector<std::uint32_t> row(1000);
    for (int round = 0; round < 2000; ++round) {
        const int kA = channel(random), kR = channel(random), kG = channel(random), kB = channel(random);
        const std::int32_t t = round % 3 == 0 ? kTolerances[round / 3 % 7] : channel(random);
        const ChannelDeltas d{channel(random) - kA, channel(random) - kR, channel(random) - kG, channel(random) - kB};
        // Pixels near the key as well as anywhere, so both sides of the window show.
        for (auto& v : row) {
            const std::uint32_t any = pixel(random);
            const std::uint32_t near = Pack(std::clamp(kA + channel(random) % 61 - 30, 0, 255),
                                            std::clamp(kR + channel(random) % 61 - 30, 0, 255),
                                            std::clamp(kG + channel(random) % 61 - 30, 0, 255),
                                            std::clamp(kB + channel(random) % 61 - 30, 0, 255));
            v = (any & 1) ? any : near;
        }
        ExpectSameOnRow(SimpleRemovalKernel(kR, kG, kB, t), row,
                        [&](std::uint32_t v) { return reference::SimpleRemoval(v, kR, kG, kB, t); });
        ExpectSameOnRow(AlphaRestoringKernel(kR, kG, kB, t), row,
                        [&](std::uint32_t v) { return reference::AlphaRestoringRemoval(v, kR, kG, kB, t); });
        ExpectSameOnRow(ColorReplacementKernel(kA, kR, kG, kB, d, t), row, [&](std::uint32_t v) {
            return reference::ColorReplacement(v, kA, kR, kG, kB, d.alpha, d.red, d.green, d.blue, t);
        });
    }
}

TEST_P(KernelEquivalence, KernelsRunInPlace)
{
    std::mt19937 random(7);
    std::vector<std::uint32_t> source(1003);
    for (std::size_t i = 0; i < source.size(); ++i)
        source[i] = (i % 2) ? static_cast<std::uint32_t>(random()) : Pack(255, 10 + i % 7, 12, 9);
    auto check = [&](const auto& kernel) {
        std::vector<std::uint32_t> separate(source.size()), inPlace = source;
        kernel(source.data(), separate.data(), source.size());
        kernel(inPlace.data(), inPlace.data(), inPlace.size());
        EXPECT_EQ(inPlace, separate);
    };
    check(SimpleRemovalKernel(10, 12, 9, 30));
    check(AlphaRestoringKernel(10, 12, 9, 30));
    check(ColorReplacementKernel(255, 10, 12, 9, {0, 100, -12, 50}, 30));
}

TEST_P(KernelEquivalence, EveryRunLengthAndOffset)
{
    // Lengths and misalignments around the vector width.
    std::vector<std::uint32_t> source(40);
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = i % 3 ? Pack(255, 0, 0, 0) : Pack(200, 90, 10, 3);
    const AlphaRestoringKernel kernel(0, 0, 0, 30);
    for (std::size_t offset = 0; offset < 4; ++offset)
        for (std::size_t n = 0; n + offset <= source.size(); ++n) {
            std::vector<std::uint32_t> out(source.size(), 0x5A5A5A5Au);
            kernel(source.data() + offset, out.data() + offset, n);
            for (std::size_t i = 0; i < out.size(); ++i) {
                const bool written = i >= offset && i < offset + n;
                ASSERT_EQ(out[i], written ? reference::AlphaRestoringRemoval(source[i], 0, 0, 0, 30) : 0x5A5A5A5Au)
                    << "offset " << offset << " length " << n << " index " << i;
            }
        }
}

} // namespace
} // namespace passes
