#pragma once
// PNG files to and from Images (through libpng): any PNG colour type is
// read as RGBA; Images are written as 8-bit RGBA.
#include <cstddef>
#include <cstdint>
#include <string>

#include "gui/Image.h"

namespace gui {

// False (out left empty) for anything that is not a whole, sane PNG of at
// most 8192 x 8192 pixels.
bool decodePng(const uint8_t* bytes, size_t size, Image& out);
bool readPngFile(const std::string& path, Image& out);
bool writePngFile(const std::string& path, const Image& image);

}  // namespace gui
