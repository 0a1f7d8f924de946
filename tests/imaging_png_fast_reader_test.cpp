// The fast PNG reader against libpng: the same pixels for every file it
// takes, the common layouts taken, every other left to libpng, and every
// damaged file refused with libpng's kind: in the reader's words once it
// knows the file is a common PNG, in libpng's before.
#include "fixtures/sample_files.h"
#include "imaging/png/png_decode.h"
#include "imaging/png/png_libpng_reader.h"
#include "imaging/png/png_reader.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace imaging;
using namespace imaging::png;

struct AllWays {
    DecodedImage fast, combined, libpng;
};

DecodedImage DecodeFast(QIODevice& in)
{
    PngReader reader(in);
    return ReadWholeImage(reader);
}

AllWays Decode(const QByteArray& bytes)
{
    auto run = [&](auto decode) {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        return decode(buffer);
    };
    return {run(DecodeFast), run(DecodePng), run(DecodePngWithLibpng)};
}

int g_filterShift = 0;
int ShiftedFilter(std::uint32_t y) { return static_cast<int>((y + static_cast<std::uint32_t>(g_filterShift)) % 5); }

std::size_t Channels(int colorType) { return colorType == 0 ? 1 : colorType == 4 ? 2 : colorType == 2 ? 3 : 4; }

fixtures::FilteredPng Png(std::uint32_t width, std::uint32_t height, int colorType, std::uint32_t seed)
{
    fixtures::FilteredPng png;
    png.width = width;
    png.height = height;
    png.colorType = colorType;
    png.pixels = fixtures::RandomBytes(width * height * Channels(colorType), seed);
    return png;
}

void ExpectSameAsLibpng(const AllWays& all)
{
    EXPECT_EQ(all.combined.failure.kind, all.libpng.failure.kind);
    EXPECT_EQ(all.combined.failure.detail, all.libpng.failure.detail);
    EXPECT_TRUE(all.combined.image == all.libpng.image);
}

TEST(FastPngReader, CommonLayoutsGiveLibpngsPixels)
{
    const std::uint32_t sizes[][2] = {{1, 1}, {1, 9}, {9, 1}, {2, 3}, {5, 7}, {17, 4}, {33, 6}, {64, 5}, {301, 3}};
    const std::vector<std::vector<std::size_t>> splits = {{}, {1}, {0, 3, 0, 0, 1, 40}, {7, 0}};
    for (const int colorType : {0, 2, 4, 6})
        for (const auto& size : sizes)
            for (std::size_t s = 0; s < splits.size(); ++s) {
                SCOPED_TRACE(
                    testing::Message() << "type " << colorType << ", " << size[0] << "x" << size[1] << ", split " << s);
                fixtures::FilteredPng png = Png(size[0], size[1], colorType, size[0] * 31 + size[1]);
                g_filterShift = static_cast<int>(s + size[0]); // single rows meet every filter too
                png.filterOf = ShiftedFilter;
                png.idatSizes = splits[s];
                const AllWays all = Decode(fixtures::MakeFilteredPng(png));
                ASSERT_FALSE(all.fast.failure) << qPrintable(all.fast.failure.detail);
                ASSERT_FALSE(all.libpng.failure) << qPrintable(all.libpng.failure.detail);
                EXPECT_EQ(all.fast.image.format(), QImage::Format_ARGB32);
                EXPECT_TRUE(all.fast.image == all.libpng.image);
                ExpectSameAsLibpng(all);
            }
    // Long rows of smooth content, where Paeth and Average pick every predictor.
    fixtures::FilteredPng smooth = Png(1000, 12, 6, 1);
    for (std::size_t i = 0; i < smooth.pixels.size(); ++i)
        smooth.pixels[i] = static_cast<std::uint8_t>((i / 4) % 7 * 3 + smooth.pixels[i] % 3);
    const AllWays all = Decode(fixtures::MakeFilteredPng(smooth));
    ASSERT_FALSE(all.fast.failure) << qPrintable(all.fast.failure.detail);
    EXPECT_TRUE(all.fast.image == all.libpng.image);
}

TEST(FastPngReader, OtherLayoutsAreLeftToLibpng)
{
    int common = 0, other = 0;
    for (const fixtures::NamedFile& file : fixtures::SeedFiles()) {
        if (!file.name.endsWith(QStringLiteral(".png"))) continue;
        SCOPED_TRACE(qPrintable(file.name));
        const auto* ihdr = reinterpret_cast<const unsigned char*>(file.bytes.constData()) + 16;
        const bool isCommon = ihdr[8] == 8 && ihdr[9] != 3 && ihdr[12] == 0 && !file.bytes.contains("tRNS");
        const AllWays all = Decode(file.bytes);
        EXPECT_EQ(all.fast.failure.kind, isCommon ? FailureKind::None : FailureKind::Declined)
            << qPrintable(all.fast.failure.detail);
        ASSERT_FALSE(all.combined.failure) << qPrintable(all.combined.failure.detail);
        ExpectSameAsLibpng(all);
        ++(isCommon ? common : other);
    }
    // A transparent colour in an RGB file, inserted after IHDR.
    QByteArray trns = fixtures::MakeFilteredPng(Png(6, 4, 2, 3));
    trns.insert(33, fixtures::PngChunk("tRNS", QByteArray(6, '\0')));
    const AllWays withTrns = Decode(trns);
    EXPECT_EQ(withTrns.fast.failure.kind, FailureKind::Declined);
    ExpectSameAsLibpng(withTrns);
    EXPECT_GE(common, 6);
    EXPECT_GE(other, 5);
}

// Offsets of every chunk (its length field) after the signature.
std::vector<qsizetype> ChunkOffsets(const QByteArray& png)
{
    std::vector<qsizetype> offsets;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        offsets.push_back(at);
        const auto* p = reinterpret_cast<const unsigned char*>(png.constData()) + at;
        at += 12 + (qsizetype{p[0]} << 24 | qsizetype{p[1]} << 16 | qsizetype{p[2]} << 8 | p[3]);
    }
    return offsets;
}

TEST(FastPngReader, DamagedFilesAreRefusedAsLibpngRefusesThem)
{
    fixtures::FilteredPng base = Png(37, 23, 6, 77);
    base.idatSizes = {500, 0, 1, 300};
    const QByteArray whole = fixtures::MakeFilteredPng(base);
    ASSERT_FALSE(Decode(whole).fast.failure);

    std::vector<std::pair<std::string, QByteArray>> damaged;
    for (const qsizetype chunk : ChunkOffsets(whole)) { // every critical chunk's CRC
        QByteArray bad = whole;
        const auto length = static_cast<qsizetype>(
            static_cast<unsigned char>(bad[chunk + 2]) << 8 | static_cast<unsigned char>(bad[chunk + 3]));
        bad[chunk + 8 + length] = static_cast<char>(bad[chunk + 8 + length] ^ 0x10);
        damaged.push_back({"CRC of the chunk at " + std::to_string(chunk), bad});
    }
    for (qsizetype cut = 8; cut < whole.size(); cut += cut < 120 ? 1 : 7)
        damaged.push_back({"cut at " + std::to_string(cut), whole.left(cut)});
    fixtures::FilteredPng variant = base;
    variant.badAdler = true;
    damaged.push_back({"Adler-32", fixtures::MakeFilteredPng(variant)});
    variant = base;
    variant.rowsStored = 22;
    damaged.push_back({"a row short", fixtures::MakeFilteredPng(variant)});
    variant.rowsStored = 24;
    damaged.push_back({"a row too many", fixtures::MakeFilteredPng(variant)});
    variant = base;
    variant.filterOf = [](std::uint32_t y) { return y == 5 ? 5 : 1; };
    damaged.push_back({"filter type 5", fixtures::MakeFilteredPng(variant)});

    int refusedByLibpng = 0, answeredByReader = 0;
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        const AllWays all = Decode(bytes);
        ASSERT_TRUE(all.fast.failure);
        EXPECT_TRUE(all.fast.image.isNull());
        EXPECT_TRUE(all.combined.image.isNull());
        if (all.fast.failure.declined()) {
            ExpectSameAsLibpng(all); // damage before the layout is known
        } else {
            ++answeredByReader;
            EXPECT_EQ(all.combined.failure.kind, all.fast.failure.kind);
            EXPECT_EQ(all.combined.failure.detail, all.fast.failure.detail);
            if (all.libpng.failure) {
                EXPECT_EQ(all.libpng.failure.kind, all.fast.failure.kind) << qPrintable(all.libpng.failure.detail);
            }
        }
        refusedByLibpng += all.libpng.failure ? 1 : 0;
    }
    // libpng takes one more row of data than the image needs, with a
    // warning; it is damage all the same.
    EXPECT_EQ(refusedByLibpng, static_cast<int>(damaged.size()) - 1);
    EXPECT_GT(answeredByReader, static_cast<int>(damaged.size()) / 2);
    EXPECT_EQ(Decode(whole.left(whole.size() - 12)).combined.failure.kind, FailureKind::Truncated);
}

TEST(FastPngReader, WhatLibpngOnlyWarnsAboutIsTakenToo)
{
    const QByteArray png = fixtures::MakeFilteredPng(Png(8, 8, 2, 9));
    QByteArray text = fixtures::PngChunk("tEXt", QByteArray("Comment\0hello", 13));
    text[text.size() - 1] = static_cast<char>(text[text.size() - 1] ^ 0x01); // a bad CRC in an ancillary chunk
    QByteArray withText = png;
    withText.insert(33, text);
    for (const QByteArray& bytes : {withText, png + QByteArray("trailing bytes after IEND")}) {
        const AllWays all = Decode(bytes);
        EXPECT_FALSE(all.fast.failure) << qPrintable(all.fast.failure.detail);
        ASSERT_FALSE(all.libpng.failure) << qPrintable(all.libpng.failure.detail);
        EXPECT_TRUE(all.fast.image == all.libpng.image);
    }
}

// The row reader's results for one file read in bands of rows: each band
// size in turn, then the rest at once.
struct Banded {
    Failure opened;
    bool accepted = false;
    std::int32_t refusedAt = -1; // rows handed out before the call that refused (the height when finish did)
    Failure why;
    QImage image; // the rows handed out, as ARGB32
    bool paddingKept = true; // no word written between a line's end and the next line
};

Banded ReadInBands(const QByteArray& bytes, const std::vector<std::int32_t>& bands)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    PngReader reader(buffer);
    Banded result;
    result.opened = reader.open();
    result.why = result.opened;
    if (result.opened) return result;
    const std::int32_t width = reader.width(), height = reader.height();
    const std::size_t wordsPerLine = static_cast<std::size_t>(width) + 3;
    constexpr std::uint32_t kUnwritten = 0x5EC0DE5Eu;
    std::vector<std::uint32_t> lines(wordsPerLine * static_cast<std::size_t>(height), kUnwritten);
    std::int32_t done = 0;
    Failure failure;
    for (std::size_t i = 0; !failure && done < height; ++i) {
        const std::int32_t rows = i < bands.size() ? std::min(bands[i], height - done) : height - done;
        failure = reader.readRows(lines.data() + static_cast<std::size_t>(done) * wordsPerLine, wordsPerLine, rows);
        if (!failure) done += rows;
    }
    if (!failure) failure = reader.finish();
    result.accepted = !failure;
    result.refusedAt = failure ? done : -1;
    result.why = failure;
    // Once refused, the reader stays so, with the same answer.
    if (failure) {
        EXPECT_EQ(reader.readRows(lines.data(), wordsPerLine, 0).detail, failure.detail);
        EXPECT_EQ(reader.finish().detail, failure.detail);
    }
    result.image = QImage(width, height, QImage::Format_ARGB32);
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint32_t* line = lines.data() + static_cast<std::size_t>(y) * wordsPerLine;
        std::memcpy(result.image.scanLine(y), line, static_cast<std::size_t>(width) * 4);
        for (std::size_t x = static_cast<std::size_t>(width); x < wordsPerLine; ++x)
            result.paddingKept = result.paddingKept && line[x] == kUnwritten;
    }
    return result;
}

const std::vector<std::vector<std::int32_t>> kBandings = {
    {}, {1, 3, 7}, {1, 0, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, {5, 9}};

TEST(FastPngRowReader, AnyBandingGivesTheWholeImagesPixels)
{
    // 40000 pixels a row leave 3 to 13 rows in a 512 KB inflate batch, so
    // bands start and end inside batches and span them. With every row
    // Paeth, rows are unfiltered two at a time where they can be, and a band
    // may end between the two, or a batch.
    const std::uint32_t sizes[][2] = {{40000, 20}, {5, 13}};
    for (const int colorType : {0, 2, 4, 6})
        for (const auto& size : sizes)
            for (const bool allPaeth : {false, true}) {
                fixtures::FilteredPng png =
                    Png(size[0], size[1], colorType, size[0] + static_cast<std::uint32_t>(colorType));
                g_filterShift = colorType;
                png.filterOf = allPaeth ? [](std::uint32_t) { return 4; } : ShiftedFilter;
                png.idatSizes = {100000, 7, 300000};
                const QByteArray bytes = fixtures::MakeFilteredPng(png);
                const AllWays all = Decode(bytes);
                ASSERT_FALSE(all.fast.failure) << qPrintable(all.fast.failure.detail);
                ASSERT_FALSE(all.libpng.failure) << qPrintable(all.libpng.failure.detail);
                for (std::size_t b = 0; b < kBandings.size(); ++b) {
                    SCOPED_TRACE(testing::Message() << "type " << colorType << ", " << size[0] << "x" << size[1]
                                                    << ", banding " << b << (allPaeth ? ", all Paeth" : ""));
                    const Banded banded = ReadInBands(bytes, kBandings[b]);
                    ASSERT_TRUE(banded.accepted) << qPrintable(banded.why.detail);
                    EXPECT_TRUE(banded.image == all.libpng.image);
                    EXPECT_TRUE(banded.image == all.fast.image);
                    EXPECT_TRUE(banded.paddingKept);
                }
            }
    // Asking for more rows than are left is refused, not read past the image.
    const QByteArray small = fixtures::MakeFilteredPng(Png(4, 3, 6, 5));
    QBuffer buffer;
    buffer.setData(small);
    buffer.open(QIODevice::ReadOnly);
    PngReader reader(buffer);
    ASSERT_FALSE(reader.open());
    std::vector<std::uint32_t> words(4 * 4);
    EXPECT_FALSE(reader.readRows(words.data(), 4, 2));
    EXPECT_TRUE(reader.readRows(words.data() + 8, 4, 2));
    EXPECT_TRUE(reader.finish());
}

TEST(FastPngRowReader, DamageFoundLateIsRefusedNeverTaken)
{
    // A wide image in many IDATs and a text chunk before IEND: the early rows
    // come out before the damage is read, so it shows only in a later band or
    // in finish.
    const QByteArray text = fixtures::PngChunk("tEXt", QByteArray("Comment\0late", 12));
    const auto withText = [&](const fixtures::FilteredPng& png) {
        QByteArray bytes = fixtures::MakeFilteredPng(png);
        return bytes.insert(bytes.size() - 12, text);
    };
    fixtures::FilteredPng base = Png(40000, 16, 6, 4);
    base.idatSizes = {150000};
    const QByteArray whole = withText(base);
    ASSERT_TRUE(ReadInBands(whole, {1}).accepted);

    struct Damage {
        std::string what;
        QByteArray bytes;
        std::int32_t refusedAt; // rows out before the refusal, read a row at a time; -1: somewhere after the third
    };
    std::vector<Damage> damaged;
    QByteArray bad = whole;
    const qsizetype lastIdatCrc = whole.size() - 12 - text.size() - 4;
    bad[lastIdatCrc] = static_cast<char>(bad[lastIdatCrc] ^ 0x04);
    damaged.push_back({"CRC of the last IDAT", bad, -1});
    damaged.push_back({"cut in the last IDAT", whole.left(lastIdatCrc - 30), -1});
    damaged.push_back({"no IEND", whole.left(whole.size() - 12), 16});
    bad = whole;
    bad[bad.size() - 1] = static_cast<char>(bad[bad.size() - 1] ^ 0x01);
    damaged.push_back({"CRC of IEND", bad, 16});
    fixtures::FilteredPng variant = base;
    variant.badAdler = true;
    damaged.push_back({"Adler-32", withText(variant), -1});
    variant = base;
    variant.rowsStored = 15;
    damaged.push_back({"a row short", withText(variant), -1});
    variant.rowsStored = 17;
    damaged.push_back({"a row too many", withText(variant), 16});
    variant = base;
    variant.filterOf = [](std::uint32_t y) { return y == 11 ? 7 : 2; };
    damaged.push_back({"filter type 7 in row 11", withText(variant), 11});

    for (const Damage& damage : damaged) {
        const AllWays all = Decode(damage.bytes);
        EXPECT_TRUE(all.fast.failure) << damage.what;
        EXPECT_FALSE(all.fast.failure.declined()) << damage.what;
        EXPECT_EQ(all.combined.failure.detail, all.fast.failure.detail) << damage.what;
        for (std::size_t b = 0; b < kBandings.size(); ++b) {
            SCOPED_TRACE(testing::Message() << damage.what << ", banding " << b);
            const Banded banded = ReadInBands(damage.bytes, kBandings[b]);
            ASSERT_FALSE(banded.opened) << qPrintable(banded.opened.detail);
            EXPECT_FALSE(banded.accepted);
            EXPECT_EQ(banded.why.kind, all.fast.failure.kind);
            EXPECT_EQ(banded.why.detail, all.fast.failure.detail);
            if (b != 2) continue;
            if (damage.refusedAt < 0) {
                EXPECT_GE(banded.refusedAt, 3);
            } else {
                EXPECT_EQ(banded.refusedAt, damage.refusedAt);
            }
        }
    }
}

// A device that counts the bytes it hands out and every move back.
class CountingBuffer final : public QBuffer {
public:
    qint64 bytesRead = 0;
    int rewinds = 0;

    bool seek(qint64 to) override
    {
        rewinds += to < pos() ? 1 : 0;
        return QBuffer::seek(to);
    }

protected:
    qint64 readData(char* data, qint64 most) override
    {
        const qint64 got = QBuffer::readData(data, most);
        bytesRead += std::max<qint64>(got, 0);
        return got;
    }
};

TEST(FastPngReader, ADamagedCommonPngIsReadOnce)
{
    fixtures::FilteredPng base = Png(3000, 40, 6, 12);
    base.idatSizes = {100000};
    fixtures::FilteredPng badAdler = base;
    badAdler.badAdler = true;
    QByteArray badCrc = fixtures::MakeFilteredPng(base);
    badCrc[badCrc.size() - 13] = static_cast<char>(badCrc[badCrc.size() - 13] ^ 0x01); // the last IDAT's CRC
    for (const QByteArray& bytes : {fixtures::MakeFilteredPng(badAdler), badCrc}) {
        CountingBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        const DecodedImage decoded = DecodePng(buffer);
        EXPECT_EQ(decoded.failure.kind, FailureKind::Damaged) << qPrintable(decoded.failure.detail);
        EXPECT_LE(buffer.bytesRead, bytes.size());
        EXPECT_EQ(buffer.rewinds, 0);
    }
}

// The same PNG with its image data as one IDAT of all but the zlib stream's
// Adler-32, then those four bytes in IDATs of `pieces` bytes each (a piece
// of 0: the bytes left are dropped), flipped in one bit if `wrong`.
QByteArray AdlerInOwnIdats(const QByteArray& png, std::initializer_list<int> pieces, bool wrong)
{
    QByteArray before, stream, after;
    for (const qsizetype at : ChunkOffsets(png)) {
        const auto* p = reinterpret_cast<const unsigned char*>(png.constData()) + at;
        const qsizetype length = qsizetype{p[0]} << 24 | qsizetype{p[1]} << 16 | qsizetype{p[2]} << 8 | p[3];
        const QByteArray chunk = png.mid(at, length + 12);
        if (chunk.mid(4, 4) == "IDAT")
            stream += chunk.mid(8, length);
        else
            (stream.isEmpty() ? before : after) += chunk;
    }
    QByteArray adler = stream.right(4);
    if (wrong) adler[3] = static_cast<char>(adler[3] ^ 0x01);
    QByteArray idats = fixtures::PngChunk("IDAT", stream.left(stream.size() - 4));
    qsizetype at = 0;
    for (const int piece : pieces) {
        if (piece == 0) break;
        idats += fixtures::PngChunk("IDAT", adler.mid(at, piece));
        at += piece;
    }
    return png.left(8) + before + idats + after;
}

TEST(LibpngReader, DamageAtTheStreamsEndIsRefusedInEveryLayoutHoweverTheIdatsSplitIt)
{
    // libpng only warns about a wrong checksum in the IDAT after the rows,
    // and stops looking when it is spread over more: both are refused with
    // the fast reader's words, as is a checksum that is cut off.
    int layouts = 0;
    for (const fixtures::NamedFile& file : fixtures::SeedFiles()) {
        if (!file.name.endsWith(QStringLiteral(".png"))) continue;
        const AllWays whole = Decode(file.bytes);
        for (const auto& pieces : {std::initializer_list<int>{4}, {1, 1, 1, 1}, {2, 2}, {3, 1}}) {
            testing::Message where;
            where << qPrintable(file.name) << ", checksum in IDATs of";
            for (const int piece : pieces) where << ' ' << piece;
            SCOPED_TRACE(where);
            const AllWays split = Decode(AdlerInOwnIdats(file.bytes, pieces, false));
            ASSERT_FALSE(split.combined.failure) << qPrintable(split.combined.failure.detail);
            ASSERT_FALSE(split.libpng.failure) << qPrintable(split.libpng.failure.detail);
            EXPECT_TRUE(split.combined.image == whole.combined.image);
            EXPECT_TRUE(split.libpng.image == whole.libpng.image);
            const AllWays wrong = Decode(AdlerInOwnIdats(file.bytes, pieces, true));
            EXPECT_EQ(wrong.libpng.failure.detail, QStringLiteral("PNG: the zlib checksum is wrong"));
            EXPECT_EQ(wrong.combined.failure.detail, QStringLiteral("PNG: the zlib checksum is wrong"));
            EXPECT_TRUE(wrong.libpng.image.isNull());
            EXPECT_TRUE(wrong.combined.image.isNull());
        }
        const AllWays cut = Decode(AdlerInOwnIdats(file.bytes, {2, 0}, false));
        EXPECT_EQ(cut.libpng.failure.kind, FailureKind::Damaged) << qPrintable(file.name);
        EXPECT_EQ(cut.combined.failure.kind, FailureKind::Damaged) << qPrintable(file.name);
        ++layouts;
    }
    EXPECT_GE(layouts, 10); // palette, grey and colour at 1, 8 and 16 bits, interlaced, ...
}

} // namespace
