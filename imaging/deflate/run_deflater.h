#pragma once
// A deflate encoder for data made mostly of runs, as filtered rows of flat
// art and removed backgrounds are: every run of a repeated byte becomes
// matches at distance 1 (as zlib's run-length strategy), everything else
// literals, in dynamic Huffman blocks. It searches no history, so it costs
// little more than reading the data, and on such data its streams are about
// as small as libdeflate's.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace imaging::deflate {

class RunDeflater {
public:
    // Appends the raw deflate stream of `data` to `out`: the final one when
    // `last`, else one that ends on a byte boundary without the final mark,
    // as a sync flush leaves it, so the next stream can be appended. Throws
    // std::bad_alloc.
    void compress(const std::uint8_t* data, std::size_t size, bool last, std::vector<std::uint8_t>& out);

    // The symbols of one block: literals, and matches as 256 + length and
    // distance packed. Kept between calls.
private:
    std::vector<std::uint16_t> symbols_;
};

} // namespace imaging::deflate
