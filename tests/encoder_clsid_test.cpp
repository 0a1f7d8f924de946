#include "imaging/encoder_clsid.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using mGdip::ClassId;
using mGdip::EncoderClsid;
using mGdip::ParseClassId;

TEST(EncoderClsid, PngIdentifierHasTheRegisteredFields)
{
    const ClassId png = EncoderClsid(mGdip::kFormatPng);
    EXPECT_EQ(png.data1, 0x557CF406u);
    EXPECT_EQ(png.data2, 0x1A04u);
    EXPECT_EQ(png.data3, 0x11D3u);
    const std::array<std::uint8_t, 8> data4{0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E};
    EXPECT_EQ(png.data4, data4);
}

TEST(EncoderClsid, EveryKnownCodeGivesADistinctIdentifierOfTheFamily)
{
    // The encoders differ only in the last byte of data1: 0x557CF400 + n.
    const std::uint32_t expectedLowByte[] = {0x00, 0x03, 0x04, 0x01, 0x06, 0x02, 0x05, 0x07};
    std::set<std::uint32_t> seen;
    for (std::int32_t code = mGdip::kFormatBmp; code <= mGdip::kFormatIcon; ++code) {
        SCOPED_TRACE(code);
        const ClassId id = EncoderClsid(code);
        EXPECT_NE(id, ClassId{});
        EXPECT_EQ(id.data1, 0x557CF400u + expectedLowByte[code]);
        EXPECT_EQ(id.data2, 0x1A04u);
        EXPECT_EQ(id.data3, 0x11D3u);
        EXPECT_EQ(id.data4[7], 0x2E);
        seen.insert(id.data1);
    }
    EXPECT_EQ(seen.size(), 8u);
}

TEST(EncoderClsid, CodesOutsideTheTableGiveAllZeros)
{
    for (const std::int32_t code : {-1, 8, 100, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(EncoderClsid(code), ClassId{});
    }
}

TEST(ParseClassId, ReadsEveryFieldInEitherCase)
{
    const auto upper = ParseClassId("{0123ABCD-4567-89EF-FEDC-BA9876543210}");
    const auto lower = ParseClassId("{0123abcd-4567-89ef-fedc-ba9876543210}");
    ASSERT_TRUE(upper.has_value());
    ASSERT_TRUE(lower.has_value());
    EXPECT_EQ(*upper, *lower);
    EXPECT_EQ(upper->data1, 0x0123ABCDu);
    EXPECT_EQ(upper->data2, 0x4567u);
    EXPECT_EQ(upper->data3, 0x89EFu);
    const std::array<std::uint8_t, 8> data4{0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10};
    EXPECT_EQ(upper->data4, data4);

    const auto max = ParseClassId("{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}");
    ASSERT_TRUE(max.has_value());
    EXPECT_EQ(max->data1, 0xFFFFFFFFu);
}

TEST(ParseClassId, RejectsMalformedText)
{
    const char* const malformed[] = {
        "", "{}",
        "557CF406-1A04-11D3-9A73-0000F81EF32E", // no braces
        "{557CF406-1A04-11D3-9A73-0000F81EF32E", // no closing brace
        "557CF406-1A04-11D3-9A73-0000F81EF32E}", // no opening brace
        "(557CF406-1A04-11D3-9A73-0000F81EF32E)", // wrong brackets
        "{557CF406-1A04-11D3-9A73-0000F81EF32}", // one digit short
        "{557CF406-1A04-11D3-9A73-0000F81EF32EE}", // one digit too many
        "{557CF40-61A04-11D3-9A73-0000F81EF32E}", // dash misplaced
        "{557CF406-1A04-11D3-9A730000F81EF32E}", // dash missing
        "{557CF406-1A04-11D3-9A7-30000F81EF32E}", // dash inside data4
        "{557CF406-1A04-11D3-9A73-0000F81EF32G}", // bad hex digit
        "{557CF406-1A04-11D3-9A73-0000F81EF3 E}", // space
        "{-557CF40-1A04-11D3-9A73-0000F81EF32E}", // sign
        "{557CF406-1A04-11D3-9A73-0000F81EF32E}x", // trailing text
        " {557CF406-1A04-11D3-9A73-0000F81EF32E}", // leading space
        "{557CF406-1A04-11D3-9A73-0000F81EF32E}}", // extra brace
    };
    for (const char* text : malformed) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParseClassId(text).has_value());
    }
}

TEST(ParseClassId, StopsAtTheViewEnd)
{
    // A view cut before the closing brace must not read past its end.
    const std::string text = "{557CF406-1A04-11D3-9A73-0000F81EF32E}";
    EXPECT_FALSE(ParseClassId(std::string_view(text).substr(0, text.size() - 1)).has_value());
    EXPECT_TRUE(ParseClassId(std::string_view(text)).has_value());
}

} // namespace
