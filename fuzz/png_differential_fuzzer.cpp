// libFuzzer target: the fast PNG reader against libpng. Whatever the fast
// reader accepts, libpng must accept with the same pixels. Each input runs
// as it is and once more with every chunk's CRC made right, so that the
// mutations reach the zlib stream, the filters and the chunk rules instead
// of stopping at a CRC.
#include "imaging/limits.h"
#include "imaging/png_codec.h"
#include "imaging/png_fast_reader.h"

#include <QBuffer>

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

void Compare(const QByteArray& bytes)
{
    const FastPngResult fast = DecodeBytes(bytes, DecodeCommonPng);
    if (fast.outcome != FastPngOutcome::Decoded) {
        if (!fast.image.isNull()) Fault("an image with a refusal", fast.why);
        return;
    }
    const PngDecodeResult libpng = DecodeBytes(bytes, DecodePngWithLibpng);
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
    return 0;
}
