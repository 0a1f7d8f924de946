// The connected variant of each pass against a plain queue-based fill over
// the pass's own one-pixel test (InKeyWindow over its compared channels), on
// random images built to hold islands, holes, diagonal-only contacts and
// regions on every border. Inside the region every pixel must be what the
// whole-image pass paints; outside it, what the pass paints with a tolerance
// that matches nothing. On every instruction-set path.
#include "passes/connected_pass_command.h"
#include "passes/pass_command.h"

#include "pass_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <queue>
#include <random>
#include <vector>

namespace passes {
namespace {

using testing_support::PixelBuffer;

struct Case {
    const char* name;
    std::int32_t command;
    ComparedChannels compared;
    ArgbChannels key;
    std::int32_t tolerance;
    ArgbChannels replacement;
};

// A dark key for alpha-restoring, so inside pixels keep partial alpha.
const Case kCases[] = {
    {"simple", kSimpleRemoval, ComparedChannels::RedGreenBlue, {255, 255, 255, 255}, 30, {}},
    {"alpha", kAlphaRestoringRemoval, ComparedChannels::RedGreenBlue, {200, 20, 30, 40}, 25, {}},
    {"replace", kColorReplacement, ComparedChannels::All, {200, 20, 30, 40}, 20, {90, 10, 200, 30}},
};

PassParameters ParametersOf(const Case& c) { return {c.key, c.tolerance, DeltasOnto(c.key, c.replacement)}; }

bool Matches(const Case& c, std::uint32_t pixel) { return InKeyWindow(pixel, ParametersOf(c), c.compared); }

// A pixel within the tolerance on every compared channel, or one that misses
// on a single compared channel (by exactly the tolerance, or by more), the
// others anything near or far. Alpha is free where it is not compared.
std::uint32_t RandomPixel(std::mt19937& random, const Case& c, bool match)
{
    const std::int32_t t = c.tolerance;
    std::array<int, 4> key = {c.key.A, c.key.R, c.key.G, c.key.B}, channel{};
    const int first = c.compared == ComparedChannels::All ? 0 : 1;
    for (int i = 0; i < 4; ++i) {
        std::uniform_int_distribution<int> near(std::max(0, key[i] - t + 1), std::min(255, key[i] + t - 1));
        channel[i] = i < first ? static_cast<int>(random() & 255) : near(random);
    }
    if (!match) {
        const int off = first + static_cast<int>(random() % static_cast<unsigned>(4 - first));
        const int k = key[off];
        const int pick = static_cast<int>(random() % 3);
        if (pick == 0 && k - t >= 0)
            channel[off] = k - t;
        else if (pick == 1 && k + t <= 255)
            channel[off] = k + t;
        else
            channel[off] = k >= 128 ? static_cast<int>(random() % static_cast<unsigned>(k - t + 1))
                                    : k + t + static_cast<int>(random() % static_cast<unsigned>(256 - k - t));
    }
    return static_cast<std::uint32_t>(MakeArgb(channel[0], channel[1], channel[2], channel[3]));
}

// Blocks of 1 to 3 pixels, matching with a density around the point where
// regions stop spanning the image: many islands, holes and diagonal-only
// contacts. Widths around the 32-pixel words of the masks.
PixelBuffer RandomImage(std::mt19937& random, const Case& c)
{
    const std::int32_t widths[] = {1, 2, 31, 32, 33, 40, 64, 65, 97};
    const std::int32_t heights[] = {1, 2, 3, 17, 30, 41};
    const std::int32_t width = widths[random() % std::size(widths)], height = heights[random() % std::size(heights)];
    const int block = 1 + static_cast<int>(random() % 3);
    const double density = std::uniform_real_distribution<double>(0.45, 0.72)(random);
    std::vector<char> cells(static_cast<std::size_t>(width / block + 1) * static_cast<std::size_t>(height / block + 1));
    for (char& cell : cells) cell = std::bernoulli_distribution(density)(random);
    PixelBuffer image(width, height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            image.at(x, y) = RandomPixel(random, c,
                cells[static_cast<std::size_t>(y / block) * static_cast<std::size_t>(width / block + 1)
                    + static_cast<std::size_t>(x / block)]);
    return image;
}

// The reference: breadth first over the 4-neighbourhood from every seed
// that matches.
std::vector<char> QueueFill(PixelBuffer& image, const Case& c, const std::vector<PixelPoint>& seeds)
{
    std::vector<char> region(image.pixels.size(), 0);
    std::queue<PixelPoint> queue;
    auto visit = [&](std::int32_t x, std::int32_t y) {
        if (x < 0 || y < 0 || x >= image.width || y >= image.height) return;
        char& in =
            region[static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) + static_cast<std::size_t>(x)];
        if (in || !Matches(c, image.at(x, y))) return;
        in = 1;
        queue.push({x, y});
    };
    for (const PixelPoint& seed : seeds) visit(seed.x, seed.y);
    while (!queue.empty()) {
        const PixelPoint p = queue.front();
        queue.pop();
        visit(p.x - 1, p.y);
        visit(p.x + 1, p.y);
        visit(p.x, p.y - 1);
        visit(p.x, p.y + 1);
    }
    return region;
}

std::vector<PixelPoint> Border(const PixelBuffer& image)
{
    std::vector<PixelPoint> border;
    for (std::int32_t y = 0; y < image.height; ++y)
        for (std::int32_t x = 0; x < image.width; ++x)
            if (x == 0 || y == 0 || x == image.width - 1 || y == image.height - 1) border.push_back({x, y});
    return border;
}

// The whole-image pass where the region is, the pass with a tolerance that
// matches nothing elsewhere.
std::vector<std::uint32_t> Expected(PixelBuffer& image, const Case& c, const std::vector<char>& region)
{
    auto whole = [&](std::int32_t tolerance) {
        PixelBuffer out(image.width, image.height, 0xDEADBEEFu);
        RunPassCommand(
            c.command, {image.view(), out.view(), {}}, image.width, image.height, c.key, tolerance, c.replacement);
        return out.pixels;
    };
    const std::vector<std::uint32_t> inside = whole(c.tolerance), outside = whole(0);
    std::vector<std::uint32_t> expected(region.size());
    for (std::size_t i = 0; i < region.size(); ++i) expected[i] = region[i] ? inside[i] : outside[i];
    return expected;
}

// What the random images held, so the test knows it met each kind of shape.
struct Shapes {
    bool island = false; // matching pixels cut off from the start
    bool hole = false; // non-matching pixels enclosed by the region
    bool diagonal = false; // a region pixel touching a cut-off one only at a corner
    std::array<bool, 4> borders{}; // the region on the top, bottom, left and right border

    void record(PixelBuffer& image, const Case& c, const std::vector<char>& region)
    {
        const std::int32_t w = image.width, h = image.height;
        auto in = [&](std::int32_t x, std::int32_t y) {
            return x >= 0 && y >= 0 && x < w && y < h && region[static_cast<std::size_t>(y * w + x)];
        };
        auto matching = [&](std::int32_t x, std::int32_t y) {
            return x >= 0 && y >= 0 && x < w && y < h && Matches(c, image.at(x, y));
        };
        for (std::int32_t y = 0; y < h; ++y)
            for (std::int32_t x = 0; x < w; ++x) {
                if (matching(x, y) && !in(x, y)) island = true;
                if (!matching(x, y) && in(x - 1, y) && in(x + 1, y) && in(x, y - 1) && in(x, y + 1)) hole = true;
                for (const std::int32_t dy : {-1, 1})
                    if (in(x, y) && matching(x + 1, y + dy) && !in(x + 1, y + dy) && !matching(x + 1, y)
                        && !matching(x, y + dy))
                        diagonal = true;
                if (in(x, y)) {
                    borders[0] = borders[0] || (y == 0 && h > 2);
                    borders[1] = borders[1] || (y == h - 1 && h > 2);
                    borders[2] = borders[2] || (x == 0 && w > 2);
                    borders[3] = borders[3] || (x == w - 1 && w > 2);
                }
            }
    }

    void expectAllSeen(const char* name) const
    {
        EXPECT_TRUE(island) << name;
        EXPECT_TRUE(hole) << name;
        EXPECT_TRUE(diagonal) << name;
        for (int side = 0; side < 4; ++side)
            EXPECT_TRUE(borders[static_cast<std::size_t>(side)]) << name << " side " << side;
    }
};

std::size_t Count(const std::vector<char>& region)
{
    return static_cast<std::size_t>(std::count(region.begin(), region.end(), 1));
}

class ConnectedPass : public testing_support::OnEachSimdPath { };

TEST_P(ConnectedPass, FromTheBorderAgreesWithAQueueFillAndRunsInPlace)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        std::mt19937 random(12345);
        Shapes shapes;
        for (int round = 0; round < 60; ++round) {
            SCOPED_TRACE(round);
            PixelBuffer image = RandomImage(random, c);
            const std::vector<char> region = QueueFill(image, c, Border(image));
            shapes.record(image, c, region);
            const std::vector<std::uint32_t> expected = Expected(image, c, region);

            PixelBuffer out(image.width, image.height, 0xDEADBEEFu);
            const ConnectedRun run =
                RunConnectedPassCommand(c.command, image.view(), out.view(), c.key, c.tolerance, c.replacement);
            EXPECT_EQ(run.outcome, ConnectedRun::Outcome::Completed);
            EXPECT_EQ(run.regionPixels, Count(region));
            ASSERT_EQ(out.pixels, expected) << image.width << " x " << image.height;

            RunConnectedPassCommand(c.command, image.view(), image.view(), c.key, c.tolerance, c.replacement);
            ASSERT_EQ(image.pixels, expected) << "in place";
        }
        shapes.expectAllSeen(c.name);
    }
}

TEST_P(ConnectedPass, FromSeedsAgreesWithAQueueFillAndRefusesBadSeeds)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        std::mt19937 random(777);
        for (int round = 0; round < 60; ++round) {
            SCOPED_TRACE(round);
            PixelBuffer image = RandomImage(random, c);
            std::vector<PixelPoint> matching, other;
            for (std::int32_t y = 0; y < image.height; ++y)
                for (std::int32_t x = 0; x < image.width; ++x)
                    (Matches(c, image.at(x, y)) ? matching : other).push_back({x, y});
            if (matching.empty()) continue;
            // One to three seeds, a repeated one among them at times.
            std::vector<PixelPoint> seeds;
            for (std::size_t n = 1 + random() % 3; seeds.size() < n;)
                seeds.push_back(matching[random() % matching.size()]);
            if (round % 4 == 0) seeds.push_back(seeds.front());
            const std::vector<char> region = QueueFill(image, c, seeds);
            PixelBuffer out(image.width, image.height, 0xDEADBEEFu);
            const ConnectedRun run =
                RunConnectedPassCommand(c.command, image.view(), out.view(), c.key, c.tolerance, c.replacement, seeds);
            EXPECT_EQ(run.outcome, ConnectedRun::Outcome::Completed);
            EXPECT_EQ(run.regionPixels, Count(region));
            ASSERT_EQ(out.pixels, Expected(image, c, region));

            // A bad seed after good ones is named by its place; nothing is painted.
            std::vector<PixelPoint> bad = seeds;
            const std::size_t at = bad.size();
            const PixelPoint outside[] = {{image.width, 0}, {0, image.height}, {-1, 0}, {0, -1}};
            bad.push_back(outside[round % 4]);
            PixelBuffer untouched(image.width, image.height, 0xDEADBEEFu);
            ConnectedRun refused = RunConnectedPassCommand(
                c.command, image.view(), untouched.view(), c.key, c.tolerance, c.replacement, bad);
            EXPECT_EQ(refused.outcome, ConnectedRun::Outcome::SeedOutside);
            EXPECT_EQ(refused.seed, at);
            if (!other.empty()) {
                bad.back() = other[random() % other.size()];
                refused = RunConnectedPassCommand(
                    c.command, image.view(), untouched.view(), c.key, c.tolerance, c.replacement, bad);
                EXPECT_EQ(refused.outcome, ConnectedRun::Outcome::SeedNotMatching);
                EXPECT_EQ(refused.seed, at);
            }
            EXPECT_EQ(untouched.pixels, PixelBuffer(image.width, image.height, 0xDEADBEEFu).pixels);
        }
    }
}

CHROMOBRISK_ON_EACH_SIMD_PATH(ConnectedPass);

} // namespace
} // namespace passes
