#pragma once
// The editor's bitmaps, built into the library as PNG files and loaded by
// id. Several frames of a bitmap are stacked vertically.
#include <cstddef>
#include <cstdint>

#include "gui/Bitmap.h"

namespace resources {

constexpr int kFirstBitmap = 128, kLastBitmap = 163;

// The embedded PNG file of bitmap `id`; false (nothing written) for an id
// with no bitmap.
bool bitmapPng(int id, const uint8_t** data, size_t* size);
// The number of frames of bitmap `id`; 0 for an id with no bitmap.
int bitmapFrames(int id);
// The decoded bitmap with its frames; null for an id with no bitmap (or a
// picture that does not decode to its listed size). Each call decodes a
// new copy.
gui::BitmapRef loadBitmap(int id);

}  // namespace resources
