// The Paeth kernels on every instruction set this processor has: alone and
// in pairs of rows against the format's predictor written out plainly, for
// every (left, above, upper left) byte triple; and the reader on each of
// them against libpng, for every filter type and pixel size it reads. Also
// the SSSE3 conversion of RGB and RGBA rows to ARGB, which the reader uses
// where it can, against the plain loops the others use.
#include "fixtures/sample_files.h"
#include "imaging/common/whole_image.h"
#include "imaging/png/png_libpng_reader.h"
#include "imaging/png/png_reader.h"
#include "imaging/png/png_row_convert.h"
#include "imaging/png/png_unfilter_paeth.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace imaging;
using namespace imaging::png;

class OnEachPaethPath : public testing::TestWithParam<PaethPath> {
protected:
    void SetUp() override
    {
        if (!ForcePaethPathForTesting(GetParam())) GTEST_SKIP() << "this processor lacks the path";
    }
    void TearDown() override { ForcePaethPathForTesting(BestPaethPath()); }
};

std::string PathName(const testing::TestParamInfo<PaethPath>& info)
{
    std::string name = PaethPathName(info.param);
    std::erase(name, '.');
    return name;
}

std::uint8_t Predictor(int a, int b, int c)
{
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
    return static_cast<std::uint8_t>(pb <= pc ? b : c);
}

std::vector<std::uint8_t> PaethFiltered(
    const std::vector<std::uint8_t>& row, const std::vector<std::uint8_t>& above, std::size_t bpp)
{
    std::vector<std::uint8_t> out(row.size());
    for (std::size_t i = 0; i < row.size(); ++i)
        out[i] = static_cast<std::uint8_t>(
            row[i] - Predictor(i >= bpp ? row[i - bpp] : 0, above[i], i >= bpp ? above[i - bpp] : 0));
    return out;
}

// Rows in pairs (P, X) of 512 pixels, X below P. In each byte column, P's
// values alternate between the two of one unordered pair {u, v}, a column
// and pair of rows each until all 32896 are used, and X's count 0, 0, 1, 1,
// ..., 255, 255; so X's left, above and upper-left values meet every triple,
// (a, u, v) and (a, v, u), every tie among them. Each row is Paeth-filtered
// against the one before: the image is one run of Paeth rows, which the
// kernels also take two at a time. (One test for all paths: making the rows
// costs more than unfiltering them.)
TEST(PaethKernels, EveryPathGivesEveryByteTripleTheFormatsPredictor)
{
    std::vector<std::pair<std::uint8_t, std::uint8_t>> pairs;
    for (int u = 0; u < 256; ++u)
        for (int v = u; v < 256; ++v) pairs.emplace_back(static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(v));
    constexpr std::size_t kPixels = 512;
    for (const std::size_t bpp : {3u, 4u}) {
        const std::size_t rowBytes = kPixels * bpp;
        std::vector<std::uint8_t> previous(rowBytes, 0), p(rowBytes), x(rowBytes), first, second;
        for (std::size_t rows = 0; rows * bpp < pairs.size(); ++rows) {
            for (std::size_t i = 0; i < rowBytes; ++i) {
                const auto& [u, v] = pairs[(rows * bpp + i % bpp) % pairs.size()];
                p[i] = i / bpp % 2 ? v : u;
                x[i] = static_cast<std::uint8_t>(i / bpp / 2);
            }
            const std::vector<std::uint8_t> pFiltered = PaethFiltered(p, previous, bpp),
                                            xFiltered = PaethFiltered(x, p, bpp);
            for (const PaethPath path : kPaethPaths) {
                if (!ForcePaethPathForTesting(path)) continue;
                first = pFiltered;
                second = xFiltered;
                UnfilterPaethRow(first.data(), previous.data(), rowBytes, static_cast<int>(bpp));
                UnfilterPaethRow(second.data(), p.data(), rowBytes, static_cast<int>(bpp));
                ASSERT_TRUE(first == p && second == x)
                    << PaethPathName(path) << ", " << bpp << " bytes a pixel, rows " << 2 * rows;
                first = pFiltered;
                second = xFiltered;
                UnfilterPaethRowPair(first.data(), second.data(), previous.data(), rowBytes, static_cast<int>(bpp));
                ASSERT_TRUE(first == p && second == x)
                    << PaethPathName(path) << " two rows at once, " << bpp << " bytes a pixel, rows " << 2 * rows;
            }
            previous = x;
        }
    }
    ForcePaethPathForTesting(BestPaethPath());
}

QImage Decoded(const QByteArray& bytes, bool fast)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    if (!fast) return DecodePngWithLibpng(buffer).image;
    PngReader reader(buffer);
    return ReadWholeImage(reader).image;
}

int g_filter = 0;
int FilterOfRow(std::uint32_t y) { return g_filter < 5 ? g_filter : static_cast<int>(y % 5); }

// Widths from one pixel past those where the kernels change step (16-byte
// blocks, the two-block lag of a pair's second row, the scratch block at a
// row's end); 5 rows, so a run of one filter makes two pairs and a single.
TEST_P(OnEachPaethPath, EveryFilterAndPixelSizeGivesLibpngsPixels)
{
    std::vector<std::uint32_t> widths;
    for (std::uint32_t w = 1; w <= 20; ++w) widths.push_back(w);
    for (const std::uint32_t w : {31u, 32u, 33u, 47u, 48u, 49u, 50u, 63u, 64u, 65u, 66u, 129u, 301u})
        widths.push_back(w);
    for (const int colorType : {0, 4, 2, 6})
        for (const std::uint32_t width : widths)
            for (g_filter = 0; g_filter <= 5; ++g_filter)
                for (const bool smooth : {false, true}) {
                    if (smooth && g_filter < 4) continue; // ties matter to Paeth only
                    SCOPED_TRACE(testing::Message()
                        << "type " << colorType << ", width " << width << ", filter "
                        << (g_filter < 5 ? std::to_string(g_filter) : "by row") << (smooth ? ", smooth" : ""));
                    fixtures::FilteredPng png;
                    png.width = width;
                    png.height = 5;
                    png.colorType = colorType;
                    const std::size_t bpp = colorType == 0 ? 1 : colorType == 4 ? 2 : colorType == 2 ? 3 : 4;
                    png.pixels =
                        fixtures::RandomBytes(width * 5 * bpp, width * 7 + static_cast<std::uint32_t>(g_filter));
                    if (smooth) // few values: ties everywhere
                        for (std::uint8_t& v : png.pixels) v = static_cast<std::uint8_t>(250 + v % 3);
                    png.filterOf = FilterOfRow;
                    const QByteArray bytes = fixtures::MakeFilteredPng(png);
                    const QImage fast = Decoded(bytes, true);
                    ASSERT_FALSE(fast.isNull());
                    EXPECT_TRUE(fast == Decoded(bytes, false));
                }
}

// Every width from 0 to 40 (the shuffles take four pixels, the last few go
// plainly), written between guard words that must stay as they were.
TEST(RowConversion, Ssse3GivesThePlainLoopsWordsAtEveryWidth)
{
    if (!__builtin_cpu_supports("ssse3")) GTEST_SKIP() << "this processor lacks SSSE3";
    const std::vector<std::uint8_t> bytes = fixtures::RandomBytes(41 * 4, 17);
    for (const int colorType : {2, 6})
        for (std::uint32_t width = 0; width <= 40; ++width) {
            std::vector<std::uint32_t> plain(width + 2, 0x5A5A5A5Au), shuffled(width + 2, 0x5A5A5A5Au);
            ConvertRowToArgbPlain(colorType, bytes.data(), plain.data() + 1, width);
            (colorType == 2 ? ConvertRgbRowToArgbSsse3 : ConvertRgbaRowToArgbSsse3)(
                bytes.data(), shuffled.data() + 1, width);
            ASSERT_EQ(plain, shuffled) << "colour type " << colorType << ", width " << width;
        }
    // One pixel spelled out: R, G, B (, A) bytes become 0xAARRGGBB.
    const std::uint8_t rgba[] = {0x12, 0x34, 0x56, 0x78};
    std::uint32_t word = 0;
    ConvertRowToArgbPlain(6, rgba, &word, 1);
    EXPECT_EQ(word, 0x78123456u);
    ConvertRowToArgbPlain(2, rgba, &word, 1);
    EXPECT_EQ(word, 0xFF123456u);
}

INSTANTIATE_TEST_SUITE_P(Paths, OnEachPaethPath, testing::ValuesIn(kPaethPaths), PathName);

} // namespace
