// The rules below follow what libpng 1.6 does with the decoder's settings
// (every ancillary chunk skipped, no colour transforms), restricted to what
// is plainly acceptable to it. Bad CRCs of critical chunks, a zlib stream
// that is damaged, ends early or has the wrong checksum, a bad filter type,
// a missing IEND or any critical chunk out of place are damage; a zlib
// window smaller than the image data and lengths beyond libpng's chunk
// limits are left to libpng. Ancillary chunks are skipped without their CRC
// checked, as libpng only warns about those.
#include "png_reader.h"

#include "png_chunk_stream.h"
#include "png_row_convert.h"
#include "png_row_unfilter.h"

#include "imaging/common/limits.h"

#include <QIODevice>

#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

namespace imaging::png {
namespace {

constexpr std::uint32_t kIHDR = PngChunkType("IHDR"), kIDAT = PngChunkType("IDAT"), kIEND = PngChunkType("IEND"),
                        kPLTE = PngChunkType("PLTE"), kTRNS = PngChunkType("tRNS");

// libpng's own limits at the decoder's settings: the chunk memory cap for any
// chunk, and for IDAT the most that image data could take.
constexpr std::uint32_t kChunkLimit = 4 << 20;
// Deflate expands at most about 1032 times: a header that promises more
// pixel data than the file could hold is cut short.
constexpr std::int64_t kMaxInflation = 1100;
constexpr std::int64_t kInflationSlack = 1 << 20;
// Filtered rows inflated per batch: enough to keep ISA-L's calls long, small
// enough to stay in the cache while they are unfiltered.
constexpr std::size_t kBatchBytes = 512 << 10;
constexpr std::size_t kInputPiece = 256 << 10;
constexpr std::size_t kDirectPiece = 64 << 10;

// Damage found in the file: Truncated when it ended early.
Failure Damage(const PngChunkStream& chunks, const char* words)
{
    if (chunks.fileEnded()) return MakeFailure(FailureKind::Truncated, QStringLiteral("PNG"));
    return MakeFailure(FailureKind::Damaged, QStringLiteral("PNG: %1").arg(QLatin1String(words)));
}

std::uint32_t BigEndian32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

std::uint64_t IdatLimit(std::uint32_t width, std::uint32_t height, int channels)
{
    const std::uint64_t rowFactor = std::uint64_t{width} * static_cast<std::uint64_t>(channels) + 1;
    std::uint64_t limit = height > 0xFFFFFFFFu / rowFactor ? 0x7FFFFFFFu : rowFactor * height;
    limit += 6 + 5 * (limit / std::min<std::uint64_t>(rowFactor, 32566) + 1);
    return std::max<std::uint64_t>(std::min<std::uint64_t>(limit, 0x7FFFFFFFu), kChunkLimit);
}

// The zlib stream spread over the IDAT chunks, inflated by ISA-L.
class IdatInflater {
public:
    IdatInflater(PngChunkStream& chunks, std::uint64_t idatLimit, std::uint64_t rawBytes)
        : chunks_(chunks), idatLimit_(idatLimit), rawBytes_(rawBytes), state_(new (std::nothrow) inflate_state()),
          stage_(new (std::nothrow) std::uint8_t[kInputPiece])
    {
        if (!state_) return;
        isal_inflate_init(state_.get());
        // The two header bytes are read here; ISA-L checks the Adler-32 at the end.
        state_->crc_flag = ISAL_ZLIB_NO_HDR_VER;
        state_->hist_bits = 0;
    }

    // Exactly `size` bytes of the inflated data.
    bool Fill(std::uint8_t* out, std::size_t size)
    {
        inflate_state& s = *state_;
        s.next_out = out;
        s.avail_out = static_cast<std::uint32_t>(size);
        while (s.avail_out > 0) {
            if (s.block_state == ISAL_BLOCK_FINISH)
                return Fail(Damage(chunks_, "the zlib stream ends before the image"));
            if (!Step()) return false;
        }
        return true;
    }

    // After the last row: the stream ends, with its checksum, and gives no
    // more bytes.
    bool End()
    {
        inflate_state& s = *state_;
        std::uint8_t scratch[64];
        while (s.block_state != ISAL_BLOCK_FINISH) {
            s.next_out = scratch;
            s.avail_out = sizeof scratch;
            if (!Step()) return false;
            if (s.avail_out != sizeof scratch) return Fail(Damage(chunks_, "more image data than the image holds"));
        }
        return true;
    }

    // False when its memory could not be had; then it must not be used.
    bool allocated() const { return state_ && stage_; }
    const Failure& failure() const { return failure_; }
    // True once the header of the chunk after the last IDAT has been read.
    bool afterImageData() const { return afterImageData_; }

private:
    bool Fail(Failure failure)
    {
        failure_ = std::move(failure);
        return false;
    }

    // One call of ISA-L, with input fetched first when it has none.
    bool Step()
    {
        inflate_state& s = *state_;
        if (s.avail_in == 0 && !NextInput()) return false;
        if (header_ < 2) {
            headerBytes_[header_++] = *s.next_in++;
            --s.avail_in;
            return header_ < 2 || HeaderOk();
        }
        const std::uint32_t inBefore = s.avail_in, outBefore = s.avail_out;
        const int ret = isal_inflate(&s);
        if (ret == ISAL_INCORRECT_CHECKSUM) return Fail(Damage(chunks_, "the zlib checksum is wrong"));
        // Damage past the image's bytes is damage too, though libpng only
        // warns about it; its words say where it is.
        if (ret < 0 || ret == ISAL_NEED_DICT)
            return Fail(Damage(chunks_,
                s.total_out >= rawBytes_ ? "the zlib stream is damaged after the image data"
                                         : "the zlib stream is damaged"));
        if (s.avail_in == inBefore && s.avail_out == outBefore && s.block_state != ISAL_BLOCK_FINISH && s.avail_in > 0)
            return Fail(Declined(QStringLiteral("the zlib stream does not advance")));
        return true;
    }

    bool HeaderOk()
    {
        const unsigned cmf = headerBytes_[0], flg = headerBytes_[1];
        if ((cmf * 256 + flg) % 31 != 0 || (cmf & 0x0F) != 8 || (cmf >> 4) > 7 || (flg & 0x20) != 0)
            return Fail(Declined(QStringLiteral("not a zlib stream libpng takes")));
        // zlib keeps only the declared window between calls; libpng inflates
        // row by row, so a small window is safe only when it holds everything.
        if ((cmf >> 4) < 7 && rawBytes_ > (std::uint64_t{1} << ((cmf >> 4) + 8)))
            return Fail(Declined(QStringLiteral("a small zlib window")));
        return true;
    }

    // The next piece of image data. A large IDAT is handed over in place;
    // small ones (libpng writes 8 KB each) are gathered into one piece, since
    // ISA-L takes a detour through its own buffer on short calls. Moving to
    // the next chunk checks the CRC of the one before.
    bool NextInput()
    {
        std::size_t staged = 0;
        while (staged < kInputPiece && !afterImageData_) {
            if (chunks_.unread() > 0) {
                if (staged == 0 && chunks_.unread() >= kDirectPiece) {
                    const ChunkPiece piece = chunks_.Read(kInputPiece);
                    if (piece.size == 0) return Fail(Damage(chunks_, "the file ends early"));
                    return Give(piece.data, piece.size);
                }
                const ChunkPiece piece = chunks_.Read(kInputPiece - staged);
                if (piece.size == 0) return Fail(Damage(chunks_, "the file ends early"));
                std::memcpy(stage_.get() + staged, piece.data, piece.size);
                staged += piece.size;
                continue;
            }
            if (!chunks_.Finish(true)) return Fail(Damage(chunks_, "an IDAT CRC is wrong"));
            if (chunks_.NextChunk() != PngChunkStream::Header::Ok) return Fail(Damage(chunks_, "a chunk is invalid"));
            if (chunks_.type() != kIDAT)
                afterImageData_ = true;
            else if (chunks_.length() > idatLimit_)
                return Fail(Declined(QStringLiteral("an IDAT beyond libpng's limit")));
        }
        if (staged == 0) return Fail(Damage(chunks_, "the image data ends early"));
        return Give(stage_.get(), staged);
    }

    bool Give(const std::uint8_t* data, std::size_t size)
    {
        state_->next_in = const_cast<std::uint8_t*>(data);
        state_->avail_in = static_cast<std::uint32_t>(size);
        return true;
    }

    PngChunkStream& chunks_;
    std::uint64_t idatLimit_, rawBytes_;
    std::unique_ptr<inflate_state> state_;
    std::unique_ptr<std::uint8_t[]> stage_;
    bool afterImageData_ = false;
    std::uint8_t headerBytes_[2] = {};
    int header_ = 0;
    Failure failure_;
};

struct Header {
    std::uint32_t width = 0, height = 0;
    int colorType = 0;
    int channels = 0;
};

// After the image data: more IDAT chunks (their CRCs checked), skipped
// ancillary chunks, and IEND.
// `headerRead`: the stream stands on a chunk's header already read, else in
// the last IDAT.
Failure CheckTail(PngChunkStream& chunks, std::uint64_t idatLimit, bool headerRead)
{
    if (!headerRead && !chunks.Finish(true)) return Damage(chunks, "the CRC of the last IDAT is wrong");
    for (;; headerRead = false) {
        if (!headerRead && chunks.NextChunk() != PngChunkStream::Header::Ok) return Damage(chunks, "no IEND");
        const std::uint32_t type = chunks.type();
        if (type == kIEND) {
            if (chunks.length() != 0 || !chunks.Finish(true))
                return Damage(chunks, "IEND is not empty or its CRC is wrong");
            return {};
        }
        if (type == kIDAT) {
            if (chunks.length() > idatLimit) return Declined(QStringLiteral("a later IDAT beyond libpng's limit"));
            if (!chunks.Finish(true)) return Damage(chunks, "the CRC of a later IDAT is wrong");
        } else if (chunks.ancillary() && type != kTRNS) {
            if (chunks.length() > kChunkLimit)
                return Declined(QStringLiteral("an ancillary chunk beyond libpng's limit"));
            if (!chunks.Finish(false)) return Damage(chunks, "an ancillary chunk is cut");
        } else {
            return Damage(chunks, "a critical chunk after the image data");
        }
    }
}

} // namespace

// The rows are inflated a batch at a time into `batch` and unfiltered there
// in place as they are asked for, each straight into the caller's memory.
// A row's predecessor is the row before it in the batch, or for the first
// row of a batch the last one of the batch before, kept in `prior`. The
// batches are the same however the rows are asked for, so the checks and
// their order are too.
struct PngReader::State {
    explicit State(QIODevice& device) : in(device), chunks(device) { }

    enum class Phase { Unopened, Rows, Finished, Refused };

    QIODevice& in;
    PngChunkStream chunks;
    Phase phase = Phase::Unopened;
    Header h;
    std::uint64_t rawBytes = 0, idatLimit = 0;
    std::size_t rowBytes = 0, stride = 0, rowsPerBatch = 0;
    // Made at the first row, so that a caller's bitmap is had first.
    std::optional<IdatInflater> inflater;
    std::unique_ptr<std::uint8_t[]> batch, prior;
    std::size_t batchRows = 0, batchNext = 0; // rows in `batch`, and the next one to hand out
    bool nextUnfiltered = false; // batchNext was unfiltered with the row before it
    std::uint32_t rowsRead = 0;
};

PngReader::PngReader(QIODevice& in) : state_(std::make_unique<State>(in)) { }

PngReader::~PngReader() = default;

std::int32_t PngReader::width() const { return static_cast<std::int32_t>(state_->h.width); }

std::int32_t PngReader::height() const { return static_cast<std::int32_t>(state_->h.height); }

Failure PngReader::Refuse(Failure failure)
{
    refused_ = std::move(failure);
    state_->phase = State::Phase::Refused;
    return refused_;
}

Failure PngReader::open()
{
    State& s = *state_;
    // Before the layout is known, libpng decides and words what is wrong.
    const auto decline = [&](const char* why) { return Refuse(Declined(QLatin1String(why))); };
    if (s.phase == State::Phase::Refused) return refused_;
    if (s.phase != State::Phase::Unopened) return decline("opened twice");
    PngChunkStream& chunks = s.chunks;
    if (!chunks.ReadSignature()) return decline("no PNG signature");
    if (chunks.NextChunk() != PngChunkStream::Header::Ok || chunks.type() != kIHDR || chunks.length() != 13)
        return decline("no IHDR");
    std::uint8_t ihdr[13];
    for (std::size_t got = 0; got < sizeof ihdr;) {
        const ChunkPiece piece = chunks.Read(sizeof ihdr - got);
        if (piece.size == 0) return decline("IHDR is cut");
        std::memcpy(ihdr + got, piece.data, piece.size);
        got += piece.size;
    }
    if (!chunks.Finish(true)) return decline("IHDR is cut or its CRC is wrong");

    Header& h = s.h;
    h.width = BigEndian32(ihdr);
    h.height = BigEndian32(ihdr + 4);
    const int depth = ihdr[8];
    h.colorType = ihdr[9];
    if (h.width == 0 || h.height == 0 || h.width > 0x7FFFFFFFu || h.height > 0x7FFFFFFFu || ihdr[10] != 0
        || ihdr[11] != 0 || ihdr[12] > 1)
        return decline("IHDR fields libpng refuses");
    switch (h.colorType) {
    case 0: h.channels = 1; break;
    case 2: h.channels = 3; break;
    case 4: h.channels = 2; break;
    case 6: h.channels = 4; break;
    case 3: return decline("a palette");
    default: return decline("an invalid colour type");
    }
    if (depth != 8) return decline("not 8 bits per channel");
    if (ihdr[12] != 0) return decline("interlaced");
    // A common PNG from here on: what is wrong with it is this reader's answer.
    if (!FitsLimits(h.width, h.height)) return Refuse(TooLargeFailure(h.width, h.height));
    s.rawBytes = (std::uint64_t{h.width} * static_cast<std::uint64_t>(h.channels) + 1) * h.height;
    if (static_cast<std::int64_t>(s.rawBytes) > s.in.size() * kMaxInflation + kInflationSlack)
        return Refuse(MakeFailure(FailureKind::Truncated, QStringLiteral("PNG")));
    s.idatLimit = IdatLimit(h.width, h.height, h.channels);

    for (;;) {
        if (chunks.NextChunk() != PngChunkStream::Header::Ok) return Refuse(Damage(chunks, "no image data"));
        const std::uint32_t type = chunks.type();
        if (type == kIDAT) break;
        if (type == kPLTE || type == kTRNS) return decline("a palette or a transparent colour");
        if (!chunks.ancillary()) return Refuse(Damage(chunks, "a critical chunk before the image data"));
        if (chunks.length() > kChunkLimit) return decline("an ancillary chunk beyond libpng's limit");
        if (!chunks.Finish(false)) return Refuse(Damage(chunks, "an ancillary chunk is cut"));
    }
    if (chunks.length() > s.idatLimit) return decline("an IDAT beyond libpng's limit");

    s.rowBytes = std::size_t{h.width} * static_cast<std::size_t>(h.channels);
    s.stride = s.rowBytes + 1;
    s.rowsPerBatch = std::clamp<std::size_t>(kBatchBytes / s.stride, 1, h.height);
    s.phase = State::Phase::Rows;
    return {};
}

Failure PngReader::readRows(std::uint32_t* out, std::size_t wordsPerLine, std::int32_t rows)
{
    State& s = *state_;
    if (s.phase == State::Phase::Refused) return refused_;
    if (s.phase != State::Phase::Rows || rows < 0 || static_cast<std::uint32_t>(rows) > s.h.height - s.rowsRead
        || wordsPerLine < s.h.width)
        return Refuse(Declined(QStringLiteral("rows outside the image")));
    if (rows > 0 && !s.inflater) {
        // The batch buffers are as large as a row each, for the widest images.
        s.inflater.emplace(s.chunks, s.idatLimit, s.rawBytes);
        if (!s.inflater->allocated()) return Refuse(Declined(QStringLiteral("out of memory")));
        s.batch.reset(new (std::nothrow) std::uint8_t[s.rowsPerBatch * s.stride]);
        s.prior.reset(new (std::nothrow) std::uint8_t[s.rowBytes]());
        if (!s.batch || !s.prior) return Refuse(Declined(QStringLiteral("out of memory")));
    }
    const Header& h = s.h;
    for (std::int32_t r = 0; r < rows; ++r, ++s.batchNext, ++s.rowsRead) {
        if (s.batchNext == s.batchRows) {
            if (s.batchRows > 0)
                std::memcpy(s.prior.get(), s.batch.get() + (s.batchRows - 1) * s.stride + 1, s.rowBytes);
            s.batchRows = std::min<std::size_t>(s.rowsPerBatch, h.height - s.rowsRead);
            s.batchNext = 0;
            if (!s.inflater->Fill(s.batch.get(), s.batchRows * s.stride)) return Refuse(s.inflater->failure());
        }
        std::uint8_t* row = s.batch.get() + s.batchNext * s.stride;
        const std::uint8_t* above = s.batchNext == 0 ? s.prior.get() : row - s.stride + 1;
        if (s.nextUnfiltered)
            s.nextUnfiltered = false;
        else if (s.batchNext + 1 < s.batchRows && UnfilterPaethPair(row, row + s.stride, above, s.rowBytes, h.channels))
            s.nextUnfiltered = true;
        else if (!UnfilterRow(row[0], row + 1, above, s.rowBytes, h.channels))
            return Refuse(Damage(s.chunks, "a row has an unknown filter type"));
        ConvertRowToArgb(h.colorType, row + 1, out + static_cast<std::size_t>(r) * wordsPerLine, h.width);
    }
    return {};
}

Failure PngReader::finish()
{
    State& s = *state_;
    if (s.phase == State::Phase::Refused) return refused_;
    if (s.phase != State::Phase::Rows || s.rowsRead != s.h.height)
        return Refuse(Declined(QStringLiteral("finished before the last row")));
    if (!s.inflater->End()) return Refuse(s.inflater->failure());
    if (Failure failure = CheckTail(s.chunks, s.idatLimit, s.inflater->afterImageData()))
        return Refuse(std::move(failure));
    s.phase = State::Phase::Finished;
    return {};
}

} // namespace imaging::png
