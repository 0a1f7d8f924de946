// Every schedule of every pass against the pass's one-pixel statement
// (PassColor): every channel/key pair, whole color cubes for typical keys,
// and many random pixels, keys and tolerances; each on every instruction-set
// path this processor runs. The one-pixel statements in turn against the
// step-by-step transcription of the tests.
#include "passes/pass_command.h"

#include "pass_test_support.h"
#include "reference_passes.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace passes {
namespace {

using PlainAlphaRestoringKernel = PointKernel<AlphaRestoringRemovalPass>;
using PlainColorReplacementKernel = PointKernel<ColorReplacementPass>;

const std::int32_t kTolerances[] = {0, 1, 2, 30, 128, 254, 255};

// Row of 256 pixels sweeping one channel (at `shift`) over 0..255, the other
// channels at `base`.
std::vector<std::uint32_t> Sweep(std::uint32_t base, int shift)
{
    std::vector<std::uint32_t> row(256);
    for (std::uint32_t c = 0; c < 256; ++c) row[c] = (base & ~(0xFFu << shift)) | c << shift;
    return row;
}

std::uint32_t Pack(int a, int r, int g, int b) { return static_cast<std::uint32_t>(MakeArgb(a, r, g, b)); }

// Keys for the sweeps, one per k; they differ per channel, so a mixed-up
// channel shows. The key's alpha is also the alpha of the swept pixels.
PassParameters GreyKey(int k, std::int32_t t) { return {{200, k, k, k}, t, {}}; }
PassParameters MixedKey(int k, std::int32_t t) { return {{77, k, 255 - k, (k * 5) & 255}, t, {}}; }
PassParameters ReplacementKey(int k, std::int32_t t)
{
    const ArgbChannels key{255 - k, k, (k * 3) & 255, 128};
    return {key, t, {-key.A + 40, 255 - key.R, -key.G, 7}};
}

// What the pass's one-pixel statement paints on a fresh bitmap.
template <class Pass>
std::uint32_t Painted(std::uint32_t v, const PassParameters& p)
{
    return reference::PaintOnFresh(static_cast<Argb>(PassColor<Pass>(v, p)));
}

template <class Kernel>
void ExpectSameOnRow(Kernel& kernel, const PassParameters& p, const std::vector<std::uint32_t>& row)
{
    std::vector<std::uint32_t> out(row.size());
    kernel(row.data(), out.data(), row.size());
    for (std::size_t i = 0; i < row.size(); ++i)
        ASSERT_EQ(out[i], Painted<typename Kernel::Definition>(row[i], p)) << std::hex << "pixel 0x" << row[i];
}

template <class Kernel, class KeyFor>
void ExpectSameForEveryChannelAndKey(KeyFor keyFor)
{
    for (std::int32_t t : kTolerances)
        for (int k = 0; k < 256; ++k) {
            const PassParameters p = keyFor(k, t);
            Kernel kernel(p);
            for (int shift : {0, 8, 16, 24})
                ExpectSameOnRow(kernel, p, Sweep(Pack(p.key.A, p.key.R, p.key.G, p.key.B), shift));
        }
}

// Rows of pixels near the key as well as anywhere, so both sides of the
// window show, with random keys, tolerances and deltas.
template <class Check>
void ForRandomRows(Check check)
{
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> channel(0, 255);
    std::uniform_int_distribution<std::uint32_t> pixel;
    std::vector<std::uint32_t> row(1000);
    for (int round = 0; round < 2000; ++round) {
        const ArgbChannels key{channel(random), channel(random), channel(random), channel(random)};
        const std::int32_t t = round % 3 == 0 ? kTolerances[round / 3 % 7] : channel(random);
        const ChannelDeltas d{
            channel(random) - key.A, channel(random) - key.R, channel(random) - key.G, channel(random) - key.B};
        for (auto& v : row) {
            const std::uint32_t any = pixel(random);
            const std::uint32_t near = Pack(std::clamp(key.A + channel(random) % 61 - 30, 0, 255),
                std::clamp(key.R + channel(random) % 61 - 30, 0, 255),
                std::clamp(key.G + channel(random) % 61 - 30, 0, 255),
                std::clamp(key.B + channel(random) % 61 - 30, 0, 255));
            v = (any & 1) ? any : near;
        }
        check(PassParameters{key, t, d}, row);
    }
}

class KernelEquivalence : public testing_support::OnEachSimdPath { };
CHROMOBRISK_ON_EACH_SIMD_PATH(KernelEquivalence);

TEST_P(KernelEquivalence, SimpleRemovalForEveryChannelAndKey)
{
    ExpectSameForEveryChannelAndKey<SimpleRemovalKernel>(GreyKey);
}

TEST_P(KernelEquivalence, AlphaRestoringForEveryChannelAndKey)
{
    ExpectSameForEveryChannelAndKey<AlphaRestoringKernel>(MixedKey);
    ExpectSameForEveryChannelAndKey<PlainAlphaRestoringKernel>(MixedKey);
}

TEST_P(KernelEquivalence, ColorReplacementForEveryChannelAndKey)
{
    ExpectSameForEveryChannelAndKey<ColorReplacementKernel>(ReplacementKey);
    ExpectSameForEveryChannelAndKey<PlainColorReplacementKernel>(ReplacementKey);
}

TEST_P(KernelEquivalence, AlphaRestoringOverWholeColorCubes)
{
    // Tolerance 255 puts nearly the whole cube inside the window.
    std::vector<std::uint32_t> row(256);
    for (const ArgbChannels& key : {ArgbChannels{255, 0, 0, 0}, {255, 255, 255, 255}, {255, 128, 128, 128}}) {
        const PassParameters p{key, 255, {}};
        AlphaRestoringKernel kernel(p);
        for (int r = 0; r < 256; ++r)
            for (int g = 0; g < 256; ++g) {
                for (int b = 0; b < 256; ++b) row[static_cast<std::size_t>(b)] = Pack(255, r, g, b);
                ExpectSameOnRow(kernel, p, row);
            }
    }
}

TEST_P(KernelEquivalence, AlphaRestoringAroundKeysAtTheToleranceWhereItsCacheChangesShape)
{
    // Up to tolerance 64 every difference triple has its own slot; above, a
    // cache is shared. Pixels all over the window on both sides of that
    // (every third red and green, every blue).
    std::vector<std::uint32_t> row;
    for (const std::int32_t t : {64, 65})
        for (const ArgbChannels& key : {ArgbChannels{255, 0, 0, 0}, {255, 255, 255, 255}, {255, 100, 37, 220}}) {
            const PassParameters p{key, t, {}};
            AlphaRestoringKernel kernel(p);
            for (int r = std::max(0, key.R - t); r <= std::min(255, key.R + t); r += 3)
                for (int g = std::max(0, key.G - t); g <= std::min(255, key.G + t); g += 3) {
                    row.clear();
                    for (int b = std::max(0, key.B - t); b <= std::min(255, key.B + t); ++b)
                        row.push_back(Pack(255, r, g, b));
                    ExpectSameOnRow(kernel, p, row);
                }
        }
}

TEST_P(KernelEquivalence, RandomPixelsKeysAndTolerances)
{
    ForRandomRows([](const PassParameters& p, const std::vector<std::uint32_t>& row) {
        auto check = [&](auto kernel) { ExpectSameOnRow(kernel, p, row); };
        check(SimpleRemovalKernel(p));
        check(AlphaRestoringKernel(p));
        check(PlainAlphaRestoringKernel(p));
        check(ColorReplacementKernel(p));
        check(PlainColorReplacementKernel(p));
    });
}

TEST_P(KernelEquivalence, KernelsRunInPlace)
{
    std::mt19937 random(7);
    std::vector<std::uint32_t> source(1003);
    for (std::size_t i = 0; i < source.size(); ++i)
        source[i] = (i % 2) ? static_cast<std::uint32_t>(random()) : Pack(255, 10 + i % 7, 12, 9);
    auto check = [&](auto kernel) {
        std::vector<std::uint32_t> separate(source.size()), inPlace = source;
        kernel(source.data(), separate.data(), source.size());
        kernel(inPlace.data(), inPlace.data(), inPlace.size());
        EXPECT_EQ(inPlace, separate);
    };
    const PassParameters p{{255, 10, 12, 9}, 30, {0, 100, -12, 50}};
    check(SimpleRemovalKernel(p));
    check(AlphaRestoringKernel(p));
    check(ColorReplacementKernel(p));
}

TEST_P(KernelEquivalence, EveryRunLengthAndOffset)
{
    // Lengths and misalignments around the vector width.
    std::vector<std::uint32_t> source(40);
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = i % 3 ? Pack(255, 0, 0, 0) : Pack(200, 90, 10, 3);
    AlphaRestoringKernel kernel(PassParameters{{255, 0, 0, 0}, 30, {}});
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

// The one-pixel statements against the transcription, on the same pixels.

template <class Pass, class Reference>
void ExpectStatementOnRow(const PassParameters& p, const std::vector<std::uint32_t>& row, Reference reference)
{
    for (const std::uint32_t v : row) ASSERT_EQ(Painted<Pass>(v, p), reference(v)) << std::hex << "pixel 0x" << v;
}

template <class Pass, class KeyFor, class Reference>
void ExpectStatementForEveryChannelAndKey(KeyFor keyFor, Reference reference)
{
    for (std::int32_t t : kTolerances)
        for (int k = 0; k < 256; ++k) {
            const PassParameters p = keyFor(k, t);
            for (int shift : {0, 8, 16, 24})
                ExpectStatementOnRow<Pass>(p, Sweep(Pack(p.key.A, p.key.R, p.key.G, p.key.B), shift),
                    [&](std::uint32_t v) { return reference(v, p); });
        }
}

std::uint32_t ReferenceSimple(std::uint32_t v, const PassParameters& p)
{
    return reference::SimpleRemoval(v, p.key.R, p.key.G, p.key.B, p.tolerance);
}

std::uint32_t ReferenceAlpha(std::uint32_t v, const PassParameters& p)
{
    return reference::AlphaRestoringRemoval(v, p.key.R, p.key.G, p.key.B, p.tolerance);
}

std::uint32_t ReferenceReplacement(std::uint32_t v, const PassParameters& p)
{
    const ChannelDeltas& d = p.deltas;
    return reference::ColorReplacement(
        v, p.key.A, p.key.R, p.key.G, p.key.B, d.alpha, d.red, d.green, d.blue, p.tolerance);
}

TEST(OnePixelStatements, AgreeWithTheTranscriptionForEveryChannelAndKey)
{
    ExpectStatementForEveryChannelAndKey<SimpleRemovalPass>(GreyKey, ReferenceSimple);
    ExpectStatementForEveryChannelAndKey<AlphaRestoringRemovalPass>(MixedKey, ReferenceAlpha);
    ExpectStatementForEveryChannelAndKey<ColorReplacementPass>(ReplacementKey, ReferenceReplacement);
}

TEST(OnePixelStatements, AlphaRestoringAgreesWithTheTranscriptionOverWholeColorCubes)
{
    std::vector<std::uint32_t> row(256);
    for (const ArgbChannels& key : {ArgbChannels{255, 0, 0, 0}, {255, 255, 255, 255}, {255, 128, 128, 128}}) {
        const PassParameters p{key, 255, {}};
        for (int r = 0; r < 256; ++r)
            for (int g = 0; g < 256; ++g) {
                for (int b = 0; b < 256; ++b) row[static_cast<std::size_t>(b)] = Pack(255, r, g, b);
                ExpectStatementOnRow<AlphaRestoringRemovalPass>(
                    p, row, [&](std::uint32_t v) { return ReferenceAlpha(v, p); });
            }
    }
}

TEST(OnePixelStatements, AgreeWithTheTranscriptionOnRandomPixels)
{
    ForRandomRows([](const PassParameters& p, const std::vector<std::uint32_t>& row) {
        ExpectStatementOnRow<SimpleRemovalPass>(p, row, [&](std::uint32_t v) { return ReferenceSimple(v, p); });
        ExpectStatementOnRow<AlphaRestoringRemovalPass>(p, row, [&](std::uint32_t v) { return ReferenceAlpha(v, p); });
        ExpectStatementOnRow<ColorReplacementPass>(p, row, [&](std::uint32_t v) { return ReferenceReplacement(v, p); });
    });
}

} // namespace
} // namespace passes
