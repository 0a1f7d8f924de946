// The walk over a raw deflate stream's block headers and codes: where its
// last block starts and where its data ends, without inflating it.
#include "deflate_blocks.h"

#include <algorithm>
#include <iterator>

namespace imaging::deflate {
namespace {

// The format's numbers (RFC 1951).
constexpr int kEndOfBlock = 256; // the literal/length symbol that ends a block
constexpr int kFirstLength = 257; // the first length symbol; also the fewest literal/length codes
constexpr int kLengthSymbols = 29; // length symbols 257..285
constexpr int kDistanceSymbols = 30; // distance symbols 0..29
constexpr int kCodeLengthSymbols = 19; // symbols of the code that codes the code lengths
constexpr int kFixedLiteralSymbols = 288; // literal/length symbols of the fixed code
constexpr int kMaxCodeLengths = 320; // literal/length and distance code lengths of one dynamic block, at most
constexpr std::uint32_t kStoredBlock = 0, kFixedBlock = 1, kDynamicBlock = 2;

// Reads a deflate stream's bits, least significant first, as the format
// packs them. Reading past the end yields zeros and marks the reader failed.
class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) { }

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
    int count_ = 0; // bits in the buffer
};

// A canonical Huffman code: codes of up to kTableBits bits are decoded by
// one table look-up, longer ones a bit at a time.
class Huffman {
public:
    static constexpr int kMaxBits = 15, kTableBits = 10;
    // A table entry: the code's length above kSymbolBits, its symbol below.
    static constexpr int kSymbolBits = 9;

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
                table_[at] = static_cast<std::uint16_t>(len << kSymbolBits | i);
        }
    }
    // The next symbol, or -1.
    int decode(BitReader& in) const
    {
        const std::uint32_t bits = in.peek(kMaxBits);
        if (const std::uint16_t entry = table_[bits & ((1u << kTableBits) - 1)]) {
            in.drop(entry >> kSymbolBits);
            return entry & ((1 << kSymbolBits) - 1);
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
    std::uint16_t symbols_[kMaxCodeLengths] = {};
    std::uint16_t table_[1 << kTableBits] = {}; // 0: a longer code, or none
};

constexpr int kLengthExtra[kLengthSymbols] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int kDistanceExtra[kDistanceSymbols] = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Walks the symbols of a Huffman-coded block up to its end-of-block code.
bool SkipCodedBlock(BitReader& in, const Huffman& literals, const Huffman& distances)
{
    while (true) {
        const int symbol = literals.decode(in);
        if (symbol < 0 || symbol >= kFirstLength + kLengthSymbols) return false;
        if (symbol == kEndOfBlock) return !in.failed();
        if (symbol < kEndOfBlock) continue;
        in.take(kLengthExtra[symbol - kFirstLength]);
        const int distance = distances.decode(in);
        if (distance < 0 || distance >= kDistanceSymbols) return false;
        in.take(kDistanceExtra[distance]);
        if (in.failed()) return false;
    }
}

bool ReadDynamicCodes(BitReader& in, Huffman& literals, Huffman& distances)
{
    const int literalCount = static_cast<int>(in.take(5)) + kFirstLength;
    const int distanceCount = static_cast<int>(in.take(5)) + 1;
    const int codeLengthCount = static_cast<int>(in.take(4)) + 4;
    static constexpr int kOrder[kCodeLengthSymbols] = {
        16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    std::uint8_t codeLengths[kCodeLengthSymbols] = {};
    for (int i = 0; i < codeLengthCount; ++i) codeLengths[kOrder[i]] = static_cast<std::uint8_t>(in.take(3));
    Huffman lengthCode;
    lengthCode.build(codeLengths, kCodeLengthSymbols);
    std::uint8_t lengths[kMaxCodeLengths] = {};
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
    // The fixed code's lengths by symbol range, as the format defines them.
    std::uint8_t lengths[kFixedLiteralSymbols];
    std::fill(lengths, lengths + 144, 8);
    std::fill(lengths + 144, lengths + kEndOfBlock, 9);
    std::fill(lengths + kEndOfBlock, lengths + 280, 7);
    std::fill(lengths + 280, lengths + kFixedLiteralSymbols, 8);
    literals.build(lengths, kFixedLiteralSymbols);
    std::fill(lengths, lengths + kDistanceSymbols, 5);
    distances.build(lengths, kDistanceSymbols);
}

} // namespace

bool FindDeflateEnds(const std::uint8_t* data, std::size_t size, DeflateEnds* ends)
{
    BitReader in(data, size);
    Huffman literals, distances;
    while (true) {
        const std::size_t header = in.position();
        const bool final = in.take(1);
        const std::uint32_t type = in.take(2);
        if (in.failed()) return false;
        if (type == kStoredBlock) {
            in.skipToByte();
            const std::uint32_t length = in.take(16), check = in.take(16);
            if (in.failed() || (length ^ 0xFFFFu) != check) return false;
            in.skipBytes(length);
        } else if (type == kFixedBlock) {
            BuildFixedCodes(literals, distances);
            if (!SkipCodedBlock(in, literals, distances)) return false;
        } else if (type == kDynamicBlock) {
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

} // namespace imaging::deflate
