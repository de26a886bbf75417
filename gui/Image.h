#pragma once
// A picture in memory: width x height pixels of 8-bit RGBA (not
// premultiplied), rows top to bottom, 4 bytes a pixel, no padding. The
// editor draws into one; bitmaps are ones loaded from PNG.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "gui/Color.h"
#include "gui/Geometry.h"

namespace gui {

class Image {
public:
    Image() = default;
    // Filled with `fill`; a size of 0 either way (or a failed allocation)
    // is an empty image.
    Image(int width, int height, Color fill = palette::transparent);
    Image(const Image& other);
    Image& operator=(const Image& other);
    // A moved-from image is empty (0 x 0).
    Image(Image&& other) noexcept;
    Image& operator=(Image&& other) noexcept;

    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return !pixels_; }
    Rect bounds() const { return Rect(0, 0, width_, height_); }
    size_t stride() const { return static_cast<size_t>(width_) * 4; }

    uint8_t* data() { return pixels_.get(); }
    const uint8_t* data() const { return pixels_.get(); }
    // Outside the image: the transparent colour (get) or nothing (set).
    Color pixel(int x, int y) const;
    void setPixel(int x, int y, Color c);
    void fill(Color c);

    bool operator==(const Image& o) const;
    bool operator!=(const Image& o) const { return !(*this == o); }

private:
    int width_ = 0;
    int height_ = 0;
    std::unique_ptr<uint8_t[]> pixels_;
};

}  // namespace gui
