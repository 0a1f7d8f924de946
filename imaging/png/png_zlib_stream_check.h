#pragma once
// Follows the bytes libpng reads from a PNG and inflates the image data to
// the zlib stream's end. libpng stops inflating soon after the last row: a
// checksum, or a damaged tail, that lies in later IDATs (or in later pieces
// of a large one) goes unchecked there and the file is taken.

#include "imaging/common/failure.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace imaging::png {

class ZlibStreamCheck {
public:
    ZlibStreamCheck();
    ~ZlibStreamCheck();
    ZlibStreamCheck(const ZlibStreamCheck&) = delete;
    ZlibStreamCheck& operator=(const ZlibStreamCheck&) = delete;

    // The next bytes of the file, in order, from its signature on. Never
    // throws or jumps: it runs inside libpng's read callback.
    void Follow(const std::uint8_t* data, std::size_t size) noexcept;

    // Once libpng has read the whole file and taken it: the stream's damage,
    // or none. Damage before the end libpng finds and words itself.
    Failure Verdict() const;

private:
    void Inflate(const std::uint8_t* data, std::size_t size) noexcept;

    struct Inflater;
    std::unique_ptr<Inflater> inflater_;
    enum class Part { Signature, Header, Data, Crc } part_ = Part::Signature;
    std::uint8_t header_[8] = {};
    std::uint32_t left_ = 8; // bytes of the current part still to come
    bool inIdat_ = false, idatSeen_ = false, idatOver_ = false;
    enum class Stream { Running, Ended, Damaged, WrongChecksum, NoMemory } stream_ = Stream::Running;
};

} // namespace imaging::png
