// The bitmap decoder on small generated pictures and on hostile headers.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "trvcore/trvnetwork/BmpDecoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

struct Layout {
    int32_t width = 4;
    int32_t height = 2;  // negative: rows stored top-down
    uint16_t bits = 8;
    uint32_t infoSize = 40;
    std::vector<uint32_t> palette;  // 0xRRGGBB
};

// A bitmap file; value(x, y) is the palette index or 0xRRGGBB colour of the
// pixel in picture row y (0 = top), wherever the file stores that row.
Bytes makeBmp(const Layout& l, const std::function<uint32_t(int, int)>& value) {
    const int rows = l.height < 0 ? -l.height : l.height;
    const size_t stride = ((static_cast<size_t>(l.width) * l.bits + 31) / 32) * 4;
    const size_t paletteAt = 14 + l.infoSize;
    const size_t pixelAt = paletteAt + l.palette.size() * 4;
    Bytes b(pixelAt + stride * rows, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, static_cast<uint32_t>(b.size()));
    put32(b, 10, static_cast<uint32_t>(pixelAt));
    put32(b, 14, l.infoSize);
    put32(b, 18, static_cast<uint32_t>(l.width));
    put32(b, 22, static_cast<uint32_t>(l.height));
    put16(b, 26, 1);
    put16(b, 28, l.bits);
    put32(b, 46, static_cast<uint32_t>(l.palette.size()));
    for (size_t i = 0; i < l.palette.size(); ++i) put32(b, paletteAt + i * 4, l.palette[i]);
    for (int y = 0; y < rows; ++y) {
        const int fileRow = l.height < 0 ? y : rows - 1 - y;
        uint8_t* row = b.data() + pixelAt + stride * fileRow;
        for (int x = 0; x < l.width; ++x) {
            const uint32_t v = value(x, y);
            if (l.bits >= 24) {
                row[x * (l.bits / 8)] = static_cast<uint8_t>(v);
                row[x * (l.bits / 8) + 1] = static_cast<uint8_t>(v >> 8);
                row[x * (l.bits / 8) + 2] = static_cast<uint8_t>(v >> 16);
            } else {
                const size_t bit = static_cast<size_t>(x) * l.bits;
                row[bit / 8] |= static_cast<uint8_t>(v << (8 - l.bits - bit % 8));
            }
        }
    }
    return b;
}

uint32_t colour(int x, int y) { return 0x102030u + static_cast<uint32_t>(x) * 0x010000u + static_cast<uint32_t>(y) * 0x11u; }

Layout paletted() {
    Layout l;
    l.palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    return l;
}

Bytes validPaletted() {
    return makeBmp(paletted(), [](int x, int y) { return static_cast<uint32_t>((x + y) % 4); });
}

bool decodes(const Bytes& b, NewsPicture& out) { return BmpDecoder::decode(b.data(), b.size(), out); }

}  // namespace

TEST(BmpDecoder, BottomUp24BitRowsArePaddedAndComeOutTopFirst) {
    Layout l;
    l.width = 3;  // 9 bytes a row, 3 bytes of padding
    l.height = 2;
    l.bits = 24;
    NewsPicture p;
    ASSERT_TRUE(decodes(makeBmp(l, colour), p));
    ASSERT_EQ(p.width, 3);
    ASSERT_EQ(p.height, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(p.at(x, y), 0xFF000000u | colour(x, y)) << x << "," << y;
}

TEST(BmpDecoder, TopDown32BitKeepsTheRowOrderAndIsOpaque) {
    Layout l;
    l.width = 2;
    l.height = -3;
    l.bits = 32;
    NewsPicture p;
    ASSERT_TRUE(decodes(makeBmp(l, colour), p));
    EXPECT_EQ(p.height, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x) EXPECT_EQ(p.at(x, y), 0xFF000000u | colour(x, y));
}

TEST(BmpDecoder, EightBitPixelsAreLookedUpInThePalette) {
    NewsPicture p;
    ASSERT_TRUE(decodes(validPaletted(), p));
    EXPECT_EQ(p.at(0, 0), 0xFF000000u);
    EXPECT_EQ(p.at(1, 0), 0xFFFF0000u);
    EXPECT_EQ(p.at(2, 0), 0xFF00FF00u);
    EXPECT_EQ(p.at(3, 0), 0xFF0000FFu);
    EXPECT_EQ(p.at(0, 1), 0xFFFF0000u);
}

TEST(BmpDecoder, FourAndOneBitPixelsAreUnpackedHighBitsFirst) {
    for (uint16_t bits : {uint16_t(1), uint16_t(4)}) {
        Layout l = paletted();
        l.bits = bits;
        l.width = 11;
        if (bits == 1) l.palette = {0x000000, 0xFFFFFF};
        const uint32_t count = static_cast<uint32_t>(l.palette.size());
        NewsPicture p;
        ASSERT_TRUE(decodes(makeBmp(l, [count](int x, int y) { return static_cast<uint32_t>(x + y) % count; }), p))
            << bits;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 11; ++x)
                EXPECT_EQ(p.at(x, y), 0xFF000000u | l.palette[static_cast<uint32_t>(x + y) % count]) << bits;
    }
}

TEST(BmpDecoder, LongerInfoHeaderPutsThePaletteAfterIt) {
    Layout l = paletted();
    l.infoSize = 124;
    NewsPicture p;
    ASSERT_TRUE(decodes(makeBmp(l, [](int x, int) { return static_cast<uint32_t>(x); }), p));
    EXPECT_EQ(p.at(3, 1), 0xFF0000FFu);
}

TEST(BmpDecoder, PaletteOfZeroColoursMeansTheFullPalette) {
    Layout l;
    l.palette.assign(256, 0x123456);
    Bytes b = makeBmp(l, [](int, int) { return 200u; });
    put32(b, 46, 0);
    NewsPicture p;
    ASSERT_TRUE(decodes(b, p));
    EXPECT_EQ(p.at(0, 0), 0xFF123456u);
}

TEST(BmpDecoder, HostileHeadersGiveAnEmptyPicture) {
    struct Patch {
        const char* what;
        size_t at;
        uint32_t value;
        int width;  // 2 or 4 bytes
    };
    const Patch patches[] = {
        {"not BM", 0, 'X', 2},
        {"pixels beyond the file", 10, 0xFFFFFFF0u, 4},
        {"pixels inside the headers", 10, 20, 4},
        {"pixels over the palette", 10, 54, 4},
        {"core header", 14, 12, 4},
        {"info header beyond the file", 14, 100, 4},
        {"info header too long", 14, 0x7FFFFFFFu, 4},
        {"width zero", 18, 0, 4},
        {"width negative", 18, 0xFFFFFFFFu, 4},
        {"width huge", 18, 0x7FFFFFFFu, 4},
        {"height zero", 22, 0, 4},
        {"height without positive", 22, 0x80000000u, 4},
        {"height beyond the data", 22, 3, 4},
        {"too many pixels", 18, 8192, 4},
        {"two planes", 26, 2, 2},
        {"16 bits", 28, 16, 2},
        {"no bits", 28, 0, 2},
        {"run-length coded", 30, 1, 4},
        {"bit fields", 30, 3, 4},
        {"more colours than 8 bits hold", 46, 257, 4},
        {"palette shorter than the indices", 46, 2, 4},
    };
    for (const Patch& patch : patches) {
        Bytes b = validPaletted();
        if (patch.width == 2)
            put16(b, patch.at, patch.value);
        else
            put32(b, patch.at, patch.value);
        if (std::string(patch.what) == "too many pixels") put32(b, 22, 8192);
        NewsPicture p;
        EXPECT_FALSE(decodes(b, p)) << patch.what;
        EXPECT_TRUE(p.empty()) << patch.what;
    }
}

TEST(BmpDecoder, TruncatedFilesGiveAnEmptyPicture) {
    const Bytes whole = validPaletted();
    for (size_t size : {size_t(0), size_t(2), size_t(14), size_t(53), whole.size() - 1}) {
        NewsPicture p;
        EXPECT_FALSE(BmpDecoder::decode(whole.data(), size, p)) << size;
        EXPECT_TRUE(p.empty());
    }
}

TEST(BmpDecoder, FailedDecodeEmptiesAPictureDecodedBefore) {
    NewsPicture p;
    ASSERT_TRUE(decodes(validPaletted(), p));
    Bytes bad = validPaletted();
    bad[1] = 'X';
    EXPECT_FALSE(decodes(bad, p));
    EXPECT_TRUE(p.empty());
    EXPECT_EQ(p.width, 0);
}
