#pragma once
// "Over" compositing of one straight-alpha colour onto one RGBA pixel.
#include <cstdint>

#include "gui/Color.h"

namespace gui {

// x * y / 255, rounded, for x and y in 0..255.
inline unsigned mul255(unsigned x, unsigned y) {
    unsigned t = x * y + 128;
    return (t + (t >> 8)) >> 8;
}

// Puts (r, g, b) with alpha `a` over the pixel at `px` (4 bytes, RGBA).
inline void blendPixel(uint8_t* px, unsigned r, unsigned g, unsigned b, unsigned a) {
    if (a == 0) return;
    const unsigned da = px[3];
    if (a == 255 || da == 0) {
        px[0] = static_cast<uint8_t>(r);
        px[1] = static_cast<uint8_t>(g);
        px[2] = static_cast<uint8_t>(b);
        px[3] = static_cast<uint8_t>(a);
        return;
    }
    if (da == 255) {
        const unsigned ia = 255 - a;
        px[0] = static_cast<uint8_t>((r * a + px[0] * ia + 127) / 255);
        px[1] = static_cast<uint8_t>((g * a + px[1] * ia + 127) / 255);
        px[2] = static_cast<uint8_t>((b * a + px[2] * ia + 127) / 255);
        return;
    }
    // Both partly transparent: the weights are a and da * (1 - a), scaled
    // by 255, and the result's alpha is their sum.
    const unsigned ws = a * 255;
    const unsigned wd = da * (255 - a);
    const unsigned sum = ws + wd;
    px[0] = static_cast<uint8_t>((r * ws + px[0] * wd + sum / 2) / sum);
    px[1] = static_cast<uint8_t>((g * ws + px[1] * wd + sum / 2) / sum);
    px[2] = static_cast<uint8_t>((b * ws + px[2] * wd + sum / 2) / sum);
    px[3] = static_cast<uint8_t>((sum + 127) / 255);
}

inline void blendPixel(uint8_t* px, Color c, unsigned alpha) { blendPixel(px, c.r, c.g, c.b, alpha); }

}  // namespace gui
