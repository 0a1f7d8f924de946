#pragma once
// Every format but PNG and JPEG, through Qt's image readers, after a check of
// the file's structure where a reader would take a short file as whole.

#include "imaging/common/whole_image.h"

class QIODevice;

namespace imaging::qt {

// Decodes the image in `file` (positioned at its start) into ARGB32,
// honouring the orientation stored in the file.
DecodedImage DecodeWithQt(QIODevice& file);

} // namespace imaging::qt
