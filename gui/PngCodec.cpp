#include "gui/PngCodec.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "platform/File.h"

namespace gui {

namespace {

constexpr png_uint_32 kMaxSide = 8192;
// A PNG file larger than this is not read (the biggest picture's raw
// pixels, with room for poor compression).
constexpr uint64_t kMaxFileBytes = 512ull * 1024 * 1024;

// libpng's errors end in a longjmp back to the decoding or encoding
// function; warnings are dropped. Nothing is printed.
void quietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void quietWarning(png_structp, png_const_charp) {}

struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

void readFromMemory(png_structp png, png_bytep out, size_t length) {
    auto* r = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (!r || length > r->size - r->pos) png_error(png, "truncated");
    std::memcpy(out, r->data + r->pos, length);
    r->pos += length;
}

// Where decoding puts the pixels: asked for once the size is known, it
// returns rows of width * 4 bytes, or null to refuse.
struct RgbaSink {
    Image* image;
};

uint8_t* sinkPixels(RgbaSink* sink, int width, int height) {
    *sink->image = Image(width, height);
    return sink->image->empty() ? nullptr : sink->image->data();
}

// The libpng part of decoding, kept free of objects with destructors since
// an error longjmps out of the middle of it.
bool decodeRgba(const uint8_t* bytes, size_t size, RgbaSink* sink) {
    if (!bytes || size < 8 || png_sig_cmp(bytes, 0, 8) != 0) return false;
    MemoryReader reader{bytes, size, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, quietWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_set_read_fn(png, &reader, readFromMemory);
    png_read_info(png, info);

    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) png_error(png, "size");
    const int colorType = png_get_color_type(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4 || png_get_bit_depth(png, info) != 8)
        png_error(png, "not RGBA");

    uint8_t* pixels = sinkPixels(sink, static_cast<int>(width), static_cast<int>(height));
    if (!pixels) png_error(png, "no memory");
    const size_t stride = static_cast<size_t>(width) * 4;
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, pixels + y * stride, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

// Encoded bytes gathered in a buffer from malloc (libpng's callbacks must
// not throw).
struct MemoryWriter {
    uint8_t* data = nullptr;
    size_t size = 0;
    size_t capacity = 0;
    ~MemoryWriter() { std::free(data); }
};

void writeToMemory(png_structp png, png_bytep in, size_t length) {
    auto* w = static_cast<MemoryWriter*>(png_get_io_ptr(png));
    if (length > SIZE_MAX / 2 - w->size) png_error(png, "too large");
    if (w->size + length > w->capacity) {
        const size_t capacity = std::max(w->capacity * 2, w->size + length + 4096);
        auto* grown = static_cast<uint8_t*>(std::realloc(w->data, capacity));
        if (!grown) png_error(png, "no memory");
        w->data = grown;
        w->capacity = capacity;
    }
    std::memcpy(w->data + w->size, in, length);
    w->size += length;
}

void flushNothing(png_structp) {}

// The libpng part of encoding (see decodeRgba about destructors).
bool encodeRgba(const Image* image, MemoryWriter* out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, quietWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, writeToMemory, flushNothing);
    const int height = image->height();
    png_set_IHDR(png, info, static_cast<png_uint_32>(image->width()), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) png_write_row(png, image->data() + static_cast<size_t>(y) * image->stride());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool decodePng(const uint8_t* bytes, size_t size, Image& out) {
    Image decoded;
    RgbaSink sink{&decoded};
    const bool ok = decodeRgba(bytes, size, &sink);
    out = ok ? std::move(decoded) : Image();
    return ok;
}

bool readPngFile(const std::string& path, Image& out) {
    out = Image();
    platform::File file;
    uint64_t size = 0;
    if (!file.openRead(path.c_str()) || !file.size(size) || size == 0 || size > kMaxFileBytes) return false;
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[static_cast<size_t>(size)]);
    if (!bytes || !file.readAt(0, bytes.get(), static_cast<size_t>(size))) return false;
    return decodePng(bytes.get(), static_cast<size_t>(size), out);
}

bool writePngFile(const std::string& path, const Image& image) {
    if (image.empty()) return false;
    MemoryWriter encoded;
    if (!encodeRgba(&image, &encoded)) return false;
    platform::File file;
    if (!file.openWrite(path.c_str())) return false;
    if (!file.writeAt(0, encoded.data, encoded.size)) {
        file.close();
        platform::removeFile(path.c_str());
        return false;
    }
    return true;
}

}  // namespace gui
