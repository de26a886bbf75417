// The editor's built-in bitmaps: every id loads with its size and frame
// count (and no other id does), every picture is opaque, frames that show
// different states really differ, and the looks the controls rely on (white
// and orange value boxes, the raised tab, grey and red LED, the fill
// animation's order, plain fields under the text controls, the Homepage
// label in its click area).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>

#include "resources/EditorBitmaps.h"

using gui::Color;

namespace {

struct Size {
    int width, height, frames;
};

// Width, height (all frames) and frame count of every bitmap.
const std::map<int, Size> kTable = {
    {128, {623, 365, 1}}, {129, {200, 69, 3}},   {131, {623, 300, 1}}, {132, {71, 34, 2}},   {133, {71, 34, 2}},
    {140, {623, 300, 1}}, {141, {76, 36, 2}},    {142, {76, 36, 2}},   {143, {69, 44, 2}},   {144, {69, 44, 2}},
    {145, {36, 148, 4}},  {146, {67, 34, 2}},    {147, {67, 12, 1}},   {149, {67, 12, 1}},   {150, {24, 68, 4}},
    {151, {49, 34, 2}},   {152, {50, 34, 2}},    {153, {50, 34, 2}},   {154, {123, 34, 2}},  {155, {73, 34, 2}},
    {156, {34, 1188, 33}}, {157, {123, 34, 2}},  {158, {11, 22, 2}},   {160, {623, 300, 1}}, {161, {92, 34, 2}},
    {162, {20, 38, 2}},   {163, {20, 38, 2}},
};

gui::BitmapRef load(int id) {
    gui::BitmapRef b = resources::loadBitmap(id);
    if (!b) ADD_FAILURE() << "bitmap " << id << " does not load";
    return b;
}

// Pixel (x, y) of frame k.
Color at(const gui::Bitmap& b, int k, int x, int y) { return b.image().pixel(x, k * b.frameHeight() + y); }

bool sameFrames(const gui::Bitmap& b, int k, int j) {
    const size_t bytes = b.image().stride() * b.frameHeight();
    const uint8_t* data = b.image().data();
    return std::memcmp(data + k * bytes, data + j * bytes, bytes) == 0;
}

// Mean of r + g + b over a part of frame k.
double brightness(const gui::Bitmap& b, int k, const gui::Rect& r) {
    double sum = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const Color c = at(b, k, x, y);
            sum += c.r + c.g + c.b;
        }
    return sum / r.area();
}

bool isWhite(Color c) { return c.r > 240 && c.g > 240 && c.b > 240; }

}  // namespace

TEST(ResourceBitmaps, EveryListedIdLoadsWithItsSizeAndFramesAndNoOtherDoes) {
    for (int id = resources::kFirstBitmap - 2; id <= resources::kLastBitmap + 2; ++id) {
        SCOPED_TRACE(id);
        const uint8_t* png = nullptr;
        size_t size = 0;
        const auto row = kTable.find(id);
        if (row == kTable.end()) {
            EXPECT_EQ(nullptr, resources::loadBitmap(id));
            EXPECT_EQ(0, resources::bitmapFrames(id));
            EXPECT_FALSE(resources::bitmapPng(id, &png, &size));
            continue;
        }
        ASSERT_TRUE(resources::bitmapPng(id, &png, &size));
        ASSERT_GT(size, 8u);
        EXPECT_EQ(0, std::memcmp(png, "\x89PNG\r\n\x1a\n", 8));
        EXPECT_FALSE(resources::bitmapPng(id, nullptr, &size));
        EXPECT_EQ(row->second.frames, resources::bitmapFrames(id));
        const gui::BitmapRef b = load(id);
        ASSERT_TRUE(b);
        EXPECT_EQ(row->second.width, b->width());
        EXPECT_EQ(row->second.height, b->height());
        EXPECT_EQ(row->second.frames, b->frameCount());
        EXPECT_EQ(row->second.height, b->frameHeight() * b->frameCount());

        // Controls draw them over whatever was there: no see-through pixel.
        bool opaque = true;
        for (int y = 0; opaque && y < b->height(); ++y)
            for (int x = 0; opaque && x < b->width(); ++x) opaque = b->image().pixel(x, y).a == 255;
        EXPECT_TRUE(opaque);
        // Each frame shows another state.
        for (int k = 0; k < b->frameCount(); ++k)
            for (int j = k + 1; j < b->frameCount(); ++j) EXPECT_FALSE(sameFrames(*b, k, j)) << k << " " << j;
    }
}

TEST(ResourceBitmaps, StatesLookAsTheControlsExpect) {
    for (int id : {151, 152, 153, 154, 155, 157}) {
        const gui::BitmapRef box = load(id);
        ASSERT_TRUE(box);
        const int cx = box->width() / 2, cy = box->frameHeight() / 2;
        EXPECT_TRUE(isWhite(at(*box, 0, cx, cy))) << id;
        const Color orange = at(*box, 1, cx, cy);
        EXPECT_TRUE(orange.r > 220 && orange.g > 100 && orange.g < 200 && orange.b < 60) << id;
    }

    // Frame k of the tab bar raises tab k: its third is the brightest.
    const gui::BitmapRef tabs = load(129);
    ASSERT_TRUE(tabs);
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 3; ++j) {
            if (j == k) continue;
            const auto third = [&](int i) { return gui::Rect(i * 200 / 3, 0, (i + 1) * 200 / 3, 23); };
            EXPECT_GT(brightness(*tabs, k, third(k)), brightness(*tabs, k, third(j)) + 30) << k << " " << j;
        }

    const gui::BitmapRef led = load(158);
    ASSERT_TRUE(led);
    const Color off = at(*led, 0, 5, 5), on = at(*led, 1, 5, 5);
    EXPECT_TRUE(std::abs(off.r - off.g) < 20 && std::abs(off.g - off.b) < 20 && off.r > 100) << int(off.r);
    EXPECT_TRUE(on.r > 180 && on.g < 80 && on.b < 80) << int(on.r) << " " << int(on.g);

    // The buffer fill darkens frame by frame as its level rises.
    const gui::BitmapRef fill = load(156);
    ASSERT_TRUE(fill);
    for (int k = 1; k < fill->frameCount(); ++k)
        EXPECT_LT(brightness(*fill, k, gui::Rect(0, 0, 34, 36)), brightness(*fill, k - 1, gui::Rect(0, 0, 34, 36)))
            << k;

    // Text controls lie on plain light fields of their background bitmap
    // (window rectangles; pages start 34 rows down): no caption or
    // border runs into them.
    struct Field {
        int id;
        gui::Rect control;
    };
    for (const Field& f : {Field{128, {230, 12, 580, 26}},  // status line
                           Field{131, {382, 81, 522, 99}}, Field{131, {382, 102, 522, 120}},
                           Field{131, {302, 158, 602, 236}},  // user, password, messages
                           Field{160, {151, 86, 283, 96}}, Field{160, {151, 114, 233, 124}},
                           Field{160, {151, 142, 283, 152}}, Field{160, {151, 197, 331, 207}}}) {  // menus
        const gui::BitmapRef b = load(f.id);
        ASSERT_TRUE(b);
        const gui::Rect inner = f.control.offset(0, f.id == 128 ? 0 : -34).inset(1, 1);
        const Color first = at(*b, 0, inner.left, inner.top);
        EXPECT_TRUE(first.r > 200 && first.g > 200 && first.b > 200) << f.id;
        for (int y = inner.top; y < inner.bottom; ++y)
            for (int x = inner.left; x < inner.right; ++x)
                ASSERT_EQ(first, at(*b, 0, x, y)) << f.id << " at " << x << ", " << y;
    }

    // The Homepage label is painted where its click area lies.
    const gui::BitmapRef window = load(128);
    ASSERT_TRUE(window);
    const Color band = at(*window, 0, 0, 364);
    int painted = 0;
    for (int y = 334; y < 352; ++y)
        for (int x = 556; x < 622; ++x) painted += at(*window, 0, x, y) != band;
    EXPECT_GT(painted, 60);
}
