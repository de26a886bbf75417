#pragma once
// A decoded news picture for the editor to draw: rows top to bottom, one
// 32-bit pixel each as 0xAARRGGBB (alpha always 0xFF). Empty when there was
// no picture or it could not be decoded.
#include <cstdint>
#include <memory>

struct NewsPicture {
    int width = 0;
    int height = 0;
    std::unique_ptr<uint32_t[]> pixels;

    bool empty() const { return !pixels; }
    void clear() {
        width = 0;
        height = 0;
        pixels.reset();
    }
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + x]; }
};
