#include "tools/trvhost/PngFile.h"

#include <png.h>

#include <cstring>

bool writePngRgb(const std::string& path, const uint8_t* rgb, int width, int height, int stride,
                 std::string& error) {
    if (!rgb || width <= 0 || height <= 0 || stride < width * 3) {
        error = "no picture to write";
        return false;
    }
    // libpng's simplified interface: no longjmp to guard against here.
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgb, stride, nullptr)) {
        error = "cannot write " + path;
        png_image_free(&image);
        return false;
    }
    return true;
}
