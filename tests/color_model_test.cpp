#include "passes/color_model.h"

#include <gtest/gtest.h>

namespace passes {
namespace {

constexpr Argb Pattern(std::uint32_t bits) { return static_cast<Argb>(bits); }

TEST(MakeArgb, PacksAlphaRedGreenBlueIntoTheSignedPattern)
{
    EXPECT_EQ(MakeArgb(255, 18, 52, 86), Pattern(0xFF123456u));
    EXPECT_EQ(MakeArgb(255, 18, 52, 86), -15584170);
    EXPECT_EQ(MakeArgb(128, 0, 0, 0), Pattern(0x80000000u));
    EXPECT_EQ(MakeArgb(128, 0, 0, 0), INT32_MIN);
    EXPECT_EQ(MakeArgb(127, 255, 255, 255), 0x7FFFFFFF);
    EXPECT_EQ(MakeArgb(0, 0, 0, 0), 0);
    EXPECT_EQ(MakeArgb(255, 0, 0, 0), -16777216); // not saturated to 0x7FFFFFFF
    static_assert(MakeArgb(255, 255, 255, 255) == -1, "usable in constant expressions");
}

TEST(SplitArgb, TakesTheChannelsApartByBytePosition)
{
    Channel a = -1, r = -1, g = -1, b = -1;
    SplitArgb(Pattern(0x80FF4020u), a, r, g, b);
    EXPECT_EQ(a, 128);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 64);
    EXPECT_EQ(b, 32);

    Channel r3 = -1, g3 = -1, b3 = -1;
    SplitArgbRgb(Pattern(0x00FF4020u), r3, g3, b3);
    EXPECT_EQ(r3, 255);
    EXPECT_EQ(g3, 64);
    EXPECT_EQ(b3, 32);
}

TEST(SplitArgb, InvertsMakeArgbForEveryChannelValue)
{
    // Each channel runs through all 256 values while the others vary too, so
    // every byte position sees every value, including the sign bit.
    for (int v = 0; v < 256; ++v) {
        const Channel in[4] = {v, 255 - v, (v * 7) & 255, (v * 131 + 17) & 255};
        for (int rotation = 0; rotation < 4; ++rotation) {
            const Channel a0 = in[rotation % 4], r0 = in[(rotation + 1) % 4], g0 = in[(rotation + 2) % 4],
                          b0 = in[(rotation + 3) % 4];
            Channel a, r, g, b;
            SplitArgb(MakeArgb(a0, r0, g0, b0), a, r, g, b);
            ASSERT_EQ(a, a0);
            ASSERT_EQ(r, r0);
            ASSERT_EQ(g, g0);
            ASSERT_EQ(b, b0);
        }
    }
}

TEST(SplitOleColor, ReadsRedFromTheLowByte)
{
    Channel r, g, b;
    SplitOleColor(0x00123456u, r, g, b);
    EXPECT_EQ(r, 86);
    EXPECT_EQ(g, 52);
    EXPECT_EQ(b, 18);
    SplitOleColor(0x00FF8080u, r, g, b);
    EXPECT_EQ(r, 128);
    EXPECT_EQ(g, 128);
    EXPECT_EQ(b, 255);
    EXPECT_EQ(MakeOleColor(128, 128, 255), 0x00FF8080u);
}

TEST(SplitOleColor, SystemColorsKeepTheSignedRemainderRule)
{
    Channel r, g, b;
    SplitOleColor(0x8000000Fu, r, g, b);
    EXPECT_EQ(r, 241);
    EXPECT_EQ(g, 0);
    EXPECT_EQ(b, 0);
    SplitOleColor(0x80000100u, r, g, b); // low byte 0: remainder 0
    EXPECT_EQ(r, 0);
    EXPECT_EQ(g, 1);
}

TEST(AddClamped, ClampsTheSumToTheChannelRange)
{
    struct Case {
        Channel channel;
        std::int32_t delta;
        Channel expected;
    };
    const Case cases[] = {{250, 10, 255}, {5, -10, 0}, {255, -255, 0}, {0, 255, 255}, {100, 0, 100}, {128, 127, 255},
        {128, -128, 0}, {10, -9, 1}};
    for (const Case& c : cases) {
        Channel channel = c.channel;
        AddClamped(channel, c.delta);
        EXPECT_EQ(channel, c.expected) << c.channel << " + " << c.delta;
    }
}

TEST(ClsARGB, CopiesTheBytesInLittleEndianOrder)
{
    ArgbBytes bytes;
    ClsARGB::ToArgbBytes(0x11223344, bytes);
    EXPECT_EQ(bytes.blue, 0x44);
    EXPECT_EQ(bytes.green, 0x33);
    EXPECT_EQ(bytes.red, 0x22);
    EXPECT_EQ(bytes.alpha, 0x11);
    ClsARGB::ToArgbBytes(Pattern(0xFE000001u), bytes);
    EXPECT_EQ(bytes.alpha, 0xFE);
    EXPECT_EQ(bytes.blue, 0x01);
}

} // namespace
} // namespace passes
