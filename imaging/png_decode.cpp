// Which reader decodes a PNG: the fast one when it accepts the file, else
// libpng from the start again, so that every refusal and its reason are
// libpng's.
#include "png_codec.h"
#include "png_fast_reader.h"

#include <QIODevice>

namespace mGdip::detail {

PngDecodeResult DecodePng(QIODevice& in)
{
    if (in.isSequential()) return DecodePngWithLibpng(in);
    const qint64 start = in.pos();
    FastPngResult fast = DecodeCommonPng(in);
    if (fast.outcome == FastPngOutcome::Decoded) {
        PngDecodeResult result;
        result.image = std::move(fast.image);
        return result;
    }
    fast.image = QImage(); // its memory goes back to the pool for libpng's bitmap
    if (!in.seek(start)) {
        PngDecodeResult result;
        result.failure = MakeFailure(FailureKind::CannotRead, in.errorString());
        return result;
    }
    return DecodePngWithLibpng(in);
}

} // namespace mGdip::detail
