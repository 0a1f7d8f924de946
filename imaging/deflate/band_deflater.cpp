#include "band_deflater.h"

#include "deflate_blocks.h"
#include "run_deflater.h"

#include <isa-l/igzip_lib.h>
#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace imaging::deflate {

namespace {

// Room for a compressor's output, grown but never cleared: the compressors
// write every byte they report, and clearing megabytes per band would cost
// as much as compressing a flat one.
class Scratch {
public:
    std::uint8_t* room(std::size_t size, std::size_t keep = 0)
    {
        if (size > size_) {
            std::unique_ptr<std::uint8_t[]> larger(new std::uint8_t[size]);
            if (keep) std::memcpy(larger.get(), data_.get(), keep);
            data_ = std::move(larger);
            size_ = size;
        }
        return data_.get();
    }
    std::size_t size() const { return size_; }

private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t size_ = 0;
};

} // namespace

struct BandDeflater::State {
    Scratch scratch;
    std::vector<std::uint8_t> levelBuffer; // ISA-L's working memory
    libdeflate_compressor* compressors[2] = {}; // levels 1 and 2
    RunDeflater runs;
    std::vector<std::uint8_t> other; // the second try at a band
    ~State()
    {
        for (libdeflate_compressor* compressor : compressors) libdeflate_free_compressor(compressor);
    }
};

BandDeflater::BandDeflater(std::optional<DeflateBackend> backend) : backend_(backend), state_(new State) { }

BandDeflater::~BandDeflater() = default;

namespace {

bool CompressFast(std::vector<std::uint8_t>& levelBuffer, Scratch& scratch, const std::uint8_t* data, std::size_t size,
    bool last, std::vector<std::uint8_t>& out)
{
    if (levelBuffer.empty()) levelBuffer.resize(ISAL_DEF_LVL1_DEFAULT);
    isal_zstream stream;
    isal_deflate_init(&stream);
    stream.level = 1;
    stream.level_buf = levelBuffer.data();
    stream.level_buf_size = static_cast<std::uint32_t>(levelBuffer.size());
    stream.gzip_flag = IGZIP_DEFLATE;
    stream.flush = last ? NO_FLUSH : SYNC_FLUSH;
    std::size_t room = size + size / 8 + 1024, used = 0;
    std::uint8_t* buffer = scratch.room(room);
    room = scratch.size();
    while (true) {
        // ISA-L counts in 32 bits: feed at most 1 GB at a time.
        const std::size_t piece = std::min<std::size_t>(size, std::size_t{1} << 30);
        stream.next_in = const_cast<std::uint8_t*>(data);
        stream.avail_in = static_cast<std::uint32_t>(piece);
        stream.end_of_stream = last && piece == size;
        stream.next_out = buffer + used;
        stream.avail_out = static_cast<std::uint32_t>(std::min<std::size_t>(room - used, std::size_t{1} << 30));
        const std::uint32_t before = stream.avail_out;
        if (isal_deflate(&stream) != COMP_OK) return false;
        used += before - stream.avail_out;
        const std::size_t taken = piece - stream.avail_in;
        data += taken;
        size -= taken;
        const bool finished = last ? stream.internal_state.state == ZSTATE_END
                                   : size == 0 && stream.avail_in == 0 && stream.avail_out > 0;
        if (finished) break;
        if (room - used < 4096) {
            buffer = scratch.room(room + room / 2 + 4096, used);
            room = scratch.size();
        }
    }
    out.insert(out.end(), buffer, buffer + used);
    return true;
}

std::size_t CountZeros(const std::uint8_t* data, std::size_t size)
{
    std::size_t zeros = 0, i = 0;
#if defined(__SSE2__)
    // 16 bytes a step; the per-lane counts are summed before they can wrap.
    const __m128i zero = _mm_setzero_si128();
    while (size - i >= 16) {
        const std::size_t steps = std::min<std::size_t>((size - i) / 16, 255);
        __m128i counts = zero;
        for (std::size_t k = 0; k < steps; ++k, i += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            counts = _mm_sub_epi8(counts, _mm_cmpeq_epi8(bytes, zero));
        }
        const __m128i sums = _mm_sad_epu8(counts, zero);
        zeros +=
            static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) + static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
    }
#endif
    for (; i < size; ++i) zeros += data[i] == 0;
    return zeros;
}

// Transparent or flat areas after filtering: long runs of zeros.
bool ZeroHeavy(const std::uint8_t* data, std::size_t size) { return CountZeros(data, size) * 8 >= size * 7; }

// libdeflate's level 1 crawls through long runs of zeros, which its level 2
// takes about twice as fast and smaller; elsewhere level 1 is the faster.
bool CompressThorough(libdeflate_compressor* (&compressors)[2], Scratch& scratch, const std::uint8_t* data,
    std::size_t size, bool zeroHeavy, bool last, std::vector<std::uint8_t>& out)
{
    const int level = zeroHeavy ? 2 : 1;
    libdeflate_compressor*& compressor = compressors[level - 1];
    if (!compressor) compressor = libdeflate_alloc_compressor(level);
    if (!compressor) return false;
    const std::size_t bound = libdeflate_deflate_compress_bound(compressor, size);
    std::uint8_t* buffer = scratch.room(bound);
    const std::size_t written = libdeflate_deflate_compress(compressor, data, size, buffer, bound);
    if (written == 0) return false;
    const std::size_t start = out.size();
    out.insert(out.end(), buffer, buffer + written);
    return last || ContinueDeflateStream(out, start);
}

} // namespace

bool BandDeflater::compress(const std::uint8_t* data, std::size_t size, bool last, std::vector<std::uint8_t>& out)
{
    State& s = *state_;
    try {
        if (backend_ == DeflateBackend::Thorough)
            return CompressThorough(s.compressors, s.scratch, data, size, ZeroHeavy(data, size), last, out);
        if (backend_ == DeflateBackend::Runs) {
            s.runs.compress(data, size, last, out);
            return true;
        }
        const std::size_t start = out.size();
        if (!CompressFast(s.levelBuffer, s.scratch, data, size, last, out)) return false;
        const std::size_t fast = out.size() - start;
        if (backend_ || fast * 4 > size) return true;
        // Beyond 512:1 ISA-L is within a factor of two of deflate's best
        // (about 1032:1), so libdeflate has little left to gain, and it
        // crawls through such runs (an empty canvas: 60 times ISA-L's time).
        bool thorough = fast * 512 > size;
        const auto keepOtherIfSmaller = [&] {
            if (s.other.size() < out.size() - start) {
                out.resize(start);
                out.insert(out.end(), s.other.begin(), s.other.end());
            }
        };
        const bool zeroHeavy = ZeroHeavy(data, size);
        if (zeroHeavy) {
            // Runs smaller than ISA-L's stream leave libdeflate little to
            // find (a few percent); runs larger mean the band repeats shapes
            // at a distance (text's glyphs, patterns), which libdeflate
            // matches and the run encoder cannot, which then stops early.
            s.other.clear();
            const bool ahead = s.runs.compress(data, size, last, s.other, fast);
            thorough = thorough && !ahead;
            if (ahead) keepOtherIfSmaller();
        }
        if (thorough) {
            s.other.clear();
            if (CompressThorough(s.compressors, s.scratch, data, size, zeroHeavy, last, s.other)) keepOtherIfSmaller();
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace imaging::deflate
