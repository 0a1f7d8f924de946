// The own GIF reader against Qt's: every ordinary GIF gives the pixels Qt's
// reader gave before, and a small frame on a huge screen costs the frame.
#include "imaging_test_support.h"

#include "fixtures/gif_files.h"
#include "imaging/common/whole_image.h"
#include "imaging/gif/gif_reader.h"
#include "imaging/qt/qt_reader.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <random>

namespace {

using fixtures::GifFile;
using fixtures::GifFrame;
using fixtures::GifLzw;

std::vector<int> RandomIndices(int count, int below, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<int> indices(static_cast<std::size_t>(count));
    for (int& index : indices) index = static_cast<int>(random() % static_cast<std::uint32_t>(below));
    return indices;
}

GifFrame Frame(int left, int top, int width, int height, int colours, std::uint32_t seed)
{
    GifFrame frame;
    frame.left = left;
    frame.top = top;
    frame.width = width;
    frame.height = height;
    frame.indices = RandomIndices(width * height, colours, seed);
    return frame;
}

struct NamedGif {
    const char* name;
    GifFile gif;
};

// Ordinary files, as encoders write them, in every form the reader takes.
std::vector<NamedGif> OrdinaryGifs()
{
    std::vector<NamedGif> gifs;
    auto add = [&](const char* name, int width, int height, std::vector<std::uint32_t> global,
                   std::vector<GifFrame> frames, GifLzw lzw = GifLzw::Compressed) {
        GifFile gif;
        gif.width = width;
        gif.height = height;
        gif.globalPalette = std::move(global);
        gif.frames = std::move(frames);
        gif.lzw = lzw;
        gifs.push_back({name, std::move(gif)});
    };
    add("whole screen", 37, 23, fixtures::RandomPalette(256, 1), {Frame(0, 0, 37, 23, 256, 2)});
    add("one literal a code", 9, 7, fixtures::RandomPalette(16, 3), {Frame(0, 0, 9, 7, 16, 4)}, GifLzw::Literals);
    add("full table kept", 300, 200, fixtures::RandomPalette(256, 5), {Frame(0, 0, 300, 200, 256, 6)},
        GifLzw::CompressedNoClear);
    add("full table cleared", 300, 200, fixtures::RandomPalette(64, 7), {Frame(0, 0, 300, 200, 64, 8)});
    add("two colours", 33, 5, fixtures::RandomPalette(2, 9), {Frame(0, 0, 33, 5, 2, 10)});

    GifFrame transparent = Frame(5, 3, 20, 11, 8, 11);
    transparent.transparentIndex = 2;
    add("small frame, transparent index", 40, 30, fixtures::RandomPalette(8, 12), {transparent});
    add("small frame, background colour", 40, 30, fixtures::RandomPalette(8, 13), {Frame(7, 9, 20, 11, 8, 14)});
    gifs.back().gif.background = 5;
    // Around a frame with a local table Qt's colours are its memory's
    // leftovers (see LocalTableAroundASmallFrame), so such frames fill the screen.
    GifFrame local = Frame(0, 0, 20, 12, 32, 15);
    local.localPalette = fixtures::RandomPalette(32, 16);
    add("local table over a global one", 20, 12, fixtures::RandomPalette(4, 17), {local});
    local.transparentIndex = 7;
    add("local table only, transparent index", 20, 12, {}, {local});
    local = Frame(2, 1, 12, 9, 32, 15);
    local.localPalette = fixtures::RandomPalette(32, 16);
    add("small frame, local table only", 20, 12, {}, {local});

    GifFrame interlaced = Frame(0, 0, 17, 29, 16, 18);
    interlaced.interlaced = true;
    add("interlaced", 17, 29, fixtures::RandomPalette(16, 19), {interlaced});
    interlaced.height = 5;
    interlaced.indices.resize(17 * 5);
    add("interlaced, five rows", 17, 5, fixtures::RandomPalette(16, 19), {interlaced});

    // Indices past a 6-entry table (padded to 8) in a 4-bit code stream.
    add("indices past the table", 16, 8, fixtures::RandomPalette(6, 20), {Frame(0, 0, 16, 8, 16, 21)});
    gifs.back().gif.minimumCodeSize = 4;

    GifFrame first = Frame(3, 4, 10, 10, 8, 22), second = Frame(0, 0, 30, 30, 8, 23);
    first.transparentIndex = 0;
    first.disposal = 2;
    add("later frames", 30, 30, fixtures::RandomPalette(8, 24), {first, second});
    // A comment and a looping extension before the first frame.
    add("extensions first", 12, 12, fixtures::RandomPalette(4, 25), {Frame(0, 0, 12, 12, 4, 26)});
    gifs.back().gif.beforeFirstFrame =
        QByteArray("\x21\xFE\x05hello\x00", 9) + QByteArray("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    return gifs;
}

imaging::DecodedImage DecodeWithQtReader(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return imaging::qt::DecodeWithQt(buffer);
}

imaging::DecodedImage DecodeWithGifReader(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    imaging::gif::GifReader reader(buffer);
    return imaging::ReadWholeImage(reader);
}

TEST(GifReader, OrdinaryGifsGiveQtsPixels)
{
    for (const NamedGif& named : OrdinaryGifs()) {
        SCOPED_TRACE(named.name);
        const QByteArray bytes = fixtures::MakeGifFile(named.gif);
        const imaging::DecodedImage own = DecodeWithGifReader(bytes);
        // Declining would leave the file to Qt and prove nothing.
        ASSERT_FALSE(own.failure) << qPrintable(imaging::Describe(own.failure));
        const imaging::DecodedImage qt = DecodeWithQtReader(bytes);
        ASSERT_FALSE(qt.failure) << qPrintable(imaging::Describe(qt.failure));
        ASSERT_EQ(own.image.size(), qt.image.size());
        const long long at = testsupport::FirstDifference(own.image, qt.image);
        EXPECT_EQ(at, -1) << std::hex << "own " << own.image.pixel(at % own.image.width(), at / own.image.width())
                          << ", Qt's " << qt.image.pixel(at % own.image.width(), at / own.image.width());
    }
}

// Where Qt's answer is its memory's leftovers, the format's own: the
// background index names a colour of the global table.
TEST(GifReader, LocalTableAroundASmallFrame)
{
    GifFile gif;
    gif.width = 20;
    gif.height = 12;
    gif.globalPalette = fixtures::RandomPalette(4, 17);
    gif.background = 2;
    gif.frames = {Frame(2, 1, 12, 9, 32, 15)};
    gif.frames[0].localPalette = fixtures::RandomPalette(32, 16);
    const imaging::DecodedImage own = DecodeWithGifReader(fixtures::MakeGifFile(gif));
    ASSERT_FALSE(own.failure) << qPrintable(imaging::Describe(own.failure));
    EXPECT_EQ(own.image.pixel(0, 0), 0xFF000000u | gif.globalPalette[2]);
    EXPECT_EQ(own.image.pixel(19, 11), 0xFF000000u | gif.globalPalette[2]);
    const int index = gif.frames[0].indices[0];
    EXPECT_EQ(own.image.pixel(2, 1), 0xFF000000u | gif.frames[0].localPalette[static_cast<std::size_t>(index)]);
}

// The case that cost a gigabyte of decoding per frame: the screen's size,
// the first frame's pixels where it lies, transparent everywhere else, read
// row by row in the frame's memory.
TEST(GifReader, SmallFramesOnAHugeScreenAreReadRowByRow)
{
    const QByteArray bytes = fixtures::SmallFramesOnHugeScreen(12);
    ASSERT_LT(bytes.size(), 8000);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    imaging::gif::GifReader reader(buffer);
    ASSERT_FALSE(reader.open());
    ASSERT_EQ(reader.width(), 16383);
    ASSERT_EQ(reader.height(), 16384);

    // Where the first frame lies (see SmallFramesOnHugeScreen) and what it
    // holds, from the same file cut to a screen Qt reads whole.
    QByteArray small = bytes;
    small[6] = 200, small[7] = 0, small[8] = 100, small[9] = 0;
    const qsizetype secondFrame = small.indexOf(QByteArray("\x21\xF9\x04", 3), small.indexOf('\x2C', 13 + 768));
    ASSERT_GT(secondFrame, 0);
    small = small.left(secondFrame) + ';';
    const imaging::DecodedImage reference = DecodeWithQtReader(small);
    ASSERT_FALSE(reference.failure) << qPrintable(imaging::Describe(reference.failure));
    constexpr int kLeft = 100, kTop = 50, kWidth = 40, kHeight = 26;

    std::vector<std::uint32_t> row(16383);
    long long wrong = 0, framePixels = 0;
    for (int y = 0; y < 16384; ++y) {
        ASSERT_FALSE(reader.readRows(row.data(), row.size(), 1)) << y;
        for (int x = 0; x < 16383; ++x) {
            const bool inFrame = y >= kTop && y < kTop + kHeight && x >= kLeft && x < kLeft + kWidth;
            const std::uint32_t expected = inFrame ? reference.image.pixel(x, y) : reference.image.pixel(0, 0);
            framePixels += inFrame && (expected >> 24) != 0;
            wrong += row[static_cast<std::size_t>(x)] != expected;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(framePixels, kWidth * kHeight / 2); // the frame is really there
    EXPECT_EQ(reference.image.pixel(0, 0) >> 24, 0u);
    EXPECT_FALSE(reader.finish());
}

} // namespace
