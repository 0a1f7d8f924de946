// The parameters every pass shares: the tolerance's range and starting value,
// the deltas of color replacement, and the plain key window.
#include "passes/pass_parameters.h"

#include <gtest/gtest.h>

namespace passes {
namespace {

TEST(Tolerance, StartsAt30AndRangesOver0To255)
{
    EXPECT_EQ(kTolerance.initial, 30);
    EXPECT_EQ(kTolerance.minimum, 0);
    EXPECT_EQ(kTolerance.maximum, 255);
    EXPECT_EQ(kTolerance.clamp(-1), 0);
    EXPECT_EQ(kTolerance.clamp(256), 255);
    EXPECT_EQ(kTolerance.clamp(17), 17);
}

TEST(DeltasOnto, CarryTheKeyOntoTheReplacement)
{
    EXPECT_EQ(DeltasOnto({255, 200, 100, 50}, {255, 10, 20, 30}), (ChannelDeltas{0, -190, -80, -20}));
    EXPECT_EQ(DeltasOnto({0, 0, 0, 0}, {255, 255, 255, 255}), (ChannelDeltas{255, 255, 255, 255}));
}

TEST(InKeyWindow, IsStrictAndComparesAlphaOnlyWhenAsked)
{
    const PassParameters white{{255, 255, 255, 255}, 30, {}};
    EXPECT_TRUE(InKeyWindow(0xFFE6FAFFu, white, ComparedChannels::RedGreenBlue)); // red 29 away
    EXPECT_FALSE(InKeyWindow(0xFFE1FAFFu, white, ComparedChannels::RedGreenBlue)); // red 30 away
    EXPECT_TRUE(InKeyWindow(0x80FFFFFFu, white, ComparedChannels::RedGreenBlue));
    EXPECT_FALSE(InKeyWindow(0x80FFFFFFu, white, ComparedChannels::All)); // alpha 127 away
    EXPECT_TRUE(InKeyWindow(0xE2FFFFFFu, white, ComparedChannels::All)); // alpha 29 away
    EXPECT_FALSE(InKeyWindow(0xFFFFFFFFu, {{255, 255, 255, 255}, 0, {}}, ComparedChannels::All));
}

} // namespace
} // namespace passes
