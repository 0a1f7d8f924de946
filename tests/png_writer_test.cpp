// The PNG writer's files, read back by two independent decoders (libpng,
// strict about every CRC and the zlib checksum, and Qt's reader) for every
// shape, band split, thread count, deflate backend and filter choice; the
// row filters against a plain reference; and the joints between bands.
#include "imaging_test_support.h"

#include "fixtures/bench_images.h"
#include "imaging/deflate_backend_choice.h"
#include "imaging/deflate_band.h"
#include "imaging/png_writer.h"

#include <QImage>

#include <gtest/gtest.h>

#include <png.h>
#include <zlib.h>

#include <random>
#include <set>
#include <vector>

namespace {

using mGdip::detail::DeflateBackend;
using mGdip::detail::FilterChoice;

class MemorySink final : public mGdip::detail::ByteSink {
public:
    explicit MemorySink(std::size_t failAfter = SIZE_MAX) : failAfter_(failAfter) {}
    bool write(const unsigned char* data, std::size_t size) override
    {
        if (bytes.size() + size > failAfter_) return false;
        bytes.append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
        return true;
    }
    int error() const noexcept override { return 0; }
    QByteArray bytes;

private:
    std::size_t failAfter_;
};

// libpng's simplified reader, in the memory order of ARGB32; a null image
// with the reason on any error or warning.
QImage DecodeWithLibpng(const QByteArray& png, std::string* why)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.constData(), static_cast<std::size_t>(png.size()))) {
        *why = image.message;
        return {};
    }
    image.format = PNG_FORMAT_BGRA;
    QImage result(static_cast<int>(image.width), static_cast<int>(image.height), QImage::Format_ARGB32);
    const bool read = png_image_finish_read(&image, nullptr, result.bits(), static_cast<png_int_32>(result.bytesPerLine()), nullptr);
    if (!read || image.warning_or_error) {
        *why = image.message;
        png_image_free(&image);
        return {};
    }
    return result;
}

// Flat areas with a few colours and soft edges, which compress very well.
QImage FlatArt(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, (x / 7 + y / 5) % 3 == 0 ? 0x00000000u : (x + y) % 11 == 0 ? 0x80FF8000u : 0xFF2050E0u);
    return image;
}

void ExpectReadBackExactly(const QImage& source, const mGdip::detail::PngWriterSettings& settings)
{
    MemorySink sink;
    QString reason;
    ASSERT_TRUE(mGdip::detail::WritePng(source, sink, settings, &reason)) << qPrintable(reason);
    const auto header = testsupport::ReadPngHeader(sink.bytes);
    EXPECT_EQ(header.width, source.width());
    EXPECT_EQ(header.height, source.height());
    EXPECT_EQ(header.bitDepth, 8);
    EXPECT_EQ(header.colorType, 6);
    EXPECT_EQ(header.interlace, 0);

    std::string why;
    const QImage strict = DecodeWithLibpng(sink.bytes, &why);
    ASSERT_FALSE(strict.isNull()) << why;
    EXPECT_EQ(testsupport::FirstDifference(strict, source), -1);
    const QImage qt = QImage::fromData(sink.bytes, "PNG").convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(qt.size(), source.size());
    EXPECT_EQ(testsupport::FirstDifference(qt, source), -1);
}

TEST(PngWriter, EveryShapeBandSplitBackendAndFilterReadsBackExactly)
{
    const QSize shapes[] = {{1, 1}, {1, 77}, {131, 1}, {3, 2}, {5, 9}, {17, 13}, {64, 40}};
    const FilterChoice filters[] = {FilterChoice::Adaptive, FilterChoice::SubOnly, FilterChoice::UpOnly,
                                    FilterChoice::AverageOnly};
    for (const QSize shape : shapes)
        for (const bool flat : {false, true}) {
            const QImage source = flat ? FlatArt(shape.width(), shape.height())
                                       : testsupport::RandomArgb(shape.width(), shape.height(), 7);
            const std::size_t rowBytes = 1 + 4 * static_cast<std::size_t>(shape.width());
            // One band, two bands, a band per row.
            for (const std::size_t bandBytes : {std::size_t{0}, rowBytes * ((shape.height() + 1) / 2), rowBytes})
                for (const DeflateBackend backend : {DeflateBackend::Fast, DeflateBackend::Thorough})
                    for (const FilterChoice filter : filters)
                        for (const int threads : {1, 2}) {
                            SCOPED_TRACE(testing::Message()
                                         << shape.width() << "x" << shape.height() << (flat ? " flat" : " random")
                                         << " band bytes " << bandBytes << " backend " << static_cast<int>(backend)
                                         << " filter " << static_cast<int>(filter) << " threads " << threads);
                            mGdip::detail::PngWriterSettings settings;
                            settings.filter = filter;
                            settings.backend = backend;
                            settings.threads = threads;
                            settings.bandBytes = bandBytes;
                            ExpectReadBackExactly(source, settings);
                        }
        }
}

TEST(PngWriter, LargeImagesOnDefaultSettingsReadBackExactly)
{
    // Several default-sized bands on both threads, each backend as chosen.
    QImage mixed = FlatArt(1500, 1600);
    const QImage noise = testsupport::RandomArgb(1500, 500, 3);
    for (int y = 0; y < 500; ++y) std::memcpy(mixed.scanLine(800 + y), noise.constScanLine(y), 1500 * 4);
    ExpectReadBackExactly(mixed, {});
    mGdip::detail::PngWriterSettings two;
    two.threads = 2;
    ExpectReadBackExactly(FlatArt(2100, 1100), two);
}

TEST(PngWriter, FailedWritesStopEveryThreadWithTheWritersReason)
{
    const QImage source = testsupport::RandomArgb(300, 200, 5);
    MemorySink whole;
    ASSERT_TRUE(mGdip::detail::WritePng(source, whole, {}, nullptr));
    // In the signature, in the header, in the image data, at the very end.
    for (const std::size_t failAfter : {std::size_t{3}, std::size_t{20}, std::size_t{5000},
                                        static_cast<std::size_t>(whole.bytes.size()) - 1}) {
        SCOPED_TRACE(failAfter);
        mGdip::detail::PngWriterSettings settings;
        settings.threads = 2;
        settings.bandBytes = 1201 * 10; // 20 bands
        MemorySink sink(failAfter);
        QString reason;
        EXPECT_FALSE(mGdip::detail::WritePng(source, sink, settings, &reason));
        EXPECT_EQ(reason, QStringLiteral("the file could not be written"));
    }
}

// The residues as the PNG format defines them, one byte at a time.
std::vector<std::uint8_t> ReferenceFilter(const std::vector<std::uint32_t>& row, const std::vector<std::uint32_t>* above,
                                          int type)
{
    auto bytes = [](const std::vector<std::uint32_t>* pixels, std::size_t i) -> int {
        if (!pixels) return 0;
        const std::uint32_t p = (*pixels)[i / 4];
        const int shift[4] = {16, 8, 0, 24}; // R, G, B, A
        return static_cast<int>((p >> shift[i % 4]) & 0xFF);
    };
    std::vector<std::uint8_t> out{static_cast<std::uint8_t>(type)};
    for (std::size_t i = 0; i < row.size() * 4; ++i) {
        const int a = i >= 4 ? bytes(&row, i - 4) : 0, b = bytes(above, i);
        const int predicted = type == 1 ? a : type == 2 ? b : (a + b) / 2;
        out.push_back(static_cast<std::uint8_t>(bytes(&row, i) - predicted));
    }
    return out;
}

int Cost(const std::vector<std::uint8_t>& filtered)
{
    int sum = 0;
    for (std::size_t i = 1; i < filtered.size(); ++i) sum += std::abs(static_cast<std::int8_t>(filtered[i]));
    return sum;
}

TEST(PngRowFilter, MatchesTheFormatsDefinitionForEveryWidthAndChoice)
{
    std::mt19937 random(11);
    for (std::size_t width = 1; width <= 41; ++width)
        for (int trial = 0; trial < 6; ++trial) {
            std::vector<std::uint32_t> row(width), above(width);
            // Small steps make one filter or another the better one, depending on the trial.
            for (std::size_t x = 0; x < width; ++x) {
                above[x] = static_cast<std::uint32_t>(random());
                row[x] = trial % 2 ? above[x] + static_cast<std::uint32_t>(random() % 3) * 0x01010101u
                                   : (x ? row[x - 1] : 0x80402010u) + static_cast<std::uint32_t>(random() % 3);
                if (trial >= 4) row[x] = static_cast<std::uint32_t>(random());
            }
            for (const bool first : {false, true}) {
                SCOPED_TRACE(testing::Message() << "width " << width << " trial " << trial << (first ? " first row" : ""));
                const auto* aboveRow = first ? nullptr : &above;
                const FilterChoice only[3] = {FilterChoice::SubOnly, FilterChoice::UpOnly, FilterChoice::AverageOnly};
                std::vector<std::uint8_t> out(1 + 4 * width), cheapest;
                for (int type = 1; type <= 3; ++type) {
                    const auto expected = ReferenceFilter(row, aboveRow, type);
                    mGdip::detail::FilterRow(row.data(), first ? nullptr : above.data(), width, only[type - 1], out.data());
                    EXPECT_EQ(out, expected) << "filter " << type;
                    if (cheapest.empty() || Cost(expected) < Cost(cheapest)) cheapest = expected;
                }
                mGdip::detail::FilterRow(row.data(), first ? nullptr : above.data(), width, FilterChoice::Adaptive, out.data());
                EXPECT_EQ(out, cheapest);
            }
        }
}

std::vector<std::uint8_t> Inflate(const std::vector<std::uint8_t>& raw, std::size_t expected)
{
    std::vector<std::uint8_t> out(expected + 16);
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) return {};
    stream.next_in = const_cast<Bytef*>(raw.data());
    stream.avail_in = static_cast<uInt>(raw.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    inflateEnd(&stream);
    return status == Z_STREAM_END && stream.avail_in == 0 ? out : std::vector<std::uint8_t>{};
}

TEST(DeflateBands, JoinedBandsInflateToTheirInputWhereverTheLastBlockEnds)
{
    // libdeflate's streams end at any bit of their last byte; the joint must
    // hold for every one of them, after stored, fixed and dynamic blocks.
    std::mt19937 random(5);
    std::set<std::size_t> endBits;
    for (const DeflateBackend backend : {DeflateBackend::Thorough, DeflateBackend::Fast})
        for (std::size_t size = 1; size < 400; size += 3) {
            std::vector<std::uint8_t> first(size), second(size / 2 + 1);
            for (auto& byte : first) byte = static_cast<std::uint8_t>(size % 3 == 0 ? random() : random() % 4);
            for (auto& byte : second) byte = static_cast<std::uint8_t>(random());
            mGdip::detail::BandDeflater deflater(backend);
            std::vector<std::uint8_t> joined;
            if (backend == DeflateBackend::Thorough) {
                std::vector<std::uint8_t> alone;
                ASSERT_TRUE(deflater.compress(first.data(), first.size(), true, alone));
                mGdip::detail::DeflateEnds ends;
                ASSERT_TRUE(mGdip::detail::FindDeflateEnds(alone.data(), alone.size(), &ends));
                EXPECT_EQ((ends.endBit + 7) / 8, alone.size());
                endBits.insert(ends.endBit % 8);
            }
            ASSERT_TRUE(deflater.compress(first.data(), first.size(), false, joined));
            ASSERT_TRUE(deflater.compress(second.data(), second.size(), true, joined));
            std::vector<std::uint8_t> expected = first;
            expected.insert(expected.end(), second.begin(), second.end());
            EXPECT_EQ(Inflate(joined, expected.size()), expected) << "size " << size;
        }
    EXPECT_EQ(endBits.size(), 8u); // every position of the stream's end in its last byte
}

TEST(DeflateBackendChoice, FlatImagesGetTheThoroughCompressorAndNoiseTheFastOne)
{
    EXPECT_EQ(mGdip::detail::ChooseDeflateBackend(fixtures::EveryRgbValue(), FilterChoice::Adaptive),
              DeflateBackend::Thorough);
    EXPECT_EQ(mGdip::detail::ChooseDeflateBackend(fixtures::NoisyPhoto(1200, 800), FilterChoice::Adaptive),
              DeflateBackend::Fast);
    // The sample stays a bounded share of the pixels, whatever the shape.
    const QSize shapes[] = {{1, 1}, {3, 2}, {1 << 28, 1}, {1, 1 << 28}, {1'000'000, 63}, {16384, 16384}, {100, 100}};
    for (const QSize shape : shapes) {
        const std::int64_t total = std::int64_t{shape.width()} * shape.height();
        const std::int64_t sampled = mGdip::detail::DeflateSamplePixels(shape.width(), shape.height());
        EXPECT_LE(sampled, std::min<std::int64_t>(total, std::max<std::int64_t>(16384, total / 16)))
            << shape.width() << "x" << shape.height();
        EXPECT_LE(sampled, 262144);
        EXPECT_GT(sampled, 0);
    }
}

} // namespace
