// The rules below follow Qt's GIF reader (QGIFFormat) for the first frame
// of a file it reads without trouble; the files where it does something of
// its own are declined, so Qt still reads those.
#include "gif_reader.h"

#include "gif_lzw.h"

#include "imaging/common/limits.h"

#include <QIODevice>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

namespace imaging::gif {
namespace {

constexpr std::uint32_t kOpaque = 0xFF000000u;
// What Qt gives an index past the colour table: transparent white.
constexpr std::uint32_t kPastTheTable = 0x00FFFFFFu;

// The file's bytes, read a piece at a time.
class ByteSource {
public:
    explicit ByteSource(QIODevice& in) : in_(in) { }

    // The next byte, or -1 at the end of the file.
    int next()
    {
        if (at_ == buffer_.size()) {
            buffer_ = in_.read(64 << 10);
            at_ = 0;
            if (buffer_.isEmpty()) return -1;
        }
        return static_cast<unsigned char>(buffer_[at_++]);
    }
    bool read(unsigned char* out, int count)
    {
        for (int i = 0; i < count; ++i) {
            const int byte = next();
            if (byte < 0) return false;
            out[i] = static_cast<unsigned char>(byte);
        }
        return true;
    }
    // Data sub-blocks up to their terminator, appended to `out` (or skipped).
    bool subBlocks(std::vector<std::uint8_t>* out)
    {
        for (int length; (length = next()) != 0;) {
            if (length < 0) return false;
            for (int i = 0; i < length; ++i) {
                const int byte = next();
                if (byte < 0) return false;
                if (out) out->push_back(static_cast<std::uint8_t>(byte));
            }
        }
        return true;
    }

private:
    QIODevice& in_;
    QByteArray buffer_;
    qsizetype at_ = 0;
};

int LittleEndian16(const unsigned char* p) { return p[0] | p[1] << 8; }

// A colour table of 2 << (flags & 7) entries, as ARGB.
bool ReadTable(ByteSource& bytes, int flags, std::vector<std::uint32_t>& table)
{
    table.resize(static_cast<std::size_t>(2) << (flags & 7));
    for (std::uint32_t& colour : table) {
        unsigned char rgb[3];
        if (!bytes.read(rgb, 3)) return false;
        colour = kOpaque | std::uint32_t{rgb[0]} << 16 | std::uint32_t{rgb[1]} << 8 | rgb[2];
    }
    return true;
}

// The frame's row `row` in the order the data holds them: interlaced rows
// come every 8th from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
std::int32_t StoredRow(std::int32_t row, std::int32_t height, bool interlaced)
{
    if (!interlaced) return row;
    const std::int32_t first = (height + 7) / 8, second = (height + 3) / 8, third = (height + 1) / 4;
    if (row % 8 == 0) return row / 8;
    if (row % 8 == 4) return first + row / 8;
    if (row % 4 == 2) return first + second + row / 4;
    return first + second + third + row / 2;
}

} // namespace

struct GifReader::State {
    explicit State(QIODevice& in) : bytes(in) { }

    ByteSource bytes;
    std::int32_t screenWidth = 0, screenHeight = 0;
    std::int32_t left = 0, top = 0, frameWidth = 0, frameHeight = 0;
    bool interlaced = false;
    std::array<std::uint32_t, 256> colours{}; // of each index, as the screen shows it
    std::uint32_t around = 0; // the screen where the frame is not
    std::vector<std::uint8_t> indices; // the frame's, in the data's row order
    std::int32_t rowsRead = 0;
    bool opened = false;
};

GifReader::GifReader(QIODevice& in) : state_(std::make_unique<State>(in)) { }

GifReader::~GifReader() = default;

Failure GifReader::open()
{
    State& s = *state_;
    auto decline = [](const char* why) { return Declined(QString::fromLatin1(why)); };
    unsigned char header[13];
    if (!s.bytes.read(header, 13)) return decline("cut short");
    if (std::memcmp(header, kGifSignatures[0], 6) != 0 && std::memcmp(header, kGifSignatures[1], 6) != 0)
        return decline("not a GIF");
    s.screenWidth = LittleEndian16(header + 6);
    s.screenHeight = LittleEndian16(header + 8);
    // Qt refuses a screen of 2^28 pixels or more; the limits may be lower.
    if (s.screenWidth == 0 || s.screenHeight == 0) return decline("an empty screen");
    if (!FitsLimits(s.screenWidth, s.screenHeight) || std::int64_t{s.screenWidth} * s.screenHeight >= kMaxImagePixels)
        return decline("a screen beyond the limits");
    const int screenFlags = header[10], background = header[11];
    std::vector<std::uint32_t> global, local;
    const bool hasGlobal = screenFlags & 0x80;
    if (hasGlobal && !ReadTable(s.bytes, screenFlags, global)) return decline("cut short");

    // Extensions up to the first frame; the last graphic control extension
    // gives its transparent index.
    int transparent = -1;
    unsigned char descriptor[9];
    for (bool frame = false; !frame;) {
        switch (s.bytes.next()) {
        case 0x21: {
            const int label = s.bytes.next();
            if (label == 0xF9) {
                unsigned char control[5];
                if (!s.bytes.read(control, 5)) return decline("cut short");
                if (control[0] != 4) return decline("an odd graphic control extension");
                transparent = (control[1] & 1) ? control[4] : -1;
            } else if (label == 0xFF) {
                const int length = s.bytes.next();
                if (length <= 0) return decline("an odd application extension");
                for (int i = 0; i < length; ++i)
                    if (s.bytes.next() < 0) return decline("cut short");
            } else if (label < 0) {
                return decline("cut short");
            }
            if (!s.bytes.subBlocks(nullptr)) return decline("cut short");
            break;
        }
        case 0x2C:
            if (!s.bytes.read(descriptor, 9)) return decline("cut short");
            frame = true;
            break;
        default: return decline("no frame, or an unknown block before it");
        }
    }
    s.left = LittleEndian16(descriptor);
    s.top = LittleEndian16(descriptor + 2);
    s.frameWidth = LittleEndian16(descriptor + 4);
    s.frameHeight = LittleEndian16(descriptor + 6);
    const int frameFlags = descriptor[8];
    s.interlaced = frameFlags & 0x40;
    if (s.frameWidth == 0 || s.frameHeight == 0 || s.left + s.frameWidth > s.screenWidth
        || s.top + s.frameHeight > s.screenHeight)
        return decline("a frame not inside the screen");
    if (s.interlaced && s.frameHeight < 5) return decline("an interlaced frame of under five rows");
    const bool hasLocal = frameFlags & 0x80;
    if (hasLocal && !ReadTable(s.bytes, frameFlags, local)) return decline("cut short");
    const int codeSize = s.bytes.next();
    std::vector<std::uint8_t> data;
    try {
        if (!s.bytes.subBlocks(&data)) return decline("cut short");
        s.indices.resize(static_cast<std::size_t>(s.frameWidth) * static_cast<std::size_t>(s.frameHeight));
    } catch (const std::bad_alloc&) {
        return MakeFailure(FailureKind::OutOfMemory);
    }
    if (!DecodeLzw(codeSize, data.data(), data.size(), s.indices.data(), s.indices.size()))
        return decline("LZW data that is not a sound stream of the frame's pixels");

    // Each index's colour. The table in use counts 2 << (flags & 7) entries
    // even when there is none (then every colour in it is 0).
    const std::vector<std::uint32_t>& table = hasLocal ? local : global;
    const std::size_t entries = hasLocal ? local.size() : std::size_t{2} << (screenFlags & 7);
    for (std::size_t index = 0; index < s.colours.size(); ++index) {
        std::uint32_t colour = index < table.size() ? table[index] : 0;
        if (index > entries || (index == entries && !table.empty())) colour = kPastTheTable;
        if (static_cast<int>(index) == transparent) colour &= 0x00FFFFFFu;
        // Without a transparent index the screen has no alpha.
        if (transparent < 0) colour |= kOpaque;
        s.colours[index] = colour;
    }
    // The background index points into the global table, whatever table the
    // frame uses (Qt reads a local one there before it is filled: garbage).
    if (transparent >= 0)
        s.around = s.colours[static_cast<std::size_t>(transparent)];
    else if (hasGlobal)
        s.around = kOpaque
            | (static_cast<std::size_t>(background) < global.size() ? global[static_cast<std::size_t>(background)]
                                                                    : kPastTheTable);
    else
        s.around = kOpaque;
    s.opened = true;
    return {};
}

std::int32_t GifReader::width() const { return state_->screenWidth; }

std::int32_t GifReader::height() const { return state_->screenHeight; }

Failure GifReader::readRows(std::uint32_t* out, std::size_t wordsPerLine, std::int32_t rows)
{
    State& s = *state_;
    if (!s.opened) return Declined(QStringLiteral("not open"));
    if (rows < 0 || rows > s.screenHeight - s.rowsRead)
        return MakeFailure(FailureKind::Damaged, QStringLiteral("GIF: rows past the image"));
    const auto screenWidth = static_cast<std::size_t>(s.screenWidth);
    for (std::int32_t r = 0; r < rows; ++r, out += wordsPerLine) {
        const std::int32_t y = s.rowsRead + r;
        if (y < s.top || y >= s.top + s.frameHeight) {
            std::fill(out, out + screenWidth, s.around);
            continue;
        }
        const std::uint8_t* indices = s.indices.data()
            + static_cast<std::size_t>(StoredRow(y - s.top, s.frameHeight, s.interlaced))
                * static_cast<std::size_t>(s.frameWidth);
        std::fill(out, out + s.left, s.around);
        for (std::int32_t x = 0; x < s.frameWidth; ++x) out[s.left + x] = s.colours[indices[x]];
        std::fill(out + s.left + s.frameWidth, out + screenWidth, s.around);
    }
    s.rowsRead += rows;
    return {};
}

Failure GifReader::finish()
{
    if (!state_->opened) return Declined(QStringLiteral("not open"));
    return {};
}

} // namespace imaging::gif
