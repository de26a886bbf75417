#pragma once
// Decoder for Windows bitmap files ("BM"): a 14-byte file header, a
// BITMAPINFOHEADER (40 bytes) or one of its longer successors, an optional
// palette and the pixel rows at the file header's offset. Understood:
// uncompressed 1-, 4- and 8-bit palettized, 24- and 32-bit, bottom-up
// (positive height) and top-down (negative height) rows. Every field is
// checked against the bytes given before it is used; anything else or
// anything inconsistent gives an empty picture.
#include <cstddef>
#include <cstdint>

#include "trvcore/trvnetwork/NewsPicture.h"

class BmpDecoder {
public:
    static constexpr int kMaxSide = 8192;
    static constexpr int64_t kMaxPixels = 4 * 1024 * 1024;

    // False (and `out` empty) unless the whole picture was decoded.
    static bool decode(const uint8_t* data, size_t size, NewsPicture& out);
};
