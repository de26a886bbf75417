#pragma once
// Drawing into an Image: fills, outlines, lines, image blits from a source
// offset with a constant alpha on top of the source's own, and text in the
// built-in face. Everything is clipped to the clip rectangle (the image's
// bounds at most). Pixel results are the same on every OS: it is all
// software.
//
// Threads: one context is used by one thread at a time; the text engine
// underneath is shared and locks itself.
#include <cstdint>

#include "gui/Color.h"
#include "gui/Font.h"
#include "gui/Geometry.h"
#include "gui/Image.h"

namespace gui {

class DrawContext {
public:
    explicit DrawContext(Image& target);

    Image& target() { return target_; }
    Rect clip() const { return clip_; }
    // Set to `r` within the image; returns the previous one.
    Rect setClip(const Rect& r);

    // Colours with alpha below 255 are blended over what is there.
    void fillRect(const Rect& r, Color c);
    // A one-pixel outline just inside r.
    void frameRect(const Rect& r, Color c);
    // One pixel wide, both end points drawn.
    void drawLine(Point from, Point to, Color c);
    // The part of `source` starting at `sourceOffset` drawn into `dest`
    // (dest's size; what lies outside the source draws nothing), blended
    // by the source's alpha times `alpha` / 255.
    void drawImage(const Image& source, const Rect& dest, Point sourceOffset, uint8_t alpha = 255);

    // One line of text inside `r`, vertically centred on the font's
    // ascent and descent, aligned as asked; transparent background
    // (anti-aliased edges blend with what is there); cut at r.
    void drawText(const char* text, const Rect& r, Font font, Color c, Align align);
    // The text once in `shadow` one pixel right and down, then in `c`.
    void drawShadowText(const char* text, const Rect& r, Font font, Color c, Color shadow, Align align);

private:
    Image& target_;
    Rect clip_;
};

// Width in pixels of `text` (UTF-8 or Latin-1: bytes 0x80 and above not
// forming UTF-8 are taken as Latin-1) in `font`, as drawText lays it out.
int textWidth(const char* text, Font font);
// Ascent + descent of the font in pixels.
int fontHeight(Font font);

}  // namespace gui
