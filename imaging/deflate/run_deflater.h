#pragma once
// A deflate encoder for data made mostly of runs, as filtered rows of flat
// art and removed backgrounds are: every run of a repeated byte becomes
// matches at distance 1 (as zlib's run-length strategy), a repeat of the
// RGBA pixel before a match at distance 4, everything else literals, in
// dynamic Huffman blocks. It searches no history, so it costs little more
// than reading the data, and on such data its streams are about as small as
// libdeflate's.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace imaging::deflate {

class RunDeflater {
public:
    // Appends the raw deflate stream of `data` to `out`: the final one when
    // `last`, else one that ends on a byte boundary without the final mark,
    // as a sync flush leaves it, so the next stream can be appended. Gives up
    // early, leaving `out` as it was and returning false, when the stream is
    // on course to exceed `budget` bytes (judged after each block: another
    // compressor will do better). Throws std::bad_alloc.
    bool compress(const std::uint8_t* data, std::size_t size, bool last, std::vector<std::uint8_t>& out,
        std::size_t budget = SIZE_MAX);

private:
    std::vector<std::uint16_t> symbols_; // of one block; kept between calls
};

} // namespace imaging::deflate
