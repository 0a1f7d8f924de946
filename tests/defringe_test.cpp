// Simple removal with its fringe un-blended from the key, against the steps
// transcribed pixel by pixel (reference_passes.h) over the pass's own
// result: random images and keys (channels of 0 and 255 among them), global
// and connected, the whole image at once and in bands of any height, on
// every instruction-set path.
#include "passes/connected_pass_command.h"
#include "passes/defringed_removal.h"

#include "pass_test_support.h"
#include "reference_passes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace passes {
namespace {

using testing_support::PixelBuffer;

Channel RandomKeyChannel(std::mt19937& random)
{
    switch (random() % 4) {
    case 0: return 0;
    case 1: return 255;
    default: return static_cast<Channel>(random() % 256);
    }
}

PassParameters RandomParameters(std::mt19937& random)
{
    PassParameters p;
    p.key = {255, RandomKeyChannel(random), RandomKeyChannel(random), RandomKeyChannel(random)};
    p.tolerance = random() % 8 == 0 ? 0 : 1 + static_cast<std::int32_t>(random() % 40);
    return p;
}

Channel Near(std::mt19937& random, Channel key, std::int32_t tolerance)
{
    const std::int32_t reach = std::max(0, tolerance - 1);
    return std::clamp(key - reach + static_cast<Channel>(random() % static_cast<unsigned>(2 * reach + 1)), 0, 255);
}

// Blobs of background (the key within the tolerance), ink of any color, and
// soft edges between them: ink blended into the key. Alpha mostly opaque,
// now and then partial or 0.
PixelBuffer RandomImage(std::mt19937& random, const PassParameters& p)
{
    const std::int32_t widths[] = {1, 2, 5, 31, 32, 33, 64, 65, 97};
    const std::int32_t heights[] = {1, 2, 3, 9, 17, 30};
    PixelBuffer image(widths[random() % std::size(widths)], heights[random() % std::size(heights)]);
    const int block = 1 + static_cast<int>(random() % 4);
    const double background = std::uniform_real_distribution<double>(0.2, 0.8)(random);
    std::vector<char> cells(
        static_cast<std::size_t>(image.width / block + 1) * static_cast<std::size_t>(image.height / block + 1));
    for (char& cell : cells) cell = std::bernoulli_distribution(background)(random);
    for (std::int32_t y = 0; y < image.height; ++y)
        for (std::int32_t x = 0; x < image.width; ++x) {
            const bool isBackground =
                cells[static_cast<std::size_t>(y / block) * static_cast<std::size_t>(image.width / block + 1)
                    + static_cast<std::size_t>(x / block)];
            const int kind = static_cast<int>(random() % 10);
            Channel a = kind == 0 ? 0 : kind == 1 ? static_cast<Channel>(random() % 256) : 255;
            Channel r, g, b;
            if (isBackground && kind < 8) {
                r = Near(random, p.key.R, p.tolerance), g = Near(random, p.key.G, p.tolerance),
                b = Near(random, p.key.B, p.tolerance);
            } else {
                const double coverage = kind < 5 ? 1.0 : std::uniform_real_distribution<double>(0, 1)(random);
                const auto blend = [&](Channel key) {
                    return static_cast<Channel>(
                        std::lround(coverage * static_cast<double>(random() % 256) + (1 - coverage) * key));
                };
                r = blend(p.key.R), g = blend(p.key.G), b = blend(p.key.B);
            }
            image.at(x, y) = static_cast<std::uint32_t>(MakeArgb(a, r, g, b));
        }
    return image;
}

// What the pass alone paints: globally, or connected to the border.
std::vector<std::uint32_t> PassResult(PixelBuffer& image, const PassParameters& p, bool connected)
{
    PixelBuffer out(image.width, image.height, 0xDEADBEEFu);
    if (connected) {
        RunConnectedPassCommand(kSimpleRemoval, image.view(), out.view(), p.key, p.tolerance, {});
    } else {
        for (std::size_t i = 0; i < image.pixels.size(); ++i)
            out.pixels[i] = reference::SimpleRemoval(image.pixels[i], p.key.R, p.key.G, p.key.B, p.tolerance);
    }
    return out.pixels;
}

std::vector<std::uint32_t> Expected(PixelBuffer& image, const PassParameters& p, bool connected, int radius)
{
    return reference::Defringe(
        image.pixels, PassResult(image, p, connected), image.width, image.height, p.key.R, p.key.G, p.key.B, radius);
}

// The whole image at once, into another image.
std::vector<std::uint32_t> Whole(PixelBuffer& image, const PassParameters& p, bool connected, int radius)
{
    PixelBuffer out(image.width, image.height, 0xDEADBEEFu);
    if (connected)
        RunConnectedPassCommand(kSimpleRemoval, image.view(), out.view(), p.key, p.tolerance, {}, {}, radius);
    else
        RunDefringedRemoval(image.view(), out.view(), p, radius);
    return out.pixels;
}

// As a stream goes: bands of 1 to 7 rows copied into a buffer, changed in
// place there, the rows not painted yet moved to its top for the next band.
std::vector<std::uint32_t> Banded(PixelBuffer& image, const PassParameters& p, int radius, std::mt19937& random)
{
    const std::int32_t width = image.width, height = image.height;
    const auto row = [width](std::int32_t y) { return static_cast<std::size_t>(y) * static_cast<std::size_t>(width); };
    DefringedRemoval removal(width, height, p, radius);
    std::vector<std::uint32_t> out(image.pixels.size(), 0xDEADBEEFu), band;
    std::int32_t held = 0, next = 0;
    while (removal.rowsFinished() < height) {
        const std::int32_t fresh = std::min(height - next, 1 + static_cast<std::int32_t>(random() % 7));
        band.resize(row(held + fresh));
        std::copy(image.pixels.begin() + static_cast<std::ptrdiff_t>(row(next)),
            image.pixels.begin() + static_cast<std::ptrdiff_t>(row(next + fresh)),
            band.begin() + static_cast<std::ptrdiff_t>(row(held)));
        next += fresh;
        const std::int32_t firstRow = removal.rowsFinished();
        const PixelView view{band.data(), width, width, held + fresh};
        const std::int32_t painted = removal.run(view, view);
        EXPECT_LE(held + fresh - painted, next == height ? 0 : radius + 1) << "rows held back";
        std::copy(band.begin(), band.begin() + static_cast<std::ptrdiff_t>(row(painted)),
            out.begin() + static_cast<std::ptrdiff_t>(row(firstRow)));
        band.erase(band.begin(), band.begin() + static_cast<std::ptrdiff_t>(row(painted)));
        held = held + fresh - painted;
    }
    return out;
}

class Defringe : public testing_support::OnEachSimdPath { };

TEST_P(Defringe, EveryPixelAsTheStepsSayWholeOrInBandsGlobalOrConnected)
{
    std::mt19937 random(2024);
    std::size_t fringePixels = 0, translucentFringe = 0;
    for (int round = 0; round < 90; ++round) {
        SCOPED_TRACE(round);
        const PassParameters p = RandomParameters(random);
        PixelBuffer image = RandomImage(random, p);
        for (const int radius : {1, 2, 5, 16}) {
            SCOPED_TRACE(radius);
            for (const bool connected : {false, true}) {
                SCOPED_TRACE(connected ? "connected" : "global");
                const std::vector<std::uint32_t> expected = Expected(image, p, connected, radius);
                ASSERT_EQ(Whole(image, p, connected, radius), expected);
                if (!connected) {
                    ASSERT_EQ(Banded(image, p, radius, random), expected);
                }
                const std::vector<std::uint32_t> passed = PassResult(image, p, connected);
                for (std::size_t i = 0; i < expected.size(); ++i)
                    if (expected[i] != passed[i]) {
                        ++fringePixels;
                        translucentFringe += (image.pixels[i] >> 24) < 255;
                    }
            }
            // In place, as the batch tool runs it.
            PixelBuffer inPlace = image;
            RunDefringedRemoval(inPlace.view(), inPlace.view(), p, radius);
            ASSERT_EQ(inPlace.pixels, Expected(image, p, false, radius));
        }
    }
    EXPECT_GT(fringePixels, 10000u); // the images met the case often
    EXPECT_GT(translucentFringe, 500u);
}

// Composited back over the key, a fringe pixel looks as its source pixel
// did there: within 1 on each channel.
TEST_P(Defringe, FringeOverTheKeyLooksAsTheSourceDid)
{
    std::mt19937 random(77);
    const auto overKey = [](std::uint32_t pixel, Channel key, int shift) {
        const double alpha = (pixel >> 24) / 255.0, channel = (pixel >> shift) & 0xFF;
        return alpha * channel + (1 - alpha) * key;
    };
    std::size_t checked = 0;
    for (int round = 0; round < 60; ++round) {
        const PassParameters p = RandomParameters(random);
        PixelBuffer image = RandomImage(random, p);
        const std::vector<std::uint32_t> passed = PassResult(image, p, false), out = Whole(image, p, false, 2);
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (out[i] == passed[i]) continue;
            ++checked;
            const Channel keys[] = {p.key.R, p.key.G, p.key.B};
            for (int c = 0; c < 3; ++c) {
                const int shift = 16 - 8 * c;
                EXPECT_NEAR(overKey(out[i], keys[c], shift), overKey(image.pixels[i], keys[c], shift), 1.0 + 1e-9)
                    << std::hex << image.pixels[i] << " became " << out[i];
            }
        }
    }
    EXPECT_GT(checked, 1000u);
}

CHROMOBRISK_ON_EACH_SIMD_PATH(Defringe);

// An opaque image of random colors far from a white key.
PixelBuffer Opaque(std::int32_t width, std::int32_t height, std::mt19937& random)
{
    PixelBuffer image(width, height);
    for (std::uint32_t& pixel : image.pixels) pixel = 0xFF000000u | (random() & 0x7F7F7Fu);
    return image;
}

TEST(DefringeEdges, BorderImageSmallerThanTheDistanceNothingOrEverythingRemoved)
{
    std::mt19937 random(5);
    const PassParameters white{{255, 255, 255, 255}, 30, {}};
    const KeyUnblend unblend(white.key);

    // A removed corner pixel: its fringe is the square around it cut by the border.
    for (const int radius : {1, 2}) {
        PixelBuffer image = Opaque(6, 5, random);
        image.at(0, 0) = 0xFFFFFFFFu;
        PixelBuffer out = image;
        RunDefringedRemoval(out.view(), out.view(), white, radius);
        for (std::int32_t y = 0; y < 5; ++y)
            for (std::int32_t x = 0; x < 6; ++x) {
                const std::uint32_t expected = x == 0 && y == 0 ? 0u
                    : x <= radius && y <= radius                ? unblend(image.at(x, y))
                                                                : image.at(x, y);
                EXPECT_EQ(out.at(x, y), expected) << radius << ": " << x << "," << y;
            }
    }

    // The distance beyond the image: every pixel kept is fringe.
    {
        PixelBuffer image = Opaque(16, 3, random);
        image.at(15, 2) = 0xFFFAFAFAu;
        PixelBuffer out = image;
        RunDefringedRemoval(out.view(), out.view(), white, 16);
        for (std::size_t i = 0; i + 1 < image.pixels.size(); ++i) EXPECT_EQ(out.pixels[i], unblend(image.pixels[i]));
        EXPECT_EQ(out.pixels.back(), 0u);
    }

    // Nothing removed: the pass's result, which keeps every pixel.
    {
        PixelBuffer image = Opaque(70, 9, random);
        PixelBuffer out = image;
        RunDefringedRemoval(out.view(), out.view(), white, 5);
        EXPECT_EQ(out.pixels, image.pixels);
    }

    // Everything removed: nothing is left to un-blend.
    {
        PixelBuffer image(33, 7, 0xFFF0F8FFu);
        image.at(3, 3) = 0x00123456u; // removed for its alpha
        PixelBuffer out(33, 7, 0xDEADBEEFu);
        RunDefringedRemoval(image.view(), out.view(), white, 3);
        EXPECT_EQ(out.pixels, std::vector<std::uint32_t>(out.pixels.size(), 0u));
    }
}

} // namespace
} // namespace passes
