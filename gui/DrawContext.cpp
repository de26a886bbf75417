#include "gui/DrawContext.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "gui/Blend.h"
#include "gui/TextEngine.h"

namespace gui {

namespace {

uint8_t* pixelAt(Image& image, int x, int y) {
    return image.data() + static_cast<size_t>(y) * image.stride() + static_cast<size_t>(x) * 4;
}

// The rectangle `r` moved by (dx, dy), computed wide and cut to `bound`
// so that far-off coordinates cannot overflow.
Rect shiftedWithin(const Rect& r, long long dx, long long dy, const Rect& bound) {
    auto clampTo = [](long long v, int lo, int hi) {
        return static_cast<int>(v < lo ? lo : (v > hi ? hi : v));
    };
    Rect s(clampTo(r.left + dx, bound.left, bound.right), clampTo(r.top + dy, bound.top, bound.bottom),
           clampTo(r.right + dx, bound.left, bound.right), clampTo(r.bottom + dy, bound.top, bound.bottom));
    return s.empty() ? Rect() : s;
}

// round(i * m / n) for 0 <= i, m <= n < 2^33, halves rounded up, exact in
// 64 bits: i is split so that no product passes 2^52.
long long scaledRound(long long i, long long m, long long n) {
    const long long d = 2 * n;
    const long long high = (i >> 17) * m * 2;  // times 2^17
    const long long low = (i & 0x1ffff) * m * 2 + n;
    return (high / d << 17) + ((high % d << 17) + low) / d;
}

}  // namespace

static_assert(sizeof(Color) == 4, "a Color is one RGBA pixel");

DrawContext::DrawContext(Image& target) : target_(target), clip_(target.bounds()) {}

Rect DrawContext::setClip(const Rect& r) {
    const Rect previous = clip_;
    clip_ = r.intersection(target_.bounds());
    return previous;
}

void DrawContext::fillRect(const Rect& r, Color c) {
    const Rect area = r.intersection(clip_);
    if (area.empty() || c.a == 0 || target_.empty()) return;
    const int w = area.width();
    if (c.a == 255) {
        uint8_t* first = pixelAt(target_, area.left, area.top);
        for (int x = 0; x < w; ++x) std::memcpy(first + x * 4, &c, 4);
        for (int y = area.top + 1; y < area.bottom; ++y)
            std::memcpy(pixelAt(target_, area.left, y), first, static_cast<size_t>(w) * 4);
        return;
    }
    for (int y = area.top; y < area.bottom; ++y) {
        uint8_t* px = pixelAt(target_, area.left, y);
        for (int x = 0; x < w; ++x, px += 4) blendPixel(px, c, c.a);
    }
}

void DrawContext::frameRect(const Rect& r, Color c) {
    if (r.empty()) return;
    // Four bands that do not overlap, so a translucent colour blends once.
    fillRect(Rect(r.left, r.top, r.right, r.top + 1), c);
    if (r.height() > 1) fillRect(Rect(r.left, r.bottom - 1, r.right, r.bottom), c);
    if (r.height() > 2) {
        fillRect(Rect(r.left, r.top + 1, r.left + 1, r.bottom - 1), c);
        if (r.width() > 1) fillRect(Rect(r.right - 1, r.top + 1, r.right, r.bottom - 1), c);
    }
}

void DrawContext::drawLine(Point from, Point to, Color c) {
    if (clip_.empty() || c.a == 0 || target_.empty()) return;
    // Step i of n along the major axis lands on the minor coordinate
    // from + round(i * dMinor / n) (halves rounded away from `from`): the
    // Bresenham pixels, in closed form so that only the steps inside the
    // clip need visiting.
    const long long dx = static_cast<long long>(to.x) - from.x;
    const long long dy = static_cast<long long>(to.y) - from.y;
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const long long n = xMajor ? std::llabs(dx) : std::llabs(dy);
    const long long minorSpan = xMajor ? std::llabs(dy) : std::llabs(dx);
    const int majorStep = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const int minorStep = (xMajor ? dy : dx) < 0 ? -1 : 1;
    const long long majorStart = xMajor ? from.x : from.y;
    const long long minorStart = xMajor ? from.y : from.x;
    const long long clipLo = xMajor ? clip_.left : clip_.top;
    const long long clipHi = xMajor ? clip_.right - 1 : clip_.bottom - 1;

    // The steps whose major coordinate lies inside the clip.
    long long first = 0, last = n;
    if (majorStep > 0) {
        first = std::max(first, clipLo - majorStart);
        last = std::min(last, clipHi - majorStart);
    } else {
        first = std::max(first, majorStart - clipHi);
        last = std::min(last, majorStart - clipLo);
    }
    for (long long i = first; i <= last; ++i) {
        const long long minorOffset = n == 0 ? 0 : scaledRound(i, minorSpan, n);
        const long long major = majorStart + majorStep * i;
        const long long minor = minorStart + minorStep * minorOffset;
        const int x = static_cast<int>(xMajor ? major : minor);
        const int y = static_cast<int>(xMajor ? minor : major);
        if (!clip_.contains(Point(x, y))) continue;
        blendPixel(pixelAt(target_, x, y), c, c.a);
    }
}

void DrawContext::drawImage(const Image& source, const Rect& dest, Point sourceOffset, uint8_t alpha) {
    if (source.empty() || target_.empty() || alpha == 0) return;
    // Where the source's own bounds land in the target, then cut to the
    // destination and the clip.
    const Rect area = shiftedWithin(source.bounds(), static_cast<long long>(dest.left) - sourceOffset.x,
                                    static_cast<long long>(dest.top) - sourceOffset.y, clip_)
                          .intersection(dest);
    if (area.empty()) return;
    const int sx = static_cast<int>(static_cast<long long>(area.left) - dest.left + sourceOffset.x);
    const int sy = static_cast<int>(static_cast<long long>(area.top) - dest.top + sourceOffset.y);
    const int w = area.width();
    const size_t rowBytes = static_cast<size_t>(w) * 4;

    // Drawing an image onto itself: visit rows so that none is overwritten
    // before it is read.
    const bool upward = &source == &target_ && sy < area.top;
    for (int k = 0; k < area.height(); ++k) {
        const int row = upward ? area.height() - 1 - k : k;
        const uint8_t* src = source.data() + static_cast<size_t>(sy + row) * source.stride() + static_cast<size_t>(sx) * 4;
        uint8_t* dst = pixelAt(target_, area.left, area.top + row);
        bool opaque = alpha == 255;
        for (int x = 0; opaque && x < w; ++x) opaque = src[x * 4 + 3] == 255;
        if (opaque) {
            std::memmove(dst, src, rowBytes);
            continue;
        }
        for (int x = 0; x < w; ++x) {
            const uint8_t* s = src + x * 4;
            blendPixel(dst + x * 4, s[0], s[1], s[2], mul255(s[3], alpha));
        }
    }
}

void DrawContext::drawText(const char* text, const Rect& r, Font font, Color c, Align align) {
    if (!text || !*text || c.a == 0 || target_.empty()) return;
    const Rect cut = r.intersection(clip_);
    if (cut.empty()) return;
    TextEngine& engine = TextEngine::instance();
    const TextEngine::Metrics m = engine.metrics(font);
    int x = r.left;
    if (align != Align::Left) {
        const int w = engine.width(text, font);
        x = align == Align::Center ? r.left + (r.width() - w) / 2 : r.right - w;
    }
    const int baseline = r.top + (r.height() - (m.ascent + m.descent)) / 2 + m.ascent;
    engine.draw(target_, cut, text, font, Point(x, baseline), c);
}

void DrawContext::drawShadowText(const char* text, const Rect& r, Font font, Color c, Color shadow, Align align) {
    // The shadow is laid out one pixel down and right but still cut at r.
    const Rect saved = setClip(clip_.intersection(r));
    drawText(text, r.offset(1, 1), font, shadow, align);
    setClip(saved);
    drawText(text, r, font, c, align);
}

int textWidth(const char* text, Font font) {
    if (!text || !*text) return 0;
    return TextEngine::instance().width(text, font);
}

int fontHeight(Font font) {
    const TextEngine::Metrics m = TextEngine::instance().metrics(font);
    return m.ascent + m.descent;
}

}  // namespace gui
