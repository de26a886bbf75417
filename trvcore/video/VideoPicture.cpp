#include "trvcore/video/VideoPicture.h"

#include <cstring>

namespace video {

namespace {

uint8_t clampByte(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

}  // namespace

bool scaleToQcif(const uint8_t* rgb, int width, int height, int stride, uint8_t* out) {
    if (!rgb || !out || width <= 0 || height <= 0 || stride < width * 3) return false;
    if (width == kWidth && height == kHeight) {
        for (int row = 0; row < kHeight; ++row)
            std::memcpy(out + static_cast<size_t>(row) * kStride, rgb + static_cast<size_t>(row) * stride, kStride);
        return true;
    }
    const uint32_t stepX = (static_cast<uint32_t>(width) << 16) / kWidth;
    const uint32_t stepY = (static_cast<uint32_t>(height) << 16) / kHeight;
    for (int y = 0; y < kHeight; ++y) {
        const uint32_t sy = static_cast<uint32_t>(y) * stepY;
        const int y0 = static_cast<int>(sy >> 16);
        const int y1 = y0 + 1 < height ? y0 + 1 : y0;
        const uint64_t fy = sy & 0xFFFF;
        const uint8_t* r0 = rgb + static_cast<size_t>(y0) * stride;
        const uint8_t* r1 = rgb + static_cast<size_t>(y1) * stride;
        uint8_t* o = out + static_cast<size_t>(y) * kStride;
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t sx = static_cast<uint32_t>(x) * stepX;
            const int x0 = static_cast<int>(sx >> 16);
            const int x1 = x0 + 1 < width ? x0 + 1 : x0;
            const uint64_t fx = sx & 0xFFFF;
            for (int c = 0; c < 3; ++c) {
                const uint64_t top = r0[x0 * 3 + c] * (65536 - fx) + r0[x1 * 3 + c] * fx;
                const uint64_t bottom = r1[x0 * 3 + c] * (65536 - fx) + r1[x1 * 3 + c] * fx;
                o[x * 3 + c] = static_cast<uint8_t>((top * (65536 - fy) + bottom * fy) >> 32);
            }
        }
    }
    return true;
}

void rgbToYuv420(const uint8_t* rgb, uint8_t* y, int yStride, uint8_t* cb, uint8_t* cr, int cStride) {
    // Y = 16 + 65.481 R + 128.553 G + 24.966 B, Cb = 128 - 37.797 R - 74.203 G
    // + 112 B, Cr = 128 + 112 R - 93.786 G - 18.214 B, for R, G, B in 0..1;
    // here in 1/65536 steps of 8-bit values.
    constexpr int kYr = 16829, kYg = 33039, kYb = 6416;      // x/255 * 65536
    constexpr int kCbR = -9714, kCbG = -19070, kCbB = 28784;
    constexpr int kCrR = 28784, kCrG = -24103, kCrB = -4681;
    for (int row = 0; row < kHeight; ++row) {
        const uint8_t* p = rgb + static_cast<size_t>(row) * kStride;
        uint8_t* yRow = y + static_cast<size_t>(row) * yStride;
        for (int x = 0; x < kWidth; ++x, p += 3)
            yRow[x] = clampByte(16 + ((kYr * p[0] + kYg * p[1] + kYb * p[2] + 32768) >> 16));
    }
    for (int row = 0; row < kHeight / 2; ++row) {
        const uint8_t* a = rgb + static_cast<size_t>(2 * row) * kStride;
        const uint8_t* b = a + kStride;
        for (int x = 0; x < kWidth / 2; ++x) {
            const int i = x * 6;
            const int r = a[i] + a[i + 3] + b[i] + b[i + 3];
            const int g = a[i + 1] + a[i + 4] + b[i + 1] + b[i + 4];
            const int bl = a[i + 2] + a[i + 5] + b[i + 2] + b[i + 5];
            cb[static_cast<size_t>(row) * cStride + x] =
                clampByte(128 + ((kCbR * r + kCbG * g + kCbB * bl + 131072) >> 18));
            cr[static_cast<size_t>(row) * cStride + x] =
                clampByte(128 + ((kCrR * r + kCrG * g + kCrB * bl + 131072) >> 18));
        }
    }
}

void yuv420ToRgb(const uint8_t* y, int yStride, const uint8_t* cb, const uint8_t* cr, int cStride, int width,
                 int height, uint8_t* rgb) {
    // The inverse of the studio-range matrix, in 1/65536 steps.
    constexpr int kY = 76309, kRv = 104597, kGu = -25675, kGv = -53279, kBu = 132201;
    for (int row = 0; row < kHeight; ++row) {
        const int sy = height == kHeight ? row : row * height / kHeight;
        uint8_t* o = rgb + static_cast<size_t>(row) * kStride;
        for (int x = 0; x < kWidth; ++x) {
            const int sx = width == kWidth ? x : x * width / kWidth;
            const int l = kY * (y[static_cast<size_t>(sy) * yStride + sx] - 16);
            const int u = cb[static_cast<size_t>(sy / 2) * cStride + sx / 2] - 128;
            const int v = cr[static_cast<size_t>(sy / 2) * cStride + sx / 2] - 128;
            o[x * 3] = clampByte((l + kRv * v + 32768) >> 16);
            o[x * 3 + 1] = clampByte((l + kGu * u + kGv * v + 32768) >> 16);
            o[x * 3 + 2] = clampByte((l + kBu * u + 32768) >> 16);
        }
    }
}

}  // namespace video
