// Software drawing: clipping at the image and clip edges, "over" blending,
// lines and blits.
#include <gtest/gtest.h>

#include <utility>

#include "gui/DrawContext.h"

using namespace gui;

namespace {

const Color kRed(255, 0, 0), kBg(10, 20, 30);

// Pixels of `image` equal to `c`, and whether any of them lies outside `inside`.
int count(const Image& image, Color c, const Rect& inside, bool* outside = nullptr) {
    int n = 0;
    if (outside) *outside = false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == c) {
                ++n;
                if (outside && !inside.contains(Point(x, y))) *outside = true;
            }
    return n;
}

}  // namespace

TEST(GuiDraw, FillsFramesAndLinesStayInsideClipAndImage) {
    Image img(20, 10, kBg);
    DrawContext dc(img);
    EXPECT_EQ(Rect(0, 0, 20, 10), dc.setClip(Rect(-5, 2, 15, 50)));
    const Rect clip(0, 2, 15, 10);
    EXPECT_EQ(clip, dc.clip());
    bool out = false;

    dc.fillRect(Rect(-100, -100, 3, 4), kRed);  // over two edges: 3 x 2 inside
    EXPECT_EQ(6, count(img, kRed, clip, &out));
    EXPECT_FALSE(out);
    img.fill(kBg);

    // Outline just inside (2,3)-(8,7): 2 * 6 + 2 * 2 pixels; the left
    // half cut off by a clip at x = 5 leaves 2 * 3 + 2.
    dc.frameRect(Rect(2, 3, 8, 7), kRed);
    EXPECT_EQ(16, count(img, kRed, clip));
    EXPECT_EQ(kBg, img.pixel(3, 4));
    img.fill(kBg);
    dc.setClip(Rect(5, 0, 20, 10));
    dc.frameRect(Rect(2, 3, 8, 7), kRed);
    EXPECT_EQ(8, count(img, kRed, Rect(5, 0, 20, 10), &out));
    EXPECT_FALSE(out);
    img.fill(kBg);

    // Lines: both ends drawn, one pixel a major step, cut at the clip.
    dc.setClip(img.bounds());
    dc.drawLine(Point(1, 1), Point(11, 6), kRed);
    EXPECT_EQ(11, count(img, kRed, img.bounds()));
    EXPECT_EQ(kRed, img.pixel(1, 1));
    EXPECT_EQ(kRed, img.pixel(11, 6));
    EXPECT_EQ(kRed, img.pixel(6, 4));  // 2.5 rounds up
    img.fill(kBg);
    dc.setClip(Rect(4, 0, 8, 10));
    dc.drawLine(Point(11, 6), Point(1, 1), kRed);
    EXPECT_EQ(4, count(img, kRed, Rect(4, 0, 8, 10), &out));
    EXPECT_FALSE(out);
    img.fill(kBg);
    // Far-off ends: only the visible part is walked; a steep line.
    dc.setClip(img.bounds());
    dc.drawLine(Point(-2000000000, 5), Point(2000000000, 5), kRed);
    EXPECT_EQ(20, count(img, kRed, img.bounds()));
    img.fill(kBg);
    dc.drawLine(Point(3, -1), Point(5, 12), kRed);
    EXPECT_EQ(10, count(img, kRed, img.bounds()));
}

TEST(GuiDraw, TranslucentColoursBlendOver) {
    Image img(4, 1, palette::black);
    img.setPixel(1, 0, palette::white);
    img.setPixel(2, 0, palette::transparent);
    img.setPixel(3, 0, Color(0, 0, 255, 128));
    DrawContext dc(img);
    dc.fillRect(img.bounds(), Color(255, 255, 255, 128));
    const Color black = img.pixel(0, 0), white = img.pixel(1, 0), clear = img.pixel(2, 0), mix = img.pixel(3, 0);
    EXPECT_NEAR(black.r, 128, 1);
    EXPECT_EQ(255, black.a);
    EXPECT_EQ(palette::white, white);
    EXPECT_EQ(Color(255, 255, 255, 128), clear);
    // Half white over half blue: alpha 0.5 + 0.25, colour weighted 2 : 1.
    EXPECT_NEAR(mix.a, 191, 1);
    EXPECT_NEAR(mix.r, 170, 1);
    EXPECT_NEAR(mix.b, 255, 1);
    dc.fillRect(img.bounds(), palette::transparent);
    EXPECT_EQ(palette::white, img.pixel(1, 0));
}

TEST(GuiDraw, BlitsFromOffsetCutAtSourceDestAndClip) {
    // A 6 x 4 source whose pixel (x, y) has red x * 10 and green y * 10.
    Image src(6, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) src.setPixel(x, y, Color(uint8_t(x * 10), uint8_t(y * 10), 0));
    Image img(10, 10, kBg);
    DrawContext dc(img);
    // From (2, 1): 4 x 3 source pixels left, the 8 x 8 dest is larger.
    dc.drawImage(src, Rect(3, 3, 11, 11), Point(2, 1));
    EXPECT_EQ(Color(20, 10, 0), img.pixel(3, 3));
    EXPECT_EQ(Color(50, 30, 0), img.pixel(6, 5));
    EXPECT_EQ(kBg, img.pixel(7, 5));
    EXPECT_EQ(kBg, img.pixel(6, 6));
    EXPECT_EQ(100 - 12, count(img, kBg, img.bounds()));

    // A negative offset leaves the first dest column and row empty; the
    // clip cuts the far side.
    img.fill(kBg);
    dc.setClip(Rect(0, 0, 4, 3));
    dc.drawImage(src, Rect(1, 1, 7, 5), Point(-1, -1));
    EXPECT_EQ(kBg, img.pixel(1, 1));
    EXPECT_EQ(Color(0, 0, 0), img.pixel(2, 2));
    EXPECT_EQ(Color(10, 0, 0), img.pixel(3, 2));
    EXPECT_EQ(100 - 2, count(img, kBg, img.bounds()));

    // Source alpha times the constant alpha: 255 * 128 / 255 over black.
    Image black(2, 1, palette::black), white(2, 1, palette::white);
    white.setPixel(1, 0, Color(255, 255, 255, 0));
    DrawContext(black).drawImage(white, black.bounds(), Point(), 128);
    EXPECT_NEAR(black.pixel(0, 0).g, 128, 1);
    EXPECT_EQ(palette::black, black.pixel(1, 0));
}

TEST(GuiDraw, ImagesCopyAndRefuseNonPositiveSizes) {
    Image a(3, 2, palette::orange), b = a;
    b.setPixel(3, 1, palette::blue);  // outside: nothing
    EXPECT_EQ(a, b);
    b.setPixel(2, 1, palette::blue);
    EXPECT_NE(a, b);
    EXPECT_TRUE(Image(0, 5).empty());
    EXPECT_TRUE(Image(-3, 5).empty());
    Image c = std::move(b);
    EXPECT_TRUE(b.bounds().empty());
}
