#include "trvcore/trvnetwork/BmpDecoder.h"

#include <new>
#include <utility>

#include "trvcore/trvnetwork/WireBytes.h"

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kMaxInfoHeaderBytes = 124;  // BITMAPV5HEADER
constexpr uint32_t kUncompressed = 0;          // BI_RGB

struct BmpLayout {
    int32_t width = 0;
    int32_t height = 0;  // always positive here
    bool topDown = false;
    uint16_t bits = 0;
    uint32_t pixelOffset = 0;
    size_t stride = 0;
    uint32_t palette[256] = {};
    uint32_t paletteCount = 0;
};

uint32_t opaque(uint8_t r, uint8_t g, uint8_t b) {
    return 0xFF000000u | (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | b;
}

bool readLayout(const uint8_t* d, size_t size, BmpLayout& l) {
    if (size < kFileHeaderBytes + kInfoHeaderBytes || d[0] != 'B' || d[1] != 'M') return false;
    uint32_t infoSize = 0;
    uint16_t planes = 0;
    uint32_t compression = 0;
    uint32_t colorsUsed = 0;
    if (!wire::readU32(d, size, 10, l.pixelOffset) || !wire::readU32(d, size, 14, infoSize) ||
        !wire::readI32(d, size, 18, l.width) || !wire::readI32(d, size, 22, l.height) ||
        !wire::readU16(d, size, 26, planes) || !wire::readU16(d, size, 28, l.bits) ||
        !wire::readU32(d, size, 30, compression) || !wire::readU32(d, size, 46, colorsUsed))
        return false;
    if (infoSize < kInfoHeaderBytes || infoSize > kMaxInfoHeaderBytes || !wire::fits(size, kFileHeaderBytes, infoSize))
        return false;
    if (planes != 1 || compression != kUncompressed) return false;
    if (l.bits != 1 && l.bits != 4 && l.bits != 8 && l.bits != 24 && l.bits != 32) return false;
    // INT32_MIN has no positive counterpart; test before negating.
    if (l.width <= 0 || l.height == 0 || l.height == INT32_MIN) return false;
    l.topDown = l.height < 0;
    if (l.topDown) l.height = -l.height;
    if (l.width > BmpDecoder::kMaxSide || l.height > BmpDecoder::kMaxSide ||
        static_cast<int64_t>(l.width) * l.height > BmpDecoder::kMaxPixels)
        return false;

    l.stride = ((static_cast<size_t>(l.width) * l.bits + 31) / 32) * 4;
    const size_t pixelBytes = l.stride * static_cast<size_t>(l.height);
    if (l.pixelOffset < kFileHeaderBytes + infoSize || !wire::fits(size, l.pixelOffset, pixelBytes)) return false;

    if (l.bits <= 8) {
        const uint32_t most = 1u << l.bits;
        if (colorsUsed > most) return false;
        l.paletteCount = colorsUsed ? colorsUsed : most;
        const size_t paletteAt = kFileHeaderBytes + infoSize;
        // The palette lies between the headers and the pixels.
        if (!wire::fits(l.pixelOffset, paletteAt, static_cast<size_t>(l.paletteCount) * 4)) return false;
        for (uint32_t i = 0; i < l.paletteCount; ++i) {
            const uint8_t* q = d + paletteAt + i * 4;
            l.palette[i] = opaque(q[2], q[1], q[0]);
        }
    }
    return true;
}

// Decodes one row; false if a palette index lies outside the palette.
bool decodeRow(const uint8_t* row, const BmpLayout& l, uint32_t* out) {
    for (int32_t x = 0; x < l.width; ++x) {
        if (l.bits == 24 || l.bits == 32) {
            const uint8_t* p = row + static_cast<size_t>(x) * (l.bits / 8);
            out[x] = opaque(p[2], p[1], p[0]);
            continue;
        }
        const size_t bitPos = static_cast<size_t>(x) * l.bits;
        const unsigned shift = 8 - l.bits - static_cast<unsigned>(bitPos % 8);
        const uint32_t index = (row[bitPos / 8] >> shift) & ((1u << l.bits) - 1);
        if (index >= l.paletteCount) return false;
        out[x] = l.palette[index];
    }
    return true;
}

}  // namespace

bool BmpDecoder::decode(const uint8_t* data, size_t size, NewsPicture& out) {
    out.clear();
    BmpLayout l;
    if (!data || !readLayout(data, size, l)) return false;
    const size_t count = static_cast<size_t>(l.width) * static_cast<size_t>(l.height);
    std::unique_ptr<uint32_t[]> pixels(new (std::nothrow) uint32_t[count]);
    if (!pixels) return false;
    for (int32_t y = 0; y < l.height; ++y) {
        const int32_t fileRow = l.topDown ? y : l.height - 1 - y;
        const uint8_t* row = data + l.pixelOffset + static_cast<size_t>(fileRow) * l.stride;
        if (!decodeRow(row, l, pixels.get() + static_cast<size_t>(y) * static_cast<size_t>(l.width))) return false;
    }
    out.width = l.width;
    out.height = l.height;
    out.pixels = std::move(pixels);
    return true;
}
