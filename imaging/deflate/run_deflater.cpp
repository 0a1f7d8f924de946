#include "run_deflater.h"

#include "huffman_lengths.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace imaging::deflate {
namespace {

// The format's numbers (RFC 1951).
constexpr int kEndOfBlock = 256;
constexpr int kFirstLength = 257;
constexpr int kLiteralLengthSymbols = 286;
constexpr int kDistanceSymbols = 30;
constexpr int kCodeLengthSymbols = 19;
constexpr int kMaxBits = 15, kMaxCodeLengthBits = 7;
constexpr std::size_t kMinMatch = 3, kMaxMatch = 258;
constexpr std::size_t kMaxStoredBytes = 65535;
constexpr int kLengthBase[29] = {
    3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr int kLengthExtra[29] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint8_t kCodeLengthOrder[kCodeLengthSymbols] = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// A block's symbols before it is written: up to this many, so a block's
// Huffman codes follow the data and the symbols stay in the cache.
constexpr std::size_t kBlockSymbols = std::size_t{1} << 16;

// Symbols are kept as 16-bit values: a literal as itself, a match as
// kMatch + (distance - 1) * kDistanceStep + length.
constexpr int kMatch = 256, kDistanceStep = 512;
// Besides runs (distance 1), repeats of the 8-bit RGBA pixel before:
// residues that recur pixel by pixel, as along a gradient or an edge.
// Distances 1 to 4 have codes of their own, without extra bits; shorter
// repeats of a pixel seldom cost less than their literals.
constexpr std::size_t kPixelDistance = 4, kMinPixelMatch = 4;

// The length symbol (0..28, above kFirstLength) of every match length.
constexpr std::array<std::uint8_t, kMaxMatch + 1> kLengthSymbol = [] {
    std::array<std::uint8_t, kMaxMatch + 1> table{};
    int symbol = 0;
    for (std::size_t length = kMinMatch; length <= kMaxMatch; ++length) {
        while (symbol < 28 && static_cast<std::size_t>(kLengthBase[symbol + 1]) <= length) ++symbol;
        table[length] = static_cast<std::uint8_t>(symbol);
    }
    return table;
}();

// How many bytes from `at` (at most `most`) equal those from `from`.
std::size_t MatchLength(const std::uint8_t* at, const std::uint8_t* from, std::size_t most)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= most; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        const unsigned equal = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)));
        if (equal != 0xFFFFu) return i + static_cast<std::size_t>(__builtin_ctz(~equal));
    }
#endif
    while (i < most && at[i] == from[i]) ++i;
    return i;
}

// How many bytes from `at` (at most `most`) equal `value`.
std::size_t RunLength(const std::uint8_t* at, std::size_t most, std::uint8_t value)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i repeated = _mm_set1_epi8(static_cast<char>(value));
    for (; i + 16 <= most; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + i));
        const unsigned equal = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, repeated)));
        if (equal != 0xFFFFu) return i + static_cast<std::size_t>(__builtin_ctz(~equal));
    }
#endif
    while (i < most && at[i] == value) ++i;
    return i;
}

// Bits into the output, least significant first, as deflate packs them.
class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out), start_(out.size()), at_(out.size()) { }

    std::size_t bytesWritten() const { return at_ - start_ + static_cast<std::size_t>(count_ + 7) / 8; }

    // Room for `bits` more bits.
    void reserve(std::size_t bits)
    {
        const std::size_t need = at_ + (static_cast<std::size_t>(count_) + bits) / 8 + 16;
        if (out_.size() < need) out_.resize(std::max(need, out_.size() + out_.size() / 2));
    }
    // At most 32 bits at a time.
    void put(std::uint32_t value, int count)
    {
        buffer_ |= static_cast<std::uint64_t>(value) << count_;
        count_ += count;
        if (count_ >= 32) {
            const std::uint32_t low = static_cast<std::uint32_t>(buffer_);
            for (int k = 0; k < 4; ++k)
                out_[at_ + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(low >> (8 * k));
            at_ += 4;
            buffer_ >>= 32;
            count_ -= 32;
        }
    }
    // Pads with zero bits to a byte boundary and writes out what is held.
    void alignToByte()
    {
        count_ = (count_ + 7) & ~7;
        for (; count_ > 0; count_ -= 8, buffer_ >>= 8) out_[at_++] = static_cast<std::uint8_t>(buffer_);
        count_ = 0;
        buffer_ = 0;
    }
    // Only on a byte boundary.
    void putBytes(const std::uint8_t* data, std::size_t size)
    {
        if (size) std::memcpy(out_.data() + at_, data, size); // `data` may be null when empty
        at_ += size;
    }
    void finish()
    {
        alignToByte();
        out_.resize(at_);
    }
    void undo() { out_.resize(start_); }

private:
    std::vector<std::uint8_t>& out_;
    const std::size_t start_;
    std::size_t at_;
    std::uint64_t buffer_ = 0;
    int count_ = 0;
};

void WriteStoredBlocks(BitWriter& out, const std::uint8_t* data, std::size_t size, bool final)
{
    do {
        const std::size_t piece = std::min(size, kMaxStoredBytes);
        out.reserve(8 * (piece + 8));
        out.put(final && piece == size ? 1 : 0, 1);
        out.put(0, 2); // stored
        out.alignToByte();
        out.put(static_cast<std::uint32_t>(piece), 16);
        out.put(static_cast<std::uint32_t>(piece ^ 0xFFFF), 16);
        out.alignToByte();
        out.putBytes(data, piece);
        data += piece;
        size -= piece;
    } while (size);
}

// A dynamic block's header: its code lengths, themselves run-length coded
// (16: repeat the last length, 17 and 18: runs of zeros) and Huffman coded.
class DynamicHeader {
public:
    DynamicHeader(const std::uint8_t* literalLengths, const std::uint8_t* distanceLengths)
    {
        literalCount_ = kLiteralLengthSymbols;
        while (literalCount_ > kFirstLength && !literalLengths[literalCount_ - 1]) --literalCount_;
        distanceCount_ = kDistanceSymbols;
        while (distanceCount_ > 1 && !distanceLengths[distanceCount_ - 1]) --distanceCount_;
        std::uint8_t all[kLiteralLengthSymbols + kDistanceSymbols];
        std::copy(literalLengths, literalLengths + literalCount_, all);
        std::copy(distanceLengths, distanceLengths + distanceCount_, all + literalCount_);
        const int total = literalCount_ + distanceCount_;
        std::uint32_t frequencies[kCodeLengthSymbols] = {};
        for (int i = 0; i < total;) {
            const std::uint8_t value = all[i];
            int run = 1;
            while (i + run < total && all[i + run] == value) ++run;
            i += run;
            if (value == 0) {
                for (; run >= 11; run -= std::min(run, 138)) add(18, std::min(run, 138) - 11, frequencies);
                if (run >= 3) {
                    add(17, run - 3, frequencies);
                    run = 0;
                }
            } else {
                add(value, 0, frequencies);
                --run;
                for (; run >= 3; run -= std::min(run, 6)) add(16, std::min(run, 6) - 3, frequencies);
            }
            for (; run > 0; --run) add(value, 0, frequencies);
        }
        BuildHuffmanLengths(frequencies, kCodeLengthSymbols, kMaxCodeLengthBits, lengths_);
        BuildHuffmanCodes(lengths_, kCodeLengthSymbols, codes_);
        orderCount_ = kCodeLengthSymbols;
        while (orderCount_ > 4 && !lengths_[kCodeLengthOrder[orderCount_ - 1]]) --orderCount_;
        bits_ = 5 + 5 + 4 + 3 * static_cast<std::size_t>(orderCount_);
        for (int i = 0; i < count_; ++i) bits_ += lengths_[items_[i].symbol] + ExtraBits(items_[i].symbol);
    }

    std::size_t bits() const { return bits_; }

    void write(BitWriter& out) const
    {
        out.put(static_cast<std::uint32_t>(literalCount_ - kFirstLength), 5);
        out.put(static_cast<std::uint32_t>(distanceCount_ - 1), 5);
        out.put(static_cast<std::uint32_t>(orderCount_ - 4), 4);
        for (int i = 0; i < orderCount_; ++i) out.put(lengths_[kCodeLengthOrder[i]], 3);
        for (int i = 0; i < count_; ++i) {
            const Item& item = items_[i];
            out.put(codes_[item.symbol], lengths_[item.symbol]);
            if (const int extra = ExtraBits(item.symbol)) out.put(item.extra, extra);
        }
    }

private:
    struct Item {
        std::uint8_t symbol, extra;
    };
    static int ExtraBits(int symbol) { return symbol == 16 ? 2 : symbol == 17 ? 3 : symbol == 18 ? 7 : 0; }
    void add(int symbol, int extra, std::uint32_t* frequencies)
    {
        items_[count_++] = {static_cast<std::uint8_t>(symbol), static_cast<std::uint8_t>(extra)};
        ++frequencies[symbol];
    }

    int literalCount_ = 0, distanceCount_ = 0, orderCount_ = 0;
    Item items_[kLiteralLengthSymbols + kDistanceSymbols];
    int count_ = 0;
    std::uint8_t lengths_[kCodeLengthSymbols] = {};
    std::uint16_t codes_[kCodeLengthSymbols] = {};
    std::size_t bits_ = 0;
};

// Writes one block of `symbols`, which code the `size` bytes at `data`: a
// dynamic Huffman block, or stored blocks when those are smaller.
void WriteBlock(BitWriter& out, const std::vector<std::uint16_t>& symbols, const std::uint32_t* literalFrequencies,
    const std::uint32_t* distanceFrequencies, const std::uint8_t* data, std::size_t size, bool final)
{
    std::uint8_t literalLengths[kLiteralLengthSymbols], distanceLengths[kDistanceSymbols];
    BuildHuffmanLengths(literalFrequencies, kLiteralLengthSymbols, kMaxBits, literalLengths);
    BuildHuffmanLengths(distanceFrequencies, kDistanceSymbols, kMaxBits, distanceLengths);
    const DynamicHeader header(literalLengths, distanceLengths);
    std::size_t bits = 3 + header.bits();
    for (int s = 0; s < kLiteralLengthSymbols; ++s) {
        const int extra = s >= kFirstLength ? kLengthExtra[s - kFirstLength] : 0;
        bits += static_cast<std::size_t>(literalFrequencies[s]) * static_cast<std::size_t>(literalLengths[s] + extra);
    }
    for (std::size_t d = 0; d < kPixelDistance; ++d)
        bits += static_cast<std::size_t>(distanceFrequencies[d]) * distanceLengths[d];
    const std::size_t storedBits = 8 * (size + 5 * (size / kMaxStoredBytes + 1)) + 10;
    if (storedBits <= bits) {
        WriteStoredBlocks(out, data, size, final);
        return;
    }
    std::uint16_t literalCodes[kLiteralLengthSymbols], distanceCodes[kDistanceSymbols];
    BuildHuffmanCodes(literalLengths, kLiteralLengthSymbols, literalCodes);
    BuildHuffmanCodes(distanceLengths, kDistanceSymbols, distanceCodes);
    out.reserve(bits);
    out.put(final ? 1 : 0, 1);
    out.put(2, 2); // dynamic Huffman codes
    header.write(out);
    for (const std::uint16_t symbol : symbols) {
        if (symbol < kMatch) {
            out.put(literalCodes[symbol], literalLengths[symbol]);
            continue;
        }
        const int length = (symbol - kMatch) % kDistanceStep, distance = (symbol - kMatch) / kDistanceStep;
        const int lengthSymbol = kLengthSymbol[static_cast<std::size_t>(length)];
        const int code = kFirstLength + lengthSymbol;
        out.put(
            literalCodes[code] | static_cast<std::uint32_t>(length - kLengthBase[lengthSymbol]) << literalLengths[code],
            literalLengths[code] + kLengthExtra[lengthSymbol]);
        out.put(distanceCodes[distance], distanceLengths[distance]);
    }
    out.put(literalCodes[kEndOfBlock], literalLengths[kEndOfBlock]);
}

} // namespace

bool RunDeflater::compress(
    const std::uint8_t* data, std::size_t size, bool last, std::vector<std::uint8_t>& out, std::size_t budget)
{
    BitWriter writer(out);
    symbols_.reserve(kBlockSymbols);
    std::size_t at = 0;
    do {
        const std::size_t start = at;
        symbols_.clear();
        std::uint32_t literalFrequencies[kLiteralLengthSymbols] = {}, distanceFrequencies[kDistanceSymbols] = {};
        if (at == 0 && size) { // nothing before it to repeat
            symbols_.push_back(data[0]);
            ++literalFrequencies[data[0]];
            at = 1;
        }
        while (at < size && symbols_.size() < kBlockSymbols) {
            const std::size_t most = std::min(size - at, kMaxMatch);
            std::size_t distance = 1, length = RunLength(data + at, most, data[at - 1]);
            if (length < kMinMatch) {
                distance = kPixelDistance;
                length = at >= kPixelDistance ? MatchLength(data + at, data + at - kPixelDistance, most) : 0;
                if (length < kMinPixelMatch) length = 0;
            }
            if (length) {
                symbols_.push_back(static_cast<std::uint16_t>(
                    kMatch + static_cast<int>(distance - 1) * kDistanceStep + static_cast<int>(length)));
                ++literalFrequencies[kFirstLength + kLengthSymbol[length]];
                ++distanceFrequencies[distance - 1];
                at += length;
            } else {
                symbols_.push_back(data[at]);
                ++literalFrequencies[data[at]];
                ++at;
            }
        }
        literalFrequencies[kEndOfBlock] = 1;
        WriteBlock(
            writer, symbols_, literalFrequencies, distanceFrequencies, data + start, at - start, last && at == size);
        // On course past the budget: the stream so far, scaled to the whole.
        if (static_cast<double>(writer.bytesWritten()) * static_cast<double>(size)
            > static_cast<double>(budget) * static_cast<double>(at)) {
            writer.undo();
            return false;
        }
    } while (at < size);
    if (!last) { // an empty stored block: the stream continues on a byte boundary
        writer.reserve(64);
        writer.put(0, 3);
        writer.alignToByte();
        writer.put(0, 16);
        writer.put(0xFFFF, 16);
    }
    writer.finish();
    return true;
}

} // namespace imaging::deflate
