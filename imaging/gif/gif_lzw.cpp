#include "gif_lzw.h"

#include <array>
#include <memory>

namespace imaging::gif {
namespace {

constexpr int kLargestCodeSize = 12;
constexpr int kTableSize = 1 << kLargestCodeSize;

// Codes LSB first across the bytes; -1 once the bytes run out.
class CodeReader {
public:
    CodeReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) { }

    int next(int bits)
    {
        while (held_ < bits) {
            if (at_ == size_) return -1;
            buffer_ |= std::uint32_t{data_[at_++]} << held_;
            held_ += 8;
        }
        const int code = static_cast<int>(buffer_ & ((1u << bits) - 1));
        buffer_ >>= bits;
        held_ -= bits;
        return code;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_, at_ = 0;
    std::uint32_t buffer_ = 0;
    int held_ = 0;
};

// Each table entry as its last byte, the entry it extends and its length;
// a string is written back to front straight into the output.
struct Table {
    std::array<std::uint16_t, kTableSize> prefix{};
    std::array<std::uint8_t, kTableSize> suffix{}, first{};
    std::array<std::uint16_t, kTableSize> length{};
};

} // namespace

bool DecodeLzw(int minimumCodeSize, const std::uint8_t* data, std::size_t size, std::uint8_t* out, std::size_t count)
{
    if (minimumCodeSize < 2 || minimumCodeSize > 8) return false;
    const int clear = 1 << minimumCodeSize, end = clear + 1;
    const auto table = std::make_unique<Table>();
    for (int code = 0; code < clear; ++code) {
        table->suffix[code] = table->first[code] = static_cast<std::uint8_t>(code);
        table->length[code] = 1;
    }
    CodeReader codes(data, size);
    int codeSize = minimumCodeSize + 1, next = end + 1, previous = -1;
    std::size_t written = 0;
    for (int code; (code = codes.next(codeSize)) >= 0;) {
        if (code == clear) {
            codeSize = minimumCodeSize + 1;
            next = end + 1;
            previous = -1;
            continue;
        }
        if (code == end) break;
        if (previous < 0) {
            if (code > clear) return false; // only a literal can start
        } else {
            if (code > next || (code == next && next == kTableSize)) return false;
            // The new entry: the previous string and the first byte of this
            // one (of the previous one, for the code being defined now).
            if (next < kTableSize) {
                const std::uint8_t firstByte = code == next ? table->first[previous] : table->first[code];
                table->prefix[next] = static_cast<std::uint16_t>(previous);
                table->suffix[next] = firstByte;
                table->first[next] = table->first[previous];
                table->length[next] = static_cast<std::uint16_t>(table->length[previous] + 1);
                if (++next == (1 << codeSize) && codeSize < kLargestCodeSize) ++codeSize;
            }
        }
        const std::size_t length = table->length[code];
        if (length > count - written) return false; // more pixels than the frame holds
        std::uint8_t* at = out + written + length;
        for (int c = code;; c = table->prefix[c]) {
            *--at = table->suffix[c];
            if (table->length[c] == 1) break;
        }
        written += length;
        previous = code;
    }
    return written == count;
}

} // namespace imaging::gif
