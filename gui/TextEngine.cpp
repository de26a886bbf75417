#include "gui/TextEngine.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

#include "gui/Blend.h"
#include "gui/FontData.h"
#include "gui/Utf8.h"

namespace gui {

namespace {

// Rounds a 26.6 value to whole pixels.
int roundPixels(FT_Pos v) { return static_cast<int>((v + 32) >> 6); }

}  // namespace

TextEngine& TextEngine::instance() {
    static TextEngine engine;
    return engine;
}

TextEngine::TextEngine() {
    if (FT_Init_FreeType(&library_) != 0) {
        library_ = nullptr;
        return;
    }
    const unsigned char* data[2] = {fontdata::kRegularFace, fontdata::kBoldFace};
    const size_t sizes[2] = {fontdata::kRegularFaceSize, fontdata::kBoldFaceSize};
    for (int k = 0; k < 2; ++k) {
        FT_Face f = nullptr;
        if (FT_New_Memory_Face(library_, data[k], static_cast<FT_Long>(sizes[k]), 0, &f) == 0) faces_[k] = f;
    }
}

TextEngine::~TextEngine() {
    for (FT_Face f : faces_)
        if (f) FT_Done_Face(f);
    if (library_) FT_Done_FreeType(library_);
}

FT_Face TextEngine::face(Font font) {
    const int k = font.bold ? 1 : 0;
    FT_Face f = faces_[k] ? faces_[k] : faces_[0];
    if (!f) return nullptr;
    const int px = fontPixelSize(font.id);
    const int slot = f == faces_[1] ? 1 : 0;
    if (faceSize_[slot] != px) {
        if (FT_Set_Pixel_Sizes(f, 0, static_cast<FT_UInt>(px)) != 0) return nullptr;
        faceSize_[slot] = px;
    }
    return f;
}

const TextEngine::Glyph* TextEngine::glyph(Font font, uint32_t codePoint) {
    FT_Face f = face(font);
    if (!f) return nullptr;
    FT_UInt index = FT_Get_Char_Index(f, codePoint);
    // A character the face lacks takes the room of a '?' and shows nothing.
    const bool missing = index == 0;
    if (missing) index = FT_Get_Char_Index(f, '?');
    const uint64_t key = (static_cast<uint64_t>(missing) << 48) | (static_cast<uint64_t>(font.bold) << 40) |
                         (static_cast<uint64_t>(fontPixelSize(font.id)) << 32) | index;
    auto it = glyphs_.find(key);
    if (it != glyphs_.end()) return &it->second;
    return renderGlyph(f, index, key);
}

const TextEngine::Glyph* TextEngine::renderGlyph(FT_Face f, uint32_t glyphIndex, uint64_t key) {
    const bool missing = (key >> 48) != 0;
    if (FT_Load_Glyph(f, glyphIndex, FT_LOAD_TARGET_LIGHT | (missing ? 0 : FT_LOAD_RENDER)) != 0) return nullptr;
    const FT_GlyphSlot slot = f->glyph;
    Glyph g;
    g.advance = roundPixels(slot->advance.x);
    const FT_Bitmap& bm = slot->bitmap;
    const bool gray = bm.pixel_mode == FT_PIXEL_MODE_GRAY, mono = bm.pixel_mode == FT_PIXEL_MODE_MONO;
    if (!missing && (gray || mono) && bm.width > 0 && bm.rows > 0 && bm.buffer) {
        g.width = static_cast<int>(bm.width);
        g.rows = static_cast<int>(bm.rows);
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        g.coverage.reset(new (std::nothrow) uint8_t[static_cast<size_t>(g.width) * g.rows]);
        if (!g.coverage) return nullptr;
        const int pitch = bm.pitch;
        for (int y = 0; y < g.rows; ++y) {
            // A negative pitch means the rows are stored bottom first.
            const unsigned char* src = bm.buffer + (pitch >= 0 ? y : g.rows - 1 - y) * std::abs(pitch);
            uint8_t* dst = g.coverage.get() + static_cast<size_t>(y) * g.width;
            for (int x = 0; x < g.width; ++x)
                dst[x] = gray ? src[x] : ((src[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0);
        }
    }
    return &glyphs_.emplace(key, std::move(g)).first->second;
}

TextEngine::Metrics TextEngine::metrics(Font font) {
    platform::MutexLock lock(mutex_);
    Metrics m;
    FT_Face f = face(font);
    if (!f || !f->size) return m;
    m.ascent = roundPixels(f->size->metrics.ascender);
    m.descent = roundPixels(-f->size->metrics.descender);
    return m;
}

int TextEngine::width(const char* text, Font font) {
    platform::MutexLock lock(mutex_);
    int w = 0;
    for (const char* p = text; p && *p;) {
        const Glyph* g = glyph(font, nextCodePoint(p));
        if (g) w += g->advance;
    }
    return w;
}

void TextEngine::draw(Image& target, const Rect& cut, const char* text, Font font, Point origin, Color c) {
    const Rect area = cut.intersection(target.bounds());
    if (area.empty() || !text) return;
    platform::MutexLock lock(mutex_);
    long long penX = origin.x;
    for (const char* p = text; *p;) {
        const Glyph* g = glyph(font, nextCodePoint(p));
        if (!g) continue;
        const long long x0 = penX + g->left, y0 = static_cast<long long>(origin.y) - g->top;
        penX += g->advance;
        if (!g->coverage || x0 >= area.right || x0 + g->width <= area.left || y0 >= area.bottom ||
            y0 + g->rows <= area.top)
            continue;
        // The glyph's rows and columns that fall inside the area.
        const int gx0 = static_cast<int>(std::max<long long>(0, area.left - x0));
        const int gx1 = static_cast<int>(std::min<long long>(g->width, area.right - x0));
        const int gy0 = static_cast<int>(std::max<long long>(0, area.top - y0));
        const int gy1 = static_cast<int>(std::min<long long>(g->rows, area.bottom - y0));
        for (int gy = gy0; gy < gy1; ++gy) {
            const uint8_t* cov = g->coverage.get() + static_cast<size_t>(gy) * g->width;
            uint8_t* row = target.data() + static_cast<size_t>(y0 + gy) * target.stride();
            for (int gx = gx0; gx < gx1; ++gx)
                if (cov[gx]) blendPixel(row + static_cast<size_t>(x0 + gx) * 4, c, mul255(cov[gx], c.a));
        }
    }
}

}  // namespace gui
