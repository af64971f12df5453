#include "app/BitmapImageQt.h"

#include <memory>

namespace vorn {

QImage ImageOfBitmap(TBitmap32&& bitmap, QImage::Format format) {
    if (bitmap.Empty()) return {};
    auto owned = std::make_unique<TBitmap32>(std::move(bitmap));
    const auto free = [](void* info) { delete static_cast<TBitmap32*>(info); };
    TBitmap32* held = owned.get();
    QImage image(held->Bits(), held->Width(), held->Height(), qsizetype(held->Pitch()), format, free, held);
    owned.release(); // the image frees it now
    return image;
}

} // namespace vorn
