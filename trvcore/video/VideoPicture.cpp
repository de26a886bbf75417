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
    // here in 1/65536 steps of 8-bit values. The results stay within
    // 16..235 and 16..240 by construction: no clamping is needed.
    constexpr int kYr = 16829, kYg = 33039, kYb = 6416;      // x/255 * 65536
    constexpr int kCbR = -9714, kCbG = -19070, kCbB = 28784;
    constexpr int kCrR = 28784, kCrG = -24103, kCrB = -4681;
    auto luma = [](const uint8_t* p) {
        return static_cast<uint8_t>(16 + ((kYr * p[0] + kYg * p[1] + kYb * p[2] + 32768) >> 16));
    };
    // Two rows at a time: each 2 x 2 block gives four Y and one Cb and Cr
    // from the pixels read once.
    for (int row = 0; row < kHeight / 2; ++row) {
        const uint8_t* a = rgb + static_cast<size_t>(2 * row) * kStride;
        const uint8_t* b = a + kStride;
        uint8_t* ya = y + static_cast<size_t>(2 * row) * yStride;
        uint8_t* yb = ya + yStride;
        uint8_t* cbRow = cb + static_cast<size_t>(row) * cStride;
        uint8_t* crRow = cr + static_cast<size_t>(row) * cStride;
        for (int x = 0; x < kWidth / 2; ++x, a += 6, b += 6) {
            ya[2 * x] = luma(a);
            ya[2 * x + 1] = luma(a + 3);
            yb[2 * x] = luma(b);
            yb[2 * x + 1] = luma(b + 3);
            const int r = a[0] + a[3] + b[0] + b[3];
            const int g = a[1] + a[4] + b[1] + b[4];
            const int bl = a[2] + a[5] + b[2] + b[5];
            cbRow[x] = static_cast<uint8_t>(128 + ((kCbR * r + kCbG * g + kCbB * bl + 131072) >> 18));
            crRow[x] = static_cast<uint8_t>(128 + ((kCrR * r + kCrG * g + kCrB * bl + 131072) >> 18));
        }
    }
}

namespace {

// The inverse of the studio-range matrix in 1/65536 steps, as tables over
// the sample values, and a table that clamps the results to 0..255: no
// multiplication and no branch per pixel.
struct InverseTables {
    static constexpr int kClampOffset = 384;
    int32_t luma[256], rv[256], gu[256], gv[256], bu[256];
    uint8_t clamp[1024];
    InverseTables() {
        constexpr int kY = 76309, kRv = 104597, kGu = -25675, kGv = -53279, kBu = 132201;
        for (int i = 0; i < 256; ++i) {
            luma[i] = kY * (i - 16) + 32768 + (kClampOffset << 16);
            rv[i] = kRv * (i - 128);
            gu[i] = kGu * (i - 128);
            gv[i] = kGv * (i - 128);
            bu[i] = kBu * (i - 128);
        }
        for (int i = 0; i < 1024; ++i) clamp[i] = clampByte(i - kClampOffset);
    }
};

const InverseTables& inverseTables() {
    static const InverseTables tables;
    return tables;
}

}  // namespace

void yuv420ToRgb(const uint8_t* y, int yStride, const uint8_t* cb, const uint8_t* cr, int cStride, int width,
                 int height, uint8_t* rgb) {
    const InverseTables& t = inverseTables();
    // The source column of every output column, worked out once.
    int columns[kWidth];
    for (int x = 0; x < kWidth; ++x) columns[x] = width == kWidth ? x : x * width / kWidth;
    for (int row = 0; row < kHeight; ++row) {
        const int sy = height == kHeight ? row : row * height / kHeight;
        const uint8_t* yRow = y + static_cast<size_t>(sy) * yStride;
        const uint8_t* cbRow = cb + static_cast<size_t>(sy / 2) * cStride;
        const uint8_t* crRow = cr + static_cast<size_t>(sy / 2) * cStride;
        uint8_t* o = rgb + static_cast<size_t>(row) * kStride;
        if (width == kWidth) {
            // The usual case: two pixels share each chroma sample.
            for (int x = 0; x < kWidth; x += 2, o += 6) {
                const int c = x >> 1;
                const int32_t r = t.rv[crRow[c]], g = t.gu[cbRow[c]] + t.gv[crRow[c]], b = t.bu[cbRow[c]];
                const int32_t l0 = t.luma[yRow[x]], l1 = t.luma[yRow[x + 1]];
                o[0] = t.clamp[(l0 + r) >> 16];
                o[1] = t.clamp[(l0 + g) >> 16];
                o[2] = t.clamp[(l0 + b) >> 16];
                o[3] = t.clamp[(l1 + r) >> 16];
                o[4] = t.clamp[(l1 + g) >> 16];
                o[5] = t.clamp[(l1 + b) >> 16];
            }
            continue;
        }
        for (int x = 0; x < kWidth; ++x, o += 3) {
            const int sx = columns[x];
            const int32_t l = t.luma[yRow[sx]];
            const uint8_t u = cbRow[sx >> 1];
            const uint8_t v = crRow[sx >> 1];
            // Every sum lies within the clamp table: -277..536 plus 384.
            o[0] = t.clamp[(l + t.rv[v]) >> 16];
            o[1] = t.clamp[(l + t.gu[u] + t.gv[v]) >> 16];
            o[2] = t.clamp[(l + t.bu[u]) >> 16];
        }
    }
}

}  // namespace video
