// The bitmap decoder on small generated pictures and on hostile headers.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "trvcore/trvnetwork/BmpDecoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put(Bytes& b, size_t at, uint32_t v, int width = 4) {
    for (int i = 0; i < width; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

struct Layout {
    int32_t width = 4;
    int32_t height = 2;  // negative: rows stored top-down
    uint16_t bits = 8;
    uint32_t infoSize = 40;
    std::vector<uint32_t> palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
};

// Picture pixel (x, y), y = 0 the top row: a palette index for up to 8 bits,
// else a 0xRRGGBB colour.
uint32_t pixel(const Layout& l, int x, int y) {
    return l.bits <= 8 ? static_cast<uint32_t>(x + y) % l.palette.size() : 0x102030u + x * 0x010000u + y * 0x11u;
}

Bytes makeBmp(const Layout& l) {
    const int rows = l.height < 0 ? -l.height : l.height;
    const size_t stride = ((static_cast<size_t>(l.width) * l.bits + 31) / 32) * 4;
    const size_t paletteAt = 14 + l.infoSize;
    const size_t pixelAt = l.bits <= 8 ? paletteAt + l.palette.size() * 4 : paletteAt;
    Bytes b(pixelAt + stride * rows, 0);
    b[0] = 'B';
    b[1] = 'M';
    put(b, 10, static_cast<uint32_t>(pixelAt));
    put(b, 14, l.infoSize);
    put(b, 18, static_cast<uint32_t>(l.width));
    put(b, 22, static_cast<uint32_t>(l.height));
    put(b, 26, 1, 2);
    put(b, 28, l.bits, 2);
    if (l.bits <= 8) {
        put(b, 46, static_cast<uint32_t>(l.palette.size()));
        for (size_t i = 0; i < l.palette.size(); ++i) put(b, paletteAt + i * 4, l.palette[i]);
    }
    for (int y = 0; y < rows; ++y) {
        uint8_t* row = b.data() + pixelAt + stride * (l.height < 0 ? y : rows - 1 - y);
        for (int x = 0; x < l.width; ++x) {
            const uint32_t v = pixel(l, x, y);
            const size_t bit = static_cast<size_t>(x) * l.bits;
            if (l.bits > 8)
                for (int c = 0; c < 3; ++c) row[bit / 8 + c] = static_cast<uint8_t>(v >> (8 * c));
            else
                row[bit / 8] |= static_cast<uint8_t>(v << (8 - l.bits - bit % 8));
        }
    }
    return b;
}

uint32_t expected(const Layout& l, int x, int y) {
    return 0xFF000000u | (l.bits <= 8 ? l.palette[pixel(l, x, y)] : pixel(l, x, y));
}

}  // namespace

TEST(BmpDecoder, EveryDepthAndRowOrderDecodesToTopDownOpaquePixels) {
    Layout layouts[6];
    layouts[0].bits = 24, layouts[0].width = 3;     // rows padded by 3 bytes
    layouts[1].bits = 32, layouts[1].height = -3;   // top-down; alpha byte 0 in the file
    layouts[2].bits = 8, layouts[2].infoSize = 124;  // palette after a longer header
    layouts[3].bits = 4, layouts[3].width = 11;
    layouts[4].bits = 1, layouts[4].width = 11, layouts[4].palette = {0x000000, 0xFFFFFF};
    layouts[5].bits = 8, layouts[5].palette.assign(256, 0), layouts[5].palette[1] = 0x123456;
    for (const Layout& l : layouts) {
        NewsPicture p;
        const Bytes b = makeBmp(l);
        ASSERT_TRUE(BmpDecoder::decode(b.data(), b.size(), p)) << l.bits;
        ASSERT_EQ(p.width, l.width);
        ASSERT_EQ(p.height, l.height < 0 ? -l.height : l.height);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) EXPECT_EQ(p.at(x, y), expected(l, x, y)) << l.bits << " " << x << "," << y;
    }
}

TEST(BmpDecoder, PaletteOfZeroColoursMeansTheFullPalette) {
    Layout l;
    l.palette.assign(256, 0x123456);
    Bytes b = makeBmp(l);
    put(b, 46, 0);
    NewsPicture p;
    EXPECT_TRUE(BmpDecoder::decode(b.data(), b.size(), p));
}

TEST(BmpDecoder, HostileOrUnsupportedHeadersGiveAnEmptyPicture) {
    const struct {
        const char* what;
        size_t at;
        uint32_t value;
        int width;
    } patches[] = {
        {"not BM", 0, 'X', 2},
        {"pixels beyond the file", 10, 0xFFFFFFF0u, 4},
        {"pixels inside the headers", 10, 20, 4},
        {"pixels over the palette", 10, 54, 4},
        {"core header", 14, 12, 4},
        {"info header beyond the file", 14, 100, 4},
        {"width zero", 18, 0, 4},
        {"width negative", 18, 0xFFFFFFFFu, 4},
        {"width huge", 18, 0x7FFFFFFFu, 4},
        {"height zero", 22, 0, 4},
        {"height without positive", 22, 0x80000000u, 4},
        {"height beyond the data", 22, 3, 4},
        {"two planes", 26, 2, 2},
        {"16 bits", 28, 16, 2},
        {"run-length coded", 30, 1, 4},
        {"bit fields", 30, 3, 4},
        {"more colours than 8 bits hold", 46, 257, 4},
        {"palette shorter than the indices", 46, 2, 4},
    };
    for (const auto& patch : patches) {
        Bytes b = makeBmp(Layout());
        put(b, patch.at, patch.value, patch.width);
        NewsPicture p;
        EXPECT_FALSE(BmpDecoder::decode(b.data(), b.size(), p)) << patch.what;
        EXPECT_TRUE(p.empty()) << patch.what;
    }
    Bytes many = makeBmp(Layout());
    put(many, 18, 8192);
    put(many, 22, 8192);
    NewsPicture p;
    EXPECT_FALSE(BmpDecoder::decode(many.data(), many.size(), p)) << "too many pixels";
}

TEST(BmpDecoder, TruncatedFileGivesAnEmptyPictureEvenOverAnEarlierOne) {
    const Bytes whole = makeBmp(Layout());
    NewsPicture p;
    ASSERT_TRUE(BmpDecoder::decode(whole.data(), whole.size(), p));
    for (size_t size : {size_t(0), size_t(2), size_t(53), whole.size() - 1}) {
        EXPECT_FALSE(BmpDecoder::decode(whole.data(), size, p)) << size;
        EXPECT_TRUE(p.empty());
        EXPECT_EQ(p.width, 0);
    }
}
