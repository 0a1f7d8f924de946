// libFuzzer target: the fast PNG reader against libpng. Whatever the fast
// reader accepts, libpng must accept with the same pixels, and the reader
// must take the same files with the same pixels when read in bands. Each input runs
// as it is, once more with every chunk's CRC made right, and once with the
// zlib checksum made to match what ISA-L inflates too, so that mutations
// reach the deflate data, the filters and the chunk rules instead of
// stopping at a checksum. The banded reading unfilters Paeth rows on an
// instruction set picked from the bytes, the whole one on the best the
// processor has, so every path is checked against another and libpng.
#include "imaging/limits.h"
#include "imaging/png_codec.h"
#include "imaging/png_fast_reader.h"
#if defined(__x86_64__)
#include "imaging/png_unfilter_paeth.h"
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

using namespace mGdip::detail;

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

// The one known difference (png_fast_reader.h): zlib refuses a Huffman code
// that is incomplete, ISA-L decodes with it. Its words name nothing else.
bool IncompleteCodeOnly(const QString& libpngReason)
{
    for (const char* words : {"invalid literal/lengths set", "invalid distances set", "invalid code lengths set"})
        if (libpngReason.contains(QLatin1String(words))) return true;
    return false;
}

// The row reader, in bands of 1 to 8 rows chosen from the bytes: the
// whole image when it takes the file, else null.
QImage DecodeInBands(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    CommonPngRowReader reader(buffer);
    if (reader.open() != FastPngOutcome::Decoded) return {};
    QImage image(reader.width(), reader.height(), QImage::Format_ARGB32);
    if (image.isNull()) return {};
    const std::size_t wordsPerLine = static_cast<std::size_t>(image.bytesPerLine()) / 4;
    std::uint32_t step = static_cast<std::uint32_t>(qHash(bytes));
    for (std::int32_t y = 0; y < image.height();) {
        const std::int32_t rows = std::min(image.height() - y, static_cast<std::int32_t>(step % 8) + 1);
        step = step * 1103515245u + 12345u;
        if (!reader.readRows(reinterpret_cast<std::uint32_t*>(image.scanLine(y)), wordsPerLine, rows)) return {};
        y += rows;
    }
    return reader.finish() ? image : QImage();
}

// DecodeInBands on a Paeth path chosen by the bytes (the best where the processor lacks it).
QImage DecodeInBandsOnSomePath(const QByteArray& bytes)
{
#if defined(__x86_64__)
    const std::size_t pick = qHash(bytes) >> 4 & 0xFF;
    ForcePaethPathForTesting(kPaethPaths[pick % std::size(kPaethPaths)]);
    QImage image = DecodeInBands(bytes);
    ForcePaethPathForTesting(BestPaethPath());
    return image;
#else
    return DecodeInBands(bytes);
#endif
}

void Compare(const QByteArray& bytes)
{
    const FastPngResult fast = DecodeBytes(bytes, DecodeCommonPng);
    const QImage banded = DecodeInBandsOnSomePath(bytes);
    if (banded.isNull() != fast.image.isNull()) Fault("banded reading takes other files than the whole", fast.why);
    if (banded != fast.image) Fault("banded reading gives other pixels than the whole", "");
    if (fast.outcome != FastPngOutcome::Decoded) {
        if (!fast.image.isNull()) Fault("an image with a refusal", fast.why);
        return;
    }
    const PngDecodeResult libpng = DecodeBytes(bytes, DecodePngWithLibpng);
    if (libpng.failure && IncompleteCodeOnly(libpng.failure.detail)) return;
    if (libpng.failure) Fault("the fast reader accepts what libpng refuses", qPrintable(libpng.failure.detail));
    if (fast.image != libpng.image) Fault("the fast reader's pixels differ from libpng's", "");
}

// The same bytes with the CRC of every whole chunk recomputed.
QByteArray WithCrcsFixed(QByteArray bytes)
{
    auto* p = reinterpret_cast<unsigned char*>(bytes.data());
    for (qsizetype at = 8; at + 12 <= bytes.size();) {
        const std::uint32_t length = std::uint32_t{p[at]} << 24 | std::uint32_t{p[at + 1]} << 16 | std::uint32_t{p[at + 2]} << 8 | p[at + 3];
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
    for (int i = 0; i < 4; ++i) p[where[end + static_cast<std::size_t>(i)]] = static_cast<unsigned char>(adler >> (24 - 8 * i));
    return WithCrcsFixed(bytes);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Small images keep every run fast; the limit's logic is the same.
    mGdip::SetPixelLimitForTesting(std::int64_t{1} << 22);
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
