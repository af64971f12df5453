// A TBitmap32 handed to Qt as a QImage without copying its pixels: the image owns the bitmap and
// frees it with its last copy. A TBitmap32 row (blue, green, red, alpha) is the memory layout of
// QImage's 32-bit formats.
#pragma once

#include <QImage>

#include "export/ImageWriters.h"

namespace vorn {

// A null image for an empty bitmap.
QImage ImageOfBitmap(TBitmap32&& bitmap, QImage::Format format);

} // namespace vorn
