#pragma once
// The text engine under DrawContext: FreeType with the built-in face, one
// FreeType face a weight, glyphs rendered once (light hinting, grey
// coverage) and kept. Shared by every thread; each call locks it.
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "gui/Color.h"
#include "gui/Font.h"
#include "gui/Geometry.h"
#include "gui/Image.h"
#include "platform/Mutex.h"

struct FT_LibraryRec_;
struct FT_FaceRec_;

namespace gui {

class TextEngine {
public:
    struct Metrics {
        int ascent = 0;   // pixels above the baseline
        int descent = 0;  // pixels below it
    };

    static TextEngine& instance();

    Metrics metrics(Font font);
    // Sum of the glyphs' advances.
    int width(const char* text, Font font);
    // The text with its first pen position at `origin` (x and baseline),
    // its coverage blended in `c`, nothing outside `cut`.
    void draw(Image& target, const Rect& cut, const char* text, Font font, Point origin, Color c);

    TextEngine(const TextEngine&) = delete;
    TextEngine& operator=(const TextEngine&) = delete;

private:
    struct Glyph {
        int left = 0, top = 0;  // bitmap's corner from the pen, up positive
        int width = 0, rows = 0;
        int advance = 0;
        std::unique_ptr<uint8_t[]> coverage;  // width x rows
    };

    TextEngine();
    ~TextEngine();
    // Under the lock: the face of `font` at its size, null when FreeType
    // could not start.
    FT_FaceRec_* face(Font font);
    const Glyph* glyph(Font font, uint32_t codePoint);
    const Glyph* renderGlyph(FT_FaceRec_* f, uint32_t glyphIndex, uint64_t key);

    platform::Mutex mutex_;
    FT_LibraryRec_* library_ = nullptr;
    FT_FaceRec_* faces_[2] = {nullptr, nullptr};  // regular, bold
    int faceSize_[2] = {0, 0};                    // pixel size last set
    std::unordered_map<uint64_t, Glyph> glyphs_;  // by weight, size, glyph index
};

}  // namespace gui
