#pragma once
// Some of Qt's readers hand back whatever rows they got from a damaged or
// short file as if the image were whole (BMP, including its run-length forms,
// GIF and XBM). These checks walk a file's structure before it is decoded and
// say when image data is missing, or when the declared size is beyond the
// limit. They read through `file` and put it back where it was. All header
// arithmetic is in 64 bits, whatever the fields hold.

#include "imaging/common/failure.h"

class QIODevice;

namespace imaging::qt {

Failure CheckBmp(QIODevice& file);
Failure CheckGif(QIODevice& file);
Failure CheckXbm(QIODevice& file);

} // namespace imaging::qt
