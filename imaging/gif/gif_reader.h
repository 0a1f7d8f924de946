#pragma once
// The first frame of a GIF on its logical screen, as Qt's GIF reader gives
// it, without an image-sized buffer: the frame's colour indices are decoded
// once, and every row of the screen is made when asked for, so a small
// frame on a huge screen costs its own size, not the screen's.
//
// The screen, as Qt makes it: where the frame does not cover it, the
// transparent index's colour (alpha 0) when the frame has one, else the
// background colour of the global table, else black; the frame's pixels in
// the colours of its own table or the global one, the transparent index at
// alpha 0, an index past the table transparent white; without a transparent
// index everything is opaque. Where Qt reads a local colour table before it
// is filled (the screen around a frame that has one: its memory's leftovers),
// the transparent index takes its colour from the local table as read, and
// the background colour is the global table's, as the format defines it.
//
// open() declines ("Declined") what it leaves to Qt: anything unusual in the
// file's structure or the frame's LZW data, a frame not inside the screen,
// an interlaced frame under five rows (which Qt reads its own way), a screen
// beyond the limits, a file cut short. Once open, the rows cannot fail.

#include "imaging/common/row_reader.h"

#include <memory>

class QIODevice;

namespace imaging::gif {

inline constexpr unsigned char kGifSignatures[2][6] = {{'G', 'I', 'F', '8', '7', 'a'}, {'G', 'I', 'F', '8', '9', 'a'}};

class GifReader final : public RowReader {
public:
    // `in` positioned at the signature, and kept open while the reader is used.
    explicit GifReader(QIODevice& in);
    ~GifReader() override;
    GifReader(const GifReader&) = delete;
    GifReader& operator=(const GifReader&) = delete;

    // Reads up to the end of the first frame's data and decodes it.
    Failure open() override;
    std::int32_t width() const override;
    std::int32_t height() const override;
    Failure readRows(std::uint32_t* out, std::size_t wordsPerLine, std::int32_t rows) override;
    // Nothing after the first frame is read, as Qt reads nothing more.
    Failure finish() override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace imaging::gif
