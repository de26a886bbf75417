#pragma once
// Pictures written as PNG files: 8-bit RGB, not interlaced.
#include <cstdint>
#include <string>

// Writes `rgb` (three bytes a pixel, red first, top row first, rows
// `stride` bytes apart) to `path`; false with a reason.
bool writePngRgb(const std::string& path, const uint8_t* rgb, int width, int height, int stride,
                 std::string& error);
