#pragma once
// The chunks of a PNG file, read in large blocks: each chunk's length and
// type, its data in pieces straight from the block, and its CRC.

#include <QIODevice>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace imaging::png {

constexpr std::uint32_t PngChunkType(const char (&name)[5])
{
    return std::uint32_t(static_cast<unsigned char>(name[0])) << 24
        | std::uint32_t(static_cast<unsigned char>(name[1])) << 16
        | std::uint32_t(static_cast<unsigned char>(name[2])) << 8 | std::uint32_t(static_cast<unsigned char>(name[3]));
}

// PNG's CRC-32 (the one of zlib and gzip), continued from `crc`.
std::uint32_t PngCrc(std::uint32_t crc, const std::uint8_t* data, std::size_t size);

struct ChunkPiece {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

class PngChunkStream {
public:
    explicit PngChunkStream(QIODevice& in);

    enum class Header { Ok, FileEnds, Invalid };

    // The eight signature bytes: false unless they are PNG's.
    bool ReadSignature();
    // The next chunk's length and type. Invalid: a length above 2^31 - 1 or
    // a type that is not four ASCII letters.
    Header NextChunk();
    std::uint32_t type() const { return type_; }
    std::uint32_t length() const { return length_; }
    std::uint32_t unread() const { return unread_; }
    // Ancillary chunks have the 0x20 bit in the first letter of their type.
    bool ancillary() const { return (type_ & 0x20000000u) != 0; }

    // Up to `most` bytes of the chunk's data, valid until the next call;
    // empty once the data is read or when the file ends (then fileEnded()).
    ChunkPiece Read(std::size_t most);
    // Reads the rest of the data and the stored CRC. With `check`, true only
    // when the CRC matches; without, the data is passed over unchecked.
    bool Finish(bool check);
    bool fileEnded() const { return fileEnded_; }

private:
    bool Ensure(std::size_t bytes);

    QIODevice& in_;
    std::vector<std::uint8_t> buffer_;
    std::size_t begin_ = 0, end_ = 0;
    bool fileEnded_ = false;
    std::uint32_t type_ = 0, length_ = 0, unread_ = 0, crc_ = 0;
};

} // namespace imaging::png
