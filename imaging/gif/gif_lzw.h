#pragma once
// The LZW data of one GIF frame, decoded strictly: variable-width codes
// (least significant bit first) with the early change of width, clear and
// end codes, and a table that stops growing at 4096 entries until the next
// clear. Anything a sound encoder never writes (a code not yet in the table,
// a table code right after a clear, more or fewer pixels than the frame
// holds, an end code before its last pixel) is refused, and the caller
// leaves the file to a reader that has its own way with such streams.

#include <cstddef>
#include <cstdint>

namespace imaging::gif {

// Decodes `data` (the frame's sub-blocks joined) with the minimum code size
// `minimumCodeSize` (2..8) into exactly `count` colour indices at `out`;
// false when the data is not such a stream.
bool DecodeLzw(int minimumCodeSize, const std::uint8_t* data, std::size_t size, std::uint8_t* out, std::size_t count);

} // namespace imaging::gif
