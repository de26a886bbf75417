#pragma once
// The embedded bitmap files, in a source file generated at build time
// (EmbedBitmaps.cmake) from the PNG files that trv_make_bitmaps draws.
#include <cstddef>

namespace resources {
namespace bitmapdata {

struct EmbeddedBitmap {
    int id;
    int width;
    int height;  // all frames, stacked
    int frames;
    const unsigned char* png;
    size_t size;
};

extern const EmbeddedBitmap kBitmaps[];
extern const size_t kBitmapCount;

}  // namespace bitmapdata
}  // namespace resources
