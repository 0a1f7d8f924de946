// The PNG writer's files, read back by two independent decoders (libpng,
// strict about every CRC and the zlib checksum, and Qt's reader) for every
// shape, band split, thread count, deflate backend and filter choice; the
// row filters against a plain reference; and the joints between bands.
#include "imaging_test_support.h"
#include "raw_inflaters.h"

#include "fixtures/bench_images.h"
#include "imaging/deflate/band_deflater.h"
#include "imaging/deflate/deflate_blocks.h"
#include "imaging/png/png_writer.h"

#include <QImage>

#include <gtest/gtest.h>

#include <png.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <vector>

namespace {

using imaging::deflate::DeflateBackend;
using imaging::png::FilterChoice;
using imaging::png::FilteredRowBytes;

class MemorySink final : public imaging::ByteSink {
public:
    explicit MemorySink(std::size_t failAfter = SIZE_MAX) : failAfter_(failAfter) { }
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
    const bool read =
        png_image_finish_read(&image, nullptr, result.bits(), static_cast<png_int_32>(result.bytesPerLine()), nullptr);
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
            image.setPixel(x, y,
                (x / 7 + y / 5) % 3 == 0 ? 0x00000000u
                    : (x + y) % 11 == 0  ? 0x80FF8000u
                                         : 0xFF2050E0u);
    return image;
}

void ExpectReadBackExactly(const QImage& source, const imaging::png::PngWriterSettings& settings)
{
    MemorySink sink;
    const imaging::Failure failure = imaging::png::WritePng(source, sink, settings);
    ASSERT_FALSE(failure) << qPrintable(failure.detail);
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
    const FilterChoice filters[] = {
        FilterChoice::Adaptive, FilterChoice::SubOnly, FilterChoice::UpOnly, FilterChoice::AverageOnly};
    for (const QSize shape : shapes)
        for (const bool flat : {false, true}) {
            const QImage source = flat ? FlatArt(shape.width(), shape.height())
                                       : testsupport::RandomArgb(shape.width(), shape.height(), 7);
            const std::size_t rowBytes = 1 + 4 * static_cast<std::size_t>(shape.width());
            // One band, two bands, a band per row.
            for (const std::size_t bandBytes : {std::size_t{0}, rowBytes * ((shape.height() + 1) / 2), rowBytes})
                for (const DeflateBackend backend :
                    {DeflateBackend::Fast, DeflateBackend::Thorough, DeflateBackend::Runs})
                    for (const FilterChoice filter : filters)
                        for (const int threads : {1, 2}) {
                            SCOPED_TRACE(testing::Message()
                                << shape.width() << "x" << shape.height() << (flat ? " flat" : " random")
                                << " band bytes " << bandBytes << " backend " << static_cast<int>(backend) << " filter "
                                << static_cast<int>(filter) << " threads " << threads);
                            imaging::png::PngWriterSettings settings;
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
    imaging::png::PngWriterSettings two;
    two.threads = 2;
    ExpectReadBackExactly(FlatArt(2100, 1100), two);
}

TEST(PngWriter, FailedWritesStopEveryThreadWithTheWritersReason)
{
    const QImage source = testsupport::RandomArgb(1700, 200, 5);
    imaging::png::PngWriterSettings settings;
    settings.threads = 2;
    settings.bandBytes = FilteredRowBytes(1700) * 10; // 20 bands, each large enough to share
    MemorySink whole;
    ASSERT_FALSE(imaging::png::WritePng(source, whole, settings));
    // In the signature, in the header, in the image data, at the very end.
    for (const std::size_t failAfter :
        {std::size_t{3}, std::size_t{20}, std::size_t{5000}, static_cast<std::size_t>(whole.bytes.size()) - 1}) {
        SCOPED_TRACE(failAfter);
        MemorySink sink(failAfter);
        const imaging::Failure failure = imaging::png::WritePng(source, sink, settings);
        EXPECT_EQ(failure.kind, imaging::FailureKind::WriteFailed);
        EXPECT_EQ(failure.detail, QStringLiteral("the file could not be written"));
    }
}

// Rows handed to the streaming writer in uneven pieces: `pieces` gives the
// rows of each commit in turn (cycled, cut to what the room holds); odd
// pieces are committed in place instead of through the writer's room.
QByteArray StreamInPieces(const QImage& source, const imaging::png::PngWriterSettings& settings,
    const std::vector<std::int32_t>& pieces, bool alternate)
{
    MemorySink sink;
    imaging::png::PngStreamWriter writer(sink, source.width(), source.height(), settings);
    const std::size_t width = static_cast<std::size_t>(source.width());
    std::int32_t y = 0;
    for (std::size_t i = 0; y < source.height(); ++i) {
        std::int32_t room = 0;
        std::uint32_t* rows = writer.rows().nextRows(&room);
        if (!rows || room <= 0) return {};
        const std::int32_t count = std::min(room, pieces[i % pieces.size()]);
        const auto* from = reinterpret_cast<const std::uint32_t*>(source.constScanLine(y));
        const imaging::Failure failure = alternate && i % 2
            ? writer.rows().commitInPlace(from, width, count)
            : (std::copy(from, from + width * static_cast<std::size_t>(count), rows), writer.rows().commit(count));
        if (failure) return {};
        y += count;
    }
    return writer.finish() ? QByteArray() : sink.bytes;
}

TEST(PngStreamWriter, RowsInUnevenPiecesReadBackExactly)
{
    // The wide ones give bands large enough to be shared between threads.
    const QImage sources[] = {
        testsupport::RandomArgb(37, 61, 2), FlatArt(200, 90), testsupport::RandomArgb(2400, 40, 6), FlatArt(2400, 50)};
    for (const QImage& source : sources)
        for (const int threads : {1, 2})
            for (const bool alternate : {false, true}) {
                SCOPED_TRACE(testing::Message() << source.width() << " wide, threads " << threads
                                                << (alternate ? ", in place every other piece" : ""));
                imaging::png::PngWriterSettings settings;
                settings.threads = threads;
                settings.bandBytes = FilteredRowBytes(static_cast<std::size_t>(source.width())) * 7;
                const QByteArray png = StreamInPieces(source, settings, {1, 7, 3, 2, 5}, alternate);
                ASSERT_FALSE(png.isEmpty());
                std::string why;
                const QImage strict = DecodeWithLibpng(png, &why);
                ASSERT_FALSE(strict.isNull()) << why;
                EXPECT_EQ(testsupport::FirstDifference(strict, source), -1);
            }
}

TEST(PngStreamWriter, FailuresAndAbandonedFilesEndEveryThread)
{
    // Bands of 10 rows, large enough to be shared between threads.
    const QImage source = testsupport::RandomArgb(1700, 200, 8);
    imaging::png::PngWriterSettings settings;
    settings.threads = 2;
    settings.bandBytes = FilteredRowBytes(1700) * 10;
    {
        // A sink that fails in the image data: every later call says so.
        MemorySink sink(4000);
        imaging::png::PngStreamWriter writer(sink, 1700, 200, settings);
        imaging::Failure failure;
        for (std::int32_t y = 0; !failure && y < 200; y += 10)
            failure =
                writer.rows().commitInPlace(reinterpret_cast<const std::uint32_t*>(source.constScanLine(y)), 1700, 10);
        if (!failure) failure = writer.finish();
        EXPECT_TRUE(failure);
        EXPECT_EQ(writer.failure().detail, QStringLiteral("the file could not be written"));
        std::int32_t room = -1;
        EXPECT_EQ(writer.rows().nextRows(&room), nullptr);
        EXPECT_EQ(room, 0);
    }
    for (const std::int32_t rows : {0, 10, 100, 190}) {
        SCOPED_TRACE(rows);
        // Given up after some rows: the writer ends without waiting for the rest.
        MemorySink sink;
        imaging::png::PngStreamWriter writer(sink, 1700, 200, settings);
        for (std::int32_t y = 0; y < rows; y += 10)
            ASSERT_FALSE(
                writer.rows().commitInPlace(reinterpret_cast<const std::uint32_t*>(source.constScanLine(y)), 1700, 10));
        EXPECT_FALSE(writer.failure());
    }
}

// The residues as the PNG format defines them, one byte at a time.
std::vector<std::uint8_t> ReferenceFilter(
    const std::vector<std::uint32_t>& row, const std::vector<std::uint32_t>* above, int type)
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
        for (int trial = 0; trial < 9; ++trial) {
            std::vector<std::uint32_t> row(width), above(width);
            // Small steps make one filter or another the better one, depending on the trial.
            for (std::size_t x = 0; x < width; ++x) {
                above[x] = static_cast<std::uint32_t>(random());
                row[x] = trial % 2 ? above[x] + static_cast<std::uint32_t>(random() % 3) * 0x01010101u
                                   : (x ? row[x - 1] : 0x80402010u) + static_cast<std::uint32_t>(random() % 3);
                if (trial >= 4) row[x] = static_cast<std::uint32_t>(random());
            }
            // Rows like the one above: any, an empty canvas's, zeros but the last pixel.
            if (trial == 6) row = above;
            if (trial == 7) row = above = std::vector<std::uint32_t>(width, 0);
            if (trial == 8) {
                above.assign(width, 0);
                above.back() = 0x01000000u;
                row = above;
            }
            for (const bool first : {false, true}) {
                SCOPED_TRACE(
                    testing::Message() << "width " << width << " trial " << trial << (first ? " first row" : ""));
                const auto* aboveRow = first ? nullptr : &above;
                const FilterChoice only[3] = {FilterChoice::SubOnly, FilterChoice::UpOnly, FilterChoice::AverageOnly};
                std::vector<std::uint8_t> out(1 + 4 * width), cheapest;
                for (int type = 1; type <= 3; ++type) {
                    const auto expected = ReferenceFilter(row, aboveRow, type);
                    imaging::png::FilterRow(
                        row.data(), first ? nullptr : above.data(), width, only[type - 1], out.data());
                    EXPECT_EQ(out, expected) << "filter " << type;
                    if (cheapest.empty() || Cost(expected) < Cost(cheapest)) cheapest = expected;
                }
                imaging::png::FilterRow(
                    row.data(), first ? nullptr : above.data(), width, FilterChoice::Adaptive, out.data());
                EXPECT_EQ(out, cheapest);
            }
        }
}

TEST(DeflateBands, JoinedBandsInflateToTheirInputWhereverTheLastBlockEnds)
{
    // libdeflate's streams end at any bit of their last byte; the joint must
    // hold for every one of them, after stored, fixed and dynamic blocks.
    std::mt19937 random(5);
    std::set<std::size_t> endBits;
    for (const DeflateBackend backend : {DeflateBackend::Thorough, DeflateBackend::Fast, DeflateBackend::Runs})
        for (std::size_t size = 1; size < 400; size += 3) {
            std::vector<std::uint8_t> first(size), second(size / 2 + 1);
            for (auto& byte : first) byte = static_cast<std::uint8_t>(size % 3 == 0 ? random() : random() % 4);
            for (auto& byte : second) byte = static_cast<std::uint8_t>(random());
            imaging::deflate::BandDeflater deflater(backend);
            std::vector<std::uint8_t> joined;
            if (backend == DeflateBackend::Thorough) {
                std::vector<std::uint8_t> alone;
                ASSERT_TRUE(deflater.compress(first.data(), first.size(), true, alone));
                imaging::deflate::DeflateEnds ends;
                ASSERT_TRUE(imaging::deflate::FindDeflateEnds(alone.data(), alone.size(), &ends));
                EXPECT_EQ((ends.endBit + 7) / 8, alone.size());
                endBits.insert(ends.endBit % 8);
            }
            ASSERT_TRUE(deflater.compress(first.data(), first.size(), false, joined));
            ASSERT_TRUE(deflater.compress(second.data(), second.size(), true, joined));
            std::vector<std::uint8_t> expected = first;
            expected.insert(expected.end(), second.begin(), second.end());
            EXPECT_EQ(testsupport::InflateWithZlib(joined, expected.size()), expected) << "size " << size;
            EXPECT_EQ(testsupport::InflateWithIsal(joined, expected.size()), expected) << "size " << size;
        }
    EXPECT_EQ(endBits.size(), 8u); // every position of the stream's end in its last byte
}

TEST(DeflateBands, WithoutABackendEachBandKeepsTheSmallestStream)
{
    // Noise: ISA-L's stream as it is. A removed background (zeros around a
    // soft-edged disc): the run-length encoder's. Zeros around a noisy patch
    // repeated (as text's glyphs): libdeflate's, which matches the repeats.
    // Flat art: whichever of ISA-L's and libdeflate's is smaller.
    const QImage noise = testsupport::RandomArgb(300, 40, 9), flat = FlatArt(300, 40);
    const QImage patch = testsupport::RandomArgb(20, 10, 4);
    QImage removed(1000, 500, QImage::Format_ARGB32), repeated(300, 40, QImage::Format_ARGB32);
    removed.fill(0u);
    repeated.fill(0u);
    for (int y = 0; y < 500; ++y) // two discs with a soft edge
        for (int x = 0; x < 1000; ++x) {
            const double outside = std::min(std::hypot(x - 300, y - 250), std::hypot(x - 700, y - 200)) - 150;
            const int alpha = std::clamp(static_cast<int>(255 * (1 - outside)), 0, 255);
            removed.setPixel(x, y, alpha ? static_cast<unsigned>(alpha) << 24 | 0x2050E0u : 0u);
        }
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 280; x += 70)
            std::memcpy(repeated.scanLine(15 + y) + 4 * x, patch.constScanLine(y), 20 * 4);
    for (const QImage* image : std::initializer_list<const QImage*>{&noise, &removed, &repeated, &flat}) {
        std::vector<std::uint8_t> filtered;
        for (int y = 0; y < image->height(); ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(image->constScanLine(y));
            const auto* above = y ? reinterpret_cast<const std::uint32_t*>(image->constScanLine(y - 1)) : nullptr;
            std::vector<std::uint8_t> out(FilteredRowBytes(static_cast<std::size_t>(image->width())));
            imaging::png::FilterRow(
                row, above, static_cast<std::size_t>(image->width()), FilterChoice::Adaptive, out.data());
            filtered.insert(filtered.end(), out.begin(), out.end());
        }
        std::vector<std::uint8_t> chosen, fast, thorough, runs;
        ASSERT_TRUE(imaging::deflate::BandDeflater().compress(filtered.data(), filtered.size(), true, chosen));
        ASSERT_TRUE(imaging::deflate::BandDeflater(DeflateBackend::Fast)
                        .compress(filtered.data(), filtered.size(), true, fast));
        ASSERT_TRUE(imaging::deflate::BandDeflater(DeflateBackend::Thorough)
                        .compress(filtered.data(), filtered.size(), true, thorough));
        ASSERT_TRUE(imaging::deflate::BandDeflater(DeflateBackend::Runs)
                        .compress(filtered.data(), filtered.size(), true, runs));
        const bool zeroHeavy = std::count(filtered.begin(), filtered.end(), 0) * 8 >= std::ssize(filtered) * 7;
        std::vector<const std::vector<std::uint8_t>*> tried = {&fast};
        if (fast.size() * 4 <= filtered.size()) {
            // One block each: the run encoder gives up past ISA-L's size.
            if (zeroHeavy && runs.size() <= fast.size()) {
                tried.push_back(&runs);
            } else if (fast.size() * 512 > filtered.size()) {
                tried.push_back(&thorough);
            }
        }
        const std::vector<std::uint8_t>* smallest = tried[0];
        for (const auto* stream : tried)
            if (stream->size() < smallest->size()) smallest = stream;
        EXPECT_EQ(chosen, *smallest);
        EXPECT_EQ(smallest,
            image == &noise          ? &fast
                : image == &removed  ? &runs
                : image == &repeated ? &thorough
                                     : smallest);
        EXPECT_EQ(zeroHeavy, image == &removed || image == &repeated);
        EXPECT_EQ(testsupport::InflateWithZlib(chosen, filtered.size()), filtered);
    }
}

} // namespace
