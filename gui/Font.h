#pragma once
// The toolkit's text fonts, all the same Arial-metric face built into the
// library (so a copied plug-in needs no font files): font 2 = 14 px,
// 3 = 12 px, 4 = 11 px, 5 = 10 px (pixel size of the em), regular or bold.
#include <cstdint>

namespace gui {

enum class FontId : int { Big = 2, Normal = 3, Small = 4, Smaller = 5 };

struct Font {
    FontId id = FontId::Normal;
    bool bold = false;
    constexpr Font() = default;
    constexpr Font(FontId f, bool b = false) : id(f), bold(b) {}
};

// Pixel size of a font number (2..5; others are font 3's 12 px).
int fontPixelSize(FontId id);

enum class Align { Left, Center, Right };

}  // namespace gui
