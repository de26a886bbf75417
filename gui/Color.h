#pragma once
// Colours (8-bit RGBA, alpha 255 = opaque) and the editor's palette.
#include <cstdint>

namespace gui {

struct Color {
    uint8_t r = 0, g = 0, b = 0, a = 255;
    constexpr Color() = default;
    constexpr Color(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha = 255)
        : r(red), g(green), b(blue), a(alpha) {}
    constexpr bool operator==(const Color& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
    constexpr bool operator!=(const Color& o) const { return !(*this == o); }
};

namespace palette {
constexpr Color black{0, 0, 0};
constexpr Color white{255, 255, 255};
constexpr Color blue{0, 0, 255};
constexpr Color darkBlue{0, 0, 90};
constexpr Color darkGreen{0, 90, 0};
constexpr Color lightBlue{150, 190, 255};
constexpr Color lightGrey{200, 200, 200};
constexpr Color midGrey{160, 160, 160};
constexpr Color statusBlue{0, 80, 120};
constexpr Color panelGrey{180, 190, 200};
constexpr Color buttonFace{220, 230, 240};
constexpr Color tickerText{220, 220, 250};
constexpr Color orange{255, 150, 0};
constexpr Color transparent{0, 0, 0, 0};
}  // namespace palette

}  // namespace gui
