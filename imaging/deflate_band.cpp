#include "deflate_band.h"

#include <isa-l/igzip_lib.h>
#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mGdip::detail {

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
    std::vector<std::uint8_t> other;            // the second try at a band
    ~State()
    {
        for (libdeflate_compressor* compressor : compressors) libdeflate_free_compressor(compressor);
    }
};

BandDeflater::BandDeflater(std::optional<DeflateBackend> backend) : backend_(backend), state_(new State) {}

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

// libdeflate's level 1 crawls through long runs of zeros (transparent or
// flat areas after filtering), which its level 2 takes about twice as fast
// and smaller; elsewhere level 1 is the faster.
int ThoroughLevel(const std::uint8_t* data, std::size_t size)
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
        zeros += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) + static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
    }
#endif
    for (; i < size; ++i) zeros += data[i] == 0;
    return zeros * 8 >= size * 7 ? 2 : 1;
}

bool CompressThorough(libdeflate_compressor* (&compressors)[2], Scratch& scratch, const std::uint8_t* data,
                      std::size_t size, bool last, std::vector<std::uint8_t>& out)
{
    const int level = ThoroughLevel(data, size);
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

// Reads a deflate stream's bits, least significant first, as the format
// packs them. Reading past the end yields zeros and marks the reader failed.
class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool failed() const { return position() > size_ * 8; }
    std::size_t position() const { return next_ * 8 - static_cast<std::size_t>(count_); }

    std::uint32_t peek(int count)
    {
        if (count_ < count) refill();
        return static_cast<std::uint32_t>(buffer_ & ((std::uint64_t{1} << count) - 1));
    }
    void drop(int count)
    {
        buffer_ >>= count;
        count_ -= count;
    }
    std::uint32_t take(int count)
    {
        const std::uint32_t value = peek(count);
        drop(count);
        return value;
    }
    void skipToByte() { drop(count_ % 8); }
    void skipBytes(std::size_t count)
    {
        const std::size_t buffered = static_cast<std::size_t>(count_) / 8;
        if (count <= buffered) {
            drop(static_cast<int>(count * 8));
            return;
        }
        next_ = std::min(next_ + (count - buffered), size_ + 1);
        buffer_ = 0;
        count_ = 0;
    }

private:
    void refill()
    {
        while (count_ <= 56) {
            const std::uint64_t byte = next_ < size_ ? data_[next_] : 0;
            buffer_ |= byte << count_;
            ++next_;
            count_ += 8;
        }
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t next_ = 0; // bytes taken into the buffer
    std::uint64_t buffer_ = 0;
    int count_ = 0;        // bits in the buffer
};

// A canonical Huffman code: codes of up to kTableBits bits are decoded by
// one table look-up, longer ones a bit at a time.
class Huffman {
public:
    static constexpr int kMaxBits = 15, kTableBits = 10;

    void build(const std::uint8_t* lengths, int count)
    {
        std::fill(std::begin(count_), std::end(count_), 0);
        std::fill(std::begin(table_), std::end(table_), 0);
        for (int i = 0; i < count; ++i) ++count_[lengths[i]];
        count_[0] = 0;
        int offsets[kMaxBits + 2] = {};
        int nextCode[kMaxBits + 2] = {};
        for (int len = 1; len <= kMaxBits; ++len) {
            offsets[len + 1] = offsets[len] + count_[len];
            nextCode[len + 1] = (nextCode[len] + count_[len]) << 1;
        }
        for (int i = 0; i < count; ++i) {
            const int len = lengths[i];
            if (!len) continue;
            symbols_[offsets[len]++] = static_cast<std::uint16_t>(i);
            const int code = nextCode[len]++;
            if (len > kTableBits || code >= (1 << len)) continue;
            int reversed = 0;
            for (int bit = 0; bit < len; ++bit) reversed |= ((code >> bit) & 1) << (len - 1 - bit);
            for (int at = reversed; at < (1 << kTableBits); at += 1 << len)
                table_[at] = static_cast<std::uint16_t>(len << 9 | i);
        }
    }
    // The next symbol, or -1.
    int decode(BitReader& in) const
    {
        const std::uint32_t bits = in.peek(kMaxBits);
        if (const std::uint16_t entry = table_[bits & ((1u << kTableBits) - 1)]) {
            in.drop(entry >> 9);
            return entry & 511;
        }
        int code = 0, first = 0, index = 0;
        for (int len = 1; len <= kMaxBits; ++len) {
            code |= static_cast<int>((bits >> (len - 1)) & 1);
            const int count = count_[len];
            if (code - first < count) {
                in.drop(len);
                return symbols_[index + code - first];
            }
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1;
    }

private:
    int count_[kMaxBits + 1] = {};
    std::uint16_t symbols_[320] = {};
    std::uint16_t table_[1 << kTableBits] = {}; // length << 9 | symbol; 0: longer or no code
};

constexpr int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Walks the symbols of a Huffman-coded block up to its end-of-block code.
bool SkipCodedBlock(BitReader& in, const Huffman& literals, const Huffman& distances)
{
    while (true) {
        const int symbol = literals.decode(in);
        if (symbol < 0 || symbol > 285) return false;
        if (symbol == 256) return !in.failed();
        if (symbol < 256) continue;
        in.take(kLengthExtra[symbol - 257]);
        const int distance = distances.decode(in);
        if (distance < 0 || distance > 29) return false;
        in.take(kDistanceExtra[distance]);
        if (in.failed()) return false;
    }
}

bool ReadDynamicCodes(BitReader& in, Huffman& literals, Huffman& distances)
{
    const int literalCount = static_cast<int>(in.take(5)) + 257;
    const int distanceCount = static_cast<int>(in.take(5)) + 1;
    const int codeLengthCount = static_cast<int>(in.take(4)) + 4;
    static constexpr int kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    std::uint8_t codeLengths[19] = {};
    for (int i = 0; i < codeLengthCount; ++i) codeLengths[kOrder[i]] = static_cast<std::uint8_t>(in.take(3));
    Huffman lengthCode;
    lengthCode.build(codeLengths, 19);
    std::uint8_t lengths[320] = {};
    for (int i = 0; i < literalCount + distanceCount;) {
        const int symbol = lengthCode.decode(in);
        if (symbol < 0) return false;
        if (symbol < 16) {
            lengths[i++] = static_cast<std::uint8_t>(symbol);
            continue;
        }
        int repeat = 0;
        std::uint8_t value = 0;
        if (symbol == 16) {
            if (i == 0) return false;
            value = lengths[i - 1];
            repeat = 3 + static_cast<int>(in.take(2));
        } else {
            repeat = symbol == 17 ? 3 + static_cast<int>(in.take(3)) : 11 + static_cast<int>(in.take(7));
        }
        if (i + repeat > literalCount + distanceCount) return false;
        while (repeat--) lengths[i++] = value;
    }
    literals.build(lengths, literalCount);
    distances.build(lengths + literalCount, distanceCount);
    return !in.failed();
}

void BuildFixedCodes(Huffman& literals, Huffman& distances)
{
    std::uint8_t lengths[288];
    std::fill(lengths, lengths + 144, 8);
    std::fill(lengths + 144, lengths + 256, 9);
    std::fill(lengths + 256, lengths + 280, 7);
    std::fill(lengths + 280, lengths + 288, 8);
    literals.build(lengths, 288);
    std::fill(lengths, lengths + 30, 5);
    distances.build(lengths, 30);
}

} // namespace

bool BandDeflater::compress(const std::uint8_t* data, std::size_t size, bool last, std::vector<std::uint8_t>& out)
{
    State& s = *state_;
    try {
        if (backend_ == DeflateBackend::Thorough) return CompressThorough(s.compressors, s.scratch, data, size, last, out);
        const std::size_t start = out.size();
        if (!CompressFast(s.levelBuffer, s.scratch, data, size, last, out)) return false;
        if (backend_ || (out.size() - start) * 4 > size) return true;
        s.other.clear();
        if (!CompressThorough(s.compressors, s.scratch, data, size, last, s.other)) return true; // ISA-L's stream stands
        if (s.other.size() < out.size() - start) {
            out.resize(start);
            out.insert(out.end(), s.other.begin(), s.other.end());
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool FindDeflateEnds(const std::uint8_t* data, std::size_t size, DeflateEnds* ends)
{
    BitReader in(data, size);
    Huffman literals, distances;
    while (true) {
        const std::size_t header = in.position();
        const bool final = in.take(1);
        const std::uint32_t type = in.take(2);
        if (in.failed()) return false;
        if (type == 0) {
            in.skipToByte();
            const std::uint32_t length = in.take(16), check = in.take(16);
            if (in.failed() || (length ^ 0xFFFFu) != check) return false;
            in.skipBytes(length);
        } else if (type == 1) {
            BuildFixedCodes(literals, distances);
            if (!SkipCodedBlock(in, literals, distances)) return false;
        } else if (type == 2) {
            if (!ReadDynamicCodes(in, literals, distances) || !SkipCodedBlock(in, literals, distances)) return false;
        } else {
            return false;
        }
        if (in.failed()) return false;
        if (final) {
            *ends = {header, in.position()};
            return true;
        }
    }
}

bool ContinueDeflateStream(std::vector<std::uint8_t>& stream, std::size_t from)
{
    DeflateEnds ends;
    if (!FindDeflateEnds(stream.data() + from, stream.size() - from, &ends)) return false;
    std::uint8_t* data = stream.data() + from;
    data[ends.lastBlockBit / 8] &= static_cast<std::uint8_t>(~(1u << (ends.lastBlockBit % 8)));
    const std::size_t usedBytes = (ends.endBit + 7) / 8;
    stream.resize(from + usedBytes);
    const int usedInLast = static_cast<int>(ends.endBit % 8);
    if (usedInLast) stream.back() &= static_cast<std::uint8_t>((1u << usedInLast) - 1);
    // An empty stored block: three zero header bits, then to the byte
    // boundary, then its length 0 and the length's complement.
    const int spare = usedInLast ? 8 - usedInLast : 0;
    if (spare < 3) stream.push_back(0);
    for (const std::uint8_t byte : {0x00, 0x00, 0xFF, 0xFF}) stream.push_back(byte);
    return true;
}

} // namespace mGdip::detail
