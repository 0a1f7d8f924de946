#include "whole_image.h"

#include "bitmap_memory.h"

namespace imaging {

DecodedImage ReadWholeImage(RowReader& reader)
{
    DecodedImage result;
    if ((result.failure = reader.open())) return result;
    QImage image = AllocateBitmap(reader.width(), reader.height(), Contents::Unspecified);
    if (image.isNull()) {
        result.failure = MakeFailure(FailureKind::OutOfMemory);
        return result;
    }
    auto* bits = reinterpret_cast<std::uint32_t*>(image.bits());
    const std::size_t wordsPerLine = static_cast<std::size_t>(image.bytesPerLine()) / 4;
    if ((result.failure = reader.readRows(bits, wordsPerLine, reader.height()))) return result;
    if ((result.failure = reader.finish())) return result;
    result.image = std::move(image);
    return result;
}

} // namespace imaging
