// PNG files: a round trip through a file, corrupt and truncated input,
// and grey and palette pictures read as RGBA.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "gui/PngCodec.h"

using namespace gui;

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t crc32(const uint8_t* p, size_t n) {
    uint32_t c = 0xffffffffu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1)));
    }
    return ~c;
}

void put32(Bytes& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}

void chunk(Bytes& png, const char* type, const Bytes& data) {
    put32(png, uint32_t(data.size()));
    const size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    put32(png, crc32(png.data() + start, png.size() - start));
}

// A PNG of `rows` (each starting with filter byte 0) in one stored
// (uncompressed) deflate block, with optional PLTE and tRNS chunks.
Bytes makePng(int w, int h, uint8_t depth, uint8_t colorType, const Bytes& rows, const Bytes& plte = {},
              const Bytes& trns = {}) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    Bytes ihdr;
    put32(ihdr, uint32_t(w));
    put32(ihdr, uint32_t(h));
    ihdr.insert(ihdr.end(), {depth, colorType, 0, 0, 0});
    chunk(png, "IHDR", ihdr);
    if (!plte.empty()) chunk(png, "PLTE", plte);
    if (!trns.empty()) chunk(png, "tRNS", trns);
    const uint16_t n = uint16_t(rows.size());
    Bytes z = {0x78, 0x01, 0x01, uint8_t(n), uint8_t(n >> 8), uint8_t(~n), uint8_t(~n >> 8)};
    z.insert(z.end(), rows.begin(), rows.end());
    uint32_t a = 1, b = 0;
    for (uint8_t v : rows) a = (a + v) % 65521, b = (b + a) % 65521;
    put32(z, (b << 16) | a);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", {});
    return png;
}

}  // namespace

TEST(GuiPng, HandMadeGreyAndPalettePicturesReadAsRgba) {
    Image img;
    // 2 x 2 grey, 8 bits: 0, 255 / 100, 7.
    const Bytes grey = makePng(2, 2, 8, 0, {0, 0, 255, 0, 100, 7});
    ASSERT_TRUE(decodePng(grey.data(), grey.size(), img));
    ASSERT_EQ(2, img.width());
    EXPECT_EQ(Color(0, 0, 0), img.pixel(0, 0));
    EXPECT_EQ(Color(255, 255, 255), img.pixel(1, 0));
    EXPECT_EQ(Color(7, 7, 7), img.pixel(1, 1));

    // 3 x 1 with a 2-bit palette, the middle entry half transparent.
    const Bytes pal = makePng(3, 1, 2, 3, {0, 0x18}, {255, 0, 0, 0, 255, 0, 0, 0, 255}, {255, 128});
    ASSERT_TRUE(decodePng(pal.data(), pal.size(), img));
    ASSERT_EQ(3, img.width());
    EXPECT_EQ(Color(255, 0, 0), img.pixel(0, 0));
    EXPECT_EQ(Color(0, 255, 0, 128), img.pixel(1, 0));
    EXPECT_EQ(Color(0, 0, 255), img.pixel(2, 0));

    // 16-bit grey with alpha: the high bytes.
    const Bytes grey16 = makePng(1, 1, 16, 4, {0, 0x12, 0x34, 0x80, 0x00});
    ASSERT_TRUE(decodePng(grey16.data(), grey16.size(), img));
    EXPECT_EQ(Color(0x12, 0x12, 0x12, 0x80), img.pixel(0, 0));
}

TEST(GuiPng, RoundTripThroughAFileKeepsEveryPixel) {
    Image img(37, 11);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 37; ++x) img.setPixel(x, y, Color(uint8_t(x * 7), uint8_t(y * 23), uint8_t(x ^ y), uint8_t(x * y)));
    const std::string path = ::testing::TempDir() + "gui_png_round_trip.png";
    ASSERT_TRUE(writePngFile(path, img));
    Image back(1, 1);
    ASSERT_TRUE(readPngFile(path, back));
    EXPECT_EQ(img, back);
    std::remove(path.c_str());
    EXPECT_FALSE(readPngFile(path, back));
    EXPECT_TRUE(back.empty());
    EXPECT_FALSE(writePngFile(path, Image()));
}

TEST(GuiPng, CorruptTruncatedAndHugeInputIsRefused) {
    const Bytes good = makePng(2, 2, 8, 0, {0, 1, 2, 0, 3, 4});
    Image img(2, 2);
    for (size_t n = 0; n < good.size(); ++n) {
        img = Image(1, 1);
        EXPECT_FALSE(decodePng(good.data(), n, img)) << n;
        EXPECT_TRUE(img.empty());
    }
    Bytes flipped = good;
    flipped[good.size() - 25] ^= 0x40;  // inside the IDAT data: the CRC fails
    EXPECT_FALSE(decodePng(flipped.data(), flipped.size(), img));
    EXPECT_FALSE(decodePng(nullptr, 100, img));

    const Bytes wide = makePng(8193, 1, 8, 0, Bytes(8194, 0));
    EXPECT_FALSE(decodePng(wide.data(), wide.size(), img));
    const Bytes empty = makePng(0, 1, 8, 0, {0});
    EXPECT_FALSE(decodePng(empty.data(), empty.size(), img));
    // Too little pixel data for the size in the header.
    const Bytes shortData = makePng(4, 4, 8, 0, {0, 1, 2, 3, 4});
    EXPECT_FALSE(decodePng(shortData.data(), shortData.size(), img));
}
