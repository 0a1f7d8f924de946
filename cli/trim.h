#pragma once
// --trim: a result cropped to the pixels that are not fully transparent.

#include "imaging/image.h"

#include <QString>

namespace cli {

struct TrimmedImage {
    mGdip::Image image;
    QString note; // said when nothing was left to keep; empty otherwise
};

// The smallest rectangle of `image` holding every pixel with alpha above 0;
// an image with none keeps its top-left pixel, and says so.
TrimmedImage TrimToVisible(const mGdip::Image& image);

} // namespace cli
