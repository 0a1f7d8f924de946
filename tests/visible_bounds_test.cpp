// The trim rectangle against the smallest box around every pixel with alpha
// above 0, found by looking at each pixel, for every shape of image.
#include "passes/visible_bounds.h"

#include "pass_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace passes {
namespace {

using testing_support::PixelBuffer;

PixelRect BoxOfVisible(PixelBuffer& image)
{
    std::int32_t left = image.width, top = image.height, right = -1, bottom = -1;
    for (std::int32_t y = 0; y < image.height; ++y)
        for (std::int32_t x = 0; x < image.width; ++x)
            if (image.at(x, y) >> 24) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    if (right < 0) return {};
    return {left, top, right - left + 1, bottom - top + 1};
}

TEST(VisibleBounds, AgreesWithLookingAtEveryPixelForEveryShape)
{
    std::mt19937 random(99);
    const std::int32_t sizes[] = {1, 2, 3, 8, 33};
    int checked = 0;
    for (const std::int32_t width : sizes)
        for (const std::int32_t height : sizes)
            for (int round = 0; round < 40; ++round) {
                // Invisible pixels keep their colour (alpha 0 with color bits set
                // is still invisible); a few visible ones, each as faint as 1.
                PixelBuffer image(width, height, round % 2 ? 0x00FFFFFFu : 0u);
                const int visible = round % 10 == 0 ? 0 : 1 + static_cast<int>(random() % 4);
                for (int i = 0; i < visible; ++i)
                    image.at(static_cast<std::int32_t>(random() % static_cast<unsigned>(width)),
                        static_cast<std::int32_t>(random() % static_cast<unsigned>(height))) = (1 + random() % 255)
                        << 24;
                const PixelRect expected = BoxOfVisible(image);
                EXPECT_EQ(VisibleBounds(image.view()), expected) << width << " x " << height << " round " << round;
                EXPECT_EQ(expected.empty(), visible == 0);
                ++checked;
            }
    EXPECT_EQ(checked, 25 * 40);

    // Whole images, one pixel, and a strided view of a larger buffer.
    PixelBuffer full(5, 1, 0xFF000000u);
    EXPECT_EQ(VisibleBounds(full.view()), (PixelRect{0, 0, 5, 1}));
    PixelBuffer column(1, 6, 0);
    column.at(0, 4) = 0x01000000u;
    EXPECT_EQ(VisibleBounds(column.view()), (PixelRect{0, 4, 1, 1}));
    PixelBuffer wide(10, 4, 0);
    wide.at(9, 0) = 0xFF000000u; // outside the view below
    wide.at(2, 2) = 0x80000000u;
    const ConstPixelView part{wide.pixels.data(), 10, 6, 4};
    EXPECT_EQ(VisibleBounds(part), (PixelRect{2, 2, 1, 1}));
    EXPECT_TRUE(VisibleBounds(ConstPixelView{}).empty());
}

} // namespace
} // namespace passes
