#include "gui/Image.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace gui {

namespace {

// Bytes of a width x height picture, 0 when either is not positive or the
// count does not fit a size_t.
size_t byteCount(int width, int height) {
    if (width <= 0 || height <= 0) return 0;
    const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
    if (w > SIZE_MAX / 4 / h) return 0;
    return w * h * 4;
}

}  // namespace

Image::Image(int width, int height, Color fill) {
    const size_t bytes = byteCount(width, height);
    if (bytes == 0) return;
    pixels_.reset(new (std::nothrow) uint8_t[bytes]);
    if (!pixels_) return;
    width_ = width;
    height_ = height;
    this->fill(fill);
}

Image::Image(const Image& other) { *this = other; }

Image& Image::operator=(const Image& other) {
    if (this == &other) return *this;
    pixels_.reset();
    width_ = height_ = 0;
    const size_t bytes = byteCount(other.width_, other.height_);
    if (bytes == 0 || !other.pixels_) return *this;
    pixels_.reset(new (std::nothrow) uint8_t[bytes]);
    if (!pixels_) return *this;
    std::memcpy(pixels_.get(), other.pixels_.get(), bytes);
    width_ = other.width_;
    height_ = other.height_;
    return *this;
}

Image::Image(Image&& other) noexcept
    : width_(other.width_), height_(other.height_), pixels_(std::move(other.pixels_)) {
    other.width_ = other.height_ = 0;
}

Image& Image::operator=(Image&& other) noexcept {
    if (this == &other) return *this;
    width_ = other.width_;
    height_ = other.height_;
    pixels_ = std::move(other.pixels_);
    other.width_ = other.height_ = 0;
    return *this;
}

Color Image::pixel(int x, int y) const {
    if (!pixels_ || x < 0 || y < 0 || x >= width_ || y >= height_) return palette::transparent;
    const uint8_t* p = pixels_.get() + static_cast<size_t>(y) * stride() + static_cast<size_t>(x) * 4;
    return Color(p[0], p[1], p[2], p[3]);
}

void Image::setPixel(int x, int y, Color c) {
    if (!pixels_ || x < 0 || y < 0 || x >= width_ || y >= height_) return;
    uint8_t* p = pixels_.get() + static_cast<size_t>(y) * stride() + static_cast<size_t>(x) * 4;
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
    p[3] = c.a;
}

void Image::fill(Color c) {
    if (!pixels_) return;
    const size_t bytes = stride() * static_cast<size_t>(height_);
    if (c.r == c.g && c.g == c.b && c.b == c.a) {
        std::memset(pixels_.get(), c.r, bytes);
        return;
    }
    uint8_t* row = pixels_.get();
    for (int x = 0; x < width_; ++x) {
        row[x * 4] = c.r;
        row[x * 4 + 1] = c.g;
        row[x * 4 + 2] = c.b;
        row[x * 4 + 3] = c.a;
    }
    for (int y = 1; y < height_; ++y) std::memcpy(row + static_cast<size_t>(y) * stride(), row, stride());
}

bool Image::operator==(const Image& o) const {
    if (width_ != o.width_ || height_ != o.height_) return false;
    if (!pixels_ || !o.pixels_) return !pixels_ && !o.pixels_;
    return std::memcmp(pixels_.get(), o.pixels_.get(), stride() * static_cast<size_t>(height_)) == 0;
}

}  // namespace gui
