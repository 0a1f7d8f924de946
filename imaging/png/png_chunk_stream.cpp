#include "png_chunk_stream.h"

#include <isa-l/crc.h>

#include <algorithm>
#include <cstring>

namespace imaging::png {
namespace {

constexpr std::size_t kBlockBytes = 256 << 10;

std::uint32_t BigEndian32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

bool IsLetter(std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

} // namespace

std::uint32_t PngCrc(std::uint32_t crc, const std::uint8_t* data, std::size_t size)
{
    return crc32_gzip_refl(crc, data, size);
}

PngChunkStream::PngChunkStream(QIODevice& in) : in_(in), buffer_(kBlockBytes) { }

bool PngChunkStream::Ensure(std::size_t bytes)
{
    if (end_ - begin_ >= bytes) return true;
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    while (end_ < bytes) {
        const qint64 got =
            in_.read(reinterpret_cast<char*>(buffer_.data() + end_), static_cast<qint64>(buffer_.size() - end_));
        if (got <= 0) {
            fileEnded_ = true;
            return false;
        }
        end_ += static_cast<std::size_t>(got);
    }
    return true;
}

bool PngChunkStream::ReadSignature()
{
    static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!Ensure(8) || std::memcmp(buffer_.data() + begin_, kSignature, 8) != 0) return false;
    begin_ += 8;
    return true;
}

PngChunkStream::Header PngChunkStream::NextChunk()
{
    if (!Ensure(8)) return Header::FileEnds;
    const std::uint8_t* p = buffer_.data() + begin_;
    length_ = unread_ = BigEndian32(p);
    type_ = BigEndian32(p + 4);
    if (length_ > 0x7FFFFFFFu || !std::all_of(p + 4, p + 8, IsLetter)) return Header::Invalid;
    crc_ = PngCrc(0, p + 4, 4);
    begin_ += 8;
    return Header::Ok;
}

ChunkPiece PngChunkStream::Read(std::size_t most)
{
    if (unread_ == 0 || most == 0 || !Ensure(1)) return {};
    ChunkPiece piece{buffer_.data() + begin_, std::min({end_ - begin_, most, std::size_t{unread_}})};
    crc_ = PngCrc(crc_, piece.data, piece.size);
    begin_ += piece.size;
    unread_ -= static_cast<std::uint32_t>(piece.size);
    return piece;
}

bool PngChunkStream::Finish(bool check)
{
    while (unread_ > 0) {
        if (!check && in_.isSequential() == false && unread_ > end_ - begin_) {
            // Skipped unread: nothing in it is needed.
            const std::uint32_t buffered = static_cast<std::uint32_t>(end_ - begin_);
            const qint64 target = in_.pos() + (unread_ - buffered);
            if (target > in_.size() || !in_.seek(target)) {
                fileEnded_ = true;
                return false;
            }
            begin_ = end_ = 0;
            unread_ = 0;
            break;
        }
        if (Read(unread_).size == 0) return false;
    }
    if (!Ensure(4)) return false;
    const std::uint32_t stored = BigEndian32(buffer_.data() + begin_);
    begin_ += 4;
    return !check || stored == crc_;
}

} // namespace imaging::png
