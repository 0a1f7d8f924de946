// libFuzzer target: the fast PNG reader against libpng. Whatever the fast
// reader accepts, libpng must accept with the same pixels; whatever it
// refuses as damage (not declines), libpng must refuse too, but for damage
// after the last row that libpng takes (a wrong checksum there is refused
// by both). The reader must give
// the same answer, and the same pixels, when read in bands. Each input runs
// as it is, once more with every chunk's CRC made right, and once with the
// zlib checksum made to match what ISA-L inflates too, so that mutations
// reach the deflate data, the filters and the chunk rules instead of
// stopping at a checksum. The banded reading unfilters Paeth rows on an
// instruction set picked from the bytes, the whole one on the best the
// processor has, so every path is checked against another and libpng.
#include "imaging/common/limits.h"
#include "imaging/png/png_libpng_reader.h"
#include "imaging/png/png_reader.h"
#if defined(__x86_64__)
#include "imaging/png/png_unfilter_paeth.h"
#endif

#include <QBuffer>

#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

namespace {

using namespace imaging;
using namespace imaging::png;

[[noreturn]] void Fault(const char* what, const char* detail)
{
    std::fprintf(stderr, "png_differential_fuzzer: %s (%s)\n", what, detail);
    std::abort();
}

template <typename Decode>
auto DecodeBytes(const QByteArray& bytes, Decode decode)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return decode(buffer);
}

// The one known difference (png_reader.h): zlib refuses a Huffman code
// that is incomplete, ISA-L decodes with it. Its words name nothing else.
bool IncompleteCodeOnly(const QString& libpngReason)
{
    for (const char* words : {"invalid literal/lengths set", "invalid distances set", "invalid code lengths set"})
        if (libpngReason.contains(QLatin1String(words))) return true;
    return false;
}

DecodedImage DecodeWhole(QIODevice& in)
{
    PngReader reader(in);
    return ReadWholeImage(reader);
}

struct BandedResult {
    DecodedImage decoded;
    bool atTheEnd = false; // refused by finish(), after the last row
};

// The row reader, in bands of 1 to 8 rows chosen from the bytes.
BandedResult DecodeInBands(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    PngReader reader(buffer);
    BandedResult result;
    if ((result.decoded.failure = reader.open())) return result;
    QImage image(reader.width(), reader.height(), QImage::Format_ARGB32);
    if (image.isNull()) {
        result.decoded.failure = MakeFailure(FailureKind::OutOfMemory);
        return result;
    }
    const std::size_t wordsPerLine = static_cast<std::size_t>(image.bytesPerLine()) / 4;
    std::uint32_t step = static_cast<std::uint32_t>(qHash(bytes));
    for (std::int32_t y = 0; y < image.height();) {
        const std::int32_t rows = std::min(image.height() - y, static_cast<std::int32_t>(step % 8) + 1);
        step = step * 1103515245u + 12345u;
        if ((result.decoded.failure =
                    reader.readRows(reinterpret_cast<std::uint32_t*>(image.scanLine(y)), wordsPerLine, rows)))
            return result;
        y += rows;
    }
    result.atTheEnd = true;
    if ((result.decoded.failure = reader.finish())) return result;
    result.atTheEnd = false;
    result.decoded.image = std::move(image);
    return result;
}

// DecodeInBands on a Paeth path chosen by the bytes (the best where the processor lacks it).
BandedResult DecodeInBandsOnSomePath(const QByteArray& bytes)
{
#if defined(__x86_64__)
    const std::size_t pick = qHash(bytes) >> 4 & 0xFF;
    ForcePaethPathForTesting(kPaethPaths[pick % std::size(kPaethPaths)]);
    BandedResult result = DecodeInBands(bytes);
    ForcePaethPathForTesting(BestPaethPath());
    return result;
#else
    return DecodeInBands(bytes);
#endif
}

void Compare(const QByteArray& bytes)
{
    const DecodedImage fast = DecodeBytes(bytes, DecodeWhole);
    const BandedResult banded = DecodeInBandsOnSomePath(bytes);
    const QByteArray why = fast.failure.detail.toUtf8();
    if (banded.decoded.failure.kind != fast.failure.kind || banded.decoded.failure.detail != fast.failure.detail)
        Fault("banded reading answers otherwise than the whole", why.constData());
    if (banded.decoded.image != fast.image) Fault("banded reading gives other pixels than the whole", "");
    if (fast.failure && !fast.image.isNull()) Fault("an image with a refusal", why.constData());
    if (fast.failure.declined() || fast.failure.kind == FailureKind::OutOfMemory) return;
    const DecodedImage libpng = DecodeBytes(bytes, DecodePngWithLibpng);
    if (fast.failure) {
        // Damage libpng must see too, unless it lies past the image data in
        // the stream's tail or the chunks after it, which libpng takes; a
        // wrong checksum is damage to both.
        const bool onlyWarnedAbout =
            (banded.atTheEnd || why.endsWith("after the image data")) && !why.endsWith("the zlib checksum is wrong");
        if (!libpng.failure && !onlyWarnedAbout) Fault("the fast reader refuses what libpng takes", why.constData());
        return;
    }
    if (libpng.failure && IncompleteCodeOnly(libpng.failure.detail)) return;
    if (libpng.failure) Fault("the fast reader accepts what libpng refuses", qPrintable(libpng.failure.detail));
    if (fast.image != libpng.image) Fault("the fast reader's pixels differ from libpng's", "");
}

// The same bytes with the CRC of every whole chunk recomputed.
QByteArray WithCrcsFixed(QByteArray bytes)
{
    auto* p = reinterpret_cast<unsigned char*>(bytes.data());
    for (qsizetype at = 8; at + 12 <= bytes.size();) {
        const std::uint32_t length =
            std::uint32_t{p[at]} << 24 | std::uint32_t{p[at + 1]} << 16 | std::uint32_t{p[at + 2]} << 8 | p[at + 3];
        if (length > static_cast<std::uint64_t>(bytes.size() - at - 12)) break;
        const auto crc = static_cast<std::uint32_t>(crc32(0, p + at + 4, length + 4));
        for (int i = 0; i < 4; ++i) p[at + 8 + length + i] = static_cast<unsigned char>(crc >> (24 - 8 * i));
        at += 12 + static_cast<qsizetype>(length);
    }
    return bytes;
}

std::uint32_t BigEndian32(const unsigned char* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// The same bytes with the Adler-32 after the deflate data set to that of
// ISA-L's output (and the CRCs fixed); empty when ISA-L cannot inflate it.
QByteArray WithAdlerFixed(QByteArray bytes)
{
    auto* p = reinterpret_cast<unsigned char*>(bytes.data());
    std::vector<qsizetype> where; // the file offset of each byte of the zlib stream
    std::vector<unsigned char> stream;
    for (qsizetype at = 8; at + 12 <= bytes.size();) {
        const std::uint32_t length = BigEndian32(p + at);
        if (length > static_cast<std::uint64_t>(bytes.size() - at - 12)) break;
        if (std::memcmp(p + at + 4, "IDAT", 4) == 0)
            for (std::uint32_t i = 0; i < length; ++i) {
                where.push_back(at + 8 + i);
                stream.push_back(p[at + 8 + i]);
            }
        at += 12 + static_cast<qsizetype>(length);
    }
    if (stream.size() < 7) return {};
    static std::vector<unsigned char> out(8 << 20);
    static inflate_state state;
    isal_inflate_init(&state);
    state.next_in = stream.data() + 2;
    state.avail_in = static_cast<std::uint32_t>(stream.size() - 2);
    state.next_out = out.data();
    state.avail_out = static_cast<std::uint32_t>(out.size());
    if (isal_inflate_stateless(&state) != ISAL_DECOMP_OK) return {};
    const std::size_t end = static_cast<std::size_t>(state.next_in - stream.data());
    if (end + 4 > stream.size()) return {};
    const auto adler = static_cast<std::uint32_t>(adler32(1, out.data(), state.total_out));
    for (int i = 0; i < 4; ++i)
        p[where[end + static_cast<std::size_t>(i)]] = static_cast<unsigned char>(adler >> (24 - 8 * i));
    return WithCrcsFixed(bytes);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Small images keep every run fast; the limit's logic is the same.
    imaging::SetPixelLimitForTesting(std::int64_t{1} << 22);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    Compare(bytes);
    const QByteArray fixed = WithCrcsFixed(bytes);
    if (fixed != bytes) Compare(fixed);
    const QByteArray checksummed = WithAdlerFixed(bytes);
    if (!checksummed.isEmpty() && checksummed != fixed) Compare(checksummed);
    return 0;
}
