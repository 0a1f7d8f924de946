// PNG encoding through the project's own writer (png_writer.h), with the
// settings chosen per image.
#include "png_codec.h"
#include "png_writer.h"

namespace mGdip::detail {

bool EncodePng(const QImage& argb32, ByteSink& out, QString* reason)
{
    Q_ASSERT(argb32.format() == QImage::Format_ARGB32);
    return WritePng(argb32, out, PngWriterSettings{}, reason);
}

} // namespace mGdip::detail
