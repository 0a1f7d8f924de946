#pragma once
// Two independent inflaters for the encoders' raw deflate streams: zlib's,
// strict about incomplete codes, as libpng reads; ISA-L's, as our own reader
// does. Each gives the inflated bytes, or {1, 2, 3} for a stream that is
// damaged, unfinished or followed by more data, so an empty result is never
// taken for a failure's.

#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <cstdint>
#include <vector>

namespace testsupport {

inline std::vector<std::uint8_t> InflateWithZlib(const std::vector<std::uint8_t>& raw, std::size_t expected)
{
    std::vector<std::uint8_t> out(expected + 16);
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) return {1, 2, 3};
    stream.next_in = const_cast<Bytef*>(raw.data());
    stream.avail_in = static_cast<uInt>(raw.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    inflateEnd(&stream);
    return status == Z_STREAM_END && stream.avail_in == 0 ? out : std::vector<std::uint8_t>{1, 2, 3};
}

inline std::vector<std::uint8_t> InflateWithIsal(const std::vector<std::uint8_t>& raw, std::size_t expected)
{
    std::vector<std::uint8_t> out(expected + 16);
    inflate_state state;
    isal_inflate_init(&state);
    state.crc_flag = ISAL_DEFLATE;
    state.next_in = const_cast<std::uint8_t*>(raw.data());
    state.avail_in = static_cast<std::uint32_t>(raw.size());
    state.next_out = out.data();
    state.avail_out = static_cast<std::uint32_t>(out.size());
    const int status = isal_inflate(&state);
    out.resize(out.size() - state.avail_out);
    const bool whole = status == ISAL_DECOMP_OK && state.block_state == ISAL_BLOCK_FINISH && state.avail_in == 0;
    return whole ? out : std::vector<std::uint8_t>{1, 2, 3};
}

} // namespace testsupport
