#include "resources/EditorBitmaps.h"

#include <memory>
#include <utility>

#include "gui/PngCodec.h"
#include "resources/BitmapData.h"

namespace resources {

namespace {

const bitmapdata::EmbeddedBitmap* find(int id) {
    for (size_t i = 0; i < bitmapdata::kBitmapCount; ++i)
        if (bitmapdata::kBitmaps[i].id == id) return &bitmapdata::kBitmaps[i];
    return nullptr;
}

}  // namespace

bool bitmapPng(int id, const uint8_t** data, size_t* size) {
    const bitmapdata::EmbeddedBitmap* b = find(id);
    if (!b || !data || !size) return false;
    *data = b->png;
    *size = b->size;
    return true;
}

int bitmapFrames(int id) {
    const bitmapdata::EmbeddedBitmap* b = find(id);
    return b ? b->frames : 0;
}

gui::BitmapRef loadBitmap(int id) {
    const bitmapdata::EmbeddedBitmap* b = find(id);
    if (!b) return nullptr;
    gui::Image image;
    if (!gui::decodePng(b->png, b->size, image) || image.width() != b->width || image.height() != b->height)
        return nullptr;
    return std::make_shared<const gui::Bitmap>(std::move(image), b->frames);
}

}  // namespace resources
