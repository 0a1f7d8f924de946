// Which reader decodes a PNG: the project's own when it takes the file, else
// libpng from the start again. The own reader's refusals of damage are final,
// so a damaged common PNG is read once.
#include "png_decode.h"

#include "png_libpng_reader.h"
#include "png_reader.h"

#include <QIODevice>

namespace imaging::png {

DecodedImage DecodePng(QIODevice& in)
{
    if (in.isSequential()) return DecodePngWithLibpng(in);
    const qint64 start = in.pos();
    {
        PngReader reader(in);
        DecodedImage own = ReadWholeImage(reader);
        if (!own.failure.declined()) return own;
    } // its memory goes back to the pool for libpng's bitmap
    if (!in.seek(start)) {
        DecodedImage result;
        result.failure = MakeFailure(FailureKind::CannotRead, in.errorString());
        return result;
    }
    return DecodePngWithLibpng(in);
}

} // namespace imaging::png
