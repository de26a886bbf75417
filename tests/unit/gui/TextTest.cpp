// Text in the built-in face: widths, vertical centring, alignment, cutting
// at the rectangle and the clip, the shadow, UTF-8 and Latin-1.
#include <gtest/gtest.h>

#include <climits>

#include "gui/DrawContext.h"
#include "gui/TextEngine.h"
#include "gui/Utf8.h"

using namespace gui;

namespace {

const Color kBg(255, 255, 255);

// The bounding box of every pixel that is not the background.
Rect ink(const Image& image, Color background = kBg) {
    int l = INT_MAX, t = INT_MAX, r = INT_MIN, b = INT_MIN;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != background) {
                l = std::min(l, x), t = std::min(t, y), r = std::max(r, x + 1), b = std::max(b, y + 1);
            }
    return l == INT_MAX ? Rect() : Rect(l, t, r, b);
}

}  // namespace

TEST(GuiText, WidthsAndHeightsFollowTextSizeAndWeight) {
    const Font normal(FontId::Normal), bold(FontId::Normal, true);
    EXPECT_EQ(0, textWidth("", normal));
    EXPECT_GT(textWidth("Hello", normal), textWidth("Hell", normal));
    EXPECT_GT(textWidth("Hello world", bold), textWidth("Hello world", normal));
    EXPECT_GT(textWidth("Hello", Font(FontId::Big)), textWidth("Hello", Font(FontId::Smaller)));
    // Ascent + descent is a little more than the em.
    for (FontId id : {FontId::Big, FontId::Normal, FontId::Small, FontId::Smaller}) {
        const int h = fontHeight(Font(id));
        EXPECT_GE(h, fontPixelSize(id));
        EXPECT_LE(h, fontPixelSize(id) + 4);
    }
    // A character the face lacks takes the room of '?'.
    EXPECT_EQ(textWidth("?", normal), textWidth("\xe4\xb8\x80", normal));
}

TEST(GuiText, Utf8DecodesAndFallsBackToLatin1) {
    const char* p = "A\xc3\xa9\xe2\x82\xac\xe9x\xc0\xaf";
    EXPECT_EQ(0x41u, nextCodePoint(p));
    EXPECT_EQ(0xe9u, nextCodePoint(p));    // two bytes
    EXPECT_EQ(0x20acu, nextCodePoint(p));  // three
    EXPECT_EQ(0xe9u, nextCodePoint(p));    // a lone Latin-1 byte
    EXPECT_EQ(0x78u, nextCodePoint(p));
    EXPECT_EQ(0xc0u, nextCodePoint(p));  // overlong: each byte alone
    EXPECT_EQ(0xafu, nextCodePoint(p));
    EXPECT_EQ('\0', *p);
    const char* cut = "\xe2\x82";  // ends early at the terminator
    EXPECT_EQ(0xe2u, nextCodePoint(cut));
    EXPECT_EQ(textWidth("\xe9", Font()), textWidth("\xc3\xa9", Font()));
}

TEST(GuiText, InkIsCentredOrAlignedAndCutAtRectAndClip) {
    const Font font(FontId::Big, true);
    const char* text = "Tempo";
    const Rect r(10, 5, 110, 35);
    for (Align align : {Align::Left, Align::Center, Align::Right}) {
        Image img(120, 40, kBg);
        DrawContext dc(img);
        dc.drawText(text, r, font, palette::black, align);
        const Rect box = ink(img);
        ASSERT_FALSE(box.empty());
        EXPECT_TRUE(r.contains(box));
        // Vertically: the line box (ascent + descent) is centred in r, so
        // the T's foot stands on baseline top + (30 - height) / 2 + ascent.
        const TextEngine::Metrics m = TextEngine::instance().metrics(font);
        const int baseline = r.top + (r.height() - fontHeight(font)) / 2 + m.ascent;
        const int stem = box.left + textWidth("T", font) / 2;
        int foot = 0;
        for (int y = 0; y < img.height(); ++y)
            if (img.pixel(stem, y) != kBg) foot = y + 1;
        EXPECT_EQ(baseline, foot);
        EXPECT_GT(box.bottom, baseline);  // the p's descender
        const int spare = r.width() - box.width();
        const int expectedLeft = align == Align::Left ? 0 : align == Align::Center ? spare / 2 : spare;
        EXPECT_NEAR(box.left - r.left, expectedLeft, 1);
    }

    // Cut at r on the left (text wider than r) and at the clip on the right.
    Image img(120, 40, kBg);
    DrawContext dc(img);
    dc.setClip(Rect(0, 0, 30, 40));
    dc.drawText("WWWWWWWWWW", Rect(20, 5, 60, 35), font, palette::black, Align::Center);
    const Rect box = ink(img);
    EXPECT_EQ(20, box.left);
    EXPECT_EQ(30, box.right);
}

TEST(GuiText, ShadowTextPutsTheShadowOnePixelDownRight) {
    const Rect r(0, 0, 60, 20);
    const Font font(FontId::Big, true);
    const Color shadow(200, 0, 0);
    Image plain(60, 20, kBg), shadowOnly(60, 20, kBg), both(60, 20, kBg);
    DrawContext(plain).drawText("Hi", r, font, shadow, Align::Left);
    DrawContext(shadowOnly).drawShadowText("Hi", r, font, palette::transparent, shadow, Align::Left);
    DrawContext(both).drawShadowText("Hi", r, font, palette::black, shadow, Align::Left);
    ASSERT_FALSE(ink(plain).empty());
    EXPECT_EQ(ink(plain).offset(1, 1), ink(shadowOnly));
    int shadowPixels = 0, textPixels = 0;
    for (int y = 0; y + 1 < 20; ++y)
        for (int x = 0; x + 1 < 60; ++x) {
            ASSERT_EQ(plain.pixel(x, y), shadowOnly.pixel(x + 1, y + 1)) << x << "," << y;
            shadowPixels += both.pixel(x, y) == shadow;
            textPixels += both.pixel(x, y) == palette::black;
        }
    EXPECT_GT(shadowPixels, 0);
    EXPECT_GT(textPixels, 3);
}
