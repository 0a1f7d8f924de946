#pragma once
// Joining raw deflate streams compressed apart: the walk over a stream's
// block headers finds its final block, so its final mark can be cleared and
// the next band's stream appended.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace imaging::deflate {

// Where a complete raw deflate stream's last block starts and where its data
// ends, in bits from the start; false when `data` is not such a stream.
struct DeflateEnds {
    std::size_t lastBlockBit = 0;
    std::size_t endBit = 0;
};
bool FindDeflateEnds(const std::uint8_t* data, std::size_t size, DeflateEnds* ends);

// Turns a complete raw deflate stream into one that continues: clears its
// final-block mark and appends an empty stored block, ending on a byte
// boundary. `from` is where the stream starts in `stream`.
bool ContinueDeflateStream(std::vector<std::uint8_t>& stream, std::size_t from);

} // namespace imaging::deflate
