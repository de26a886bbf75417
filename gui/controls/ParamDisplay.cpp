#include "gui/controls/ParamDisplay.h"

#include <cstdio>

namespace gui {

ParamDisplay::ParamDisplay(const Rect& size, BitmapRef background, unsigned style)
    : Control(size, nullptr, 0, std::move(background)), style_(style) {}

std::string ParamDisplay::text() const {
    char s[32];
    std::snprintf(s, sizeof s, "%.2f", static_cast<double>(value()));
    return s;
}

void ParamDisplay::draw(DrawContext& dc) { drawText(dc, text()); }

void ParamDisplay::drawText(DrawContext& dc, const std::string& shown) { drawText(dc, shown, size_); }

void ParamDisplay::drawText(DrawContext& dc, const std::string& shown, const Rect& r) {
    if (background()) drawBackground(dc);
    else if (!(style_ & kTransparent)) dc.fillRect(r, backColor_);
    if (!(style_ & kNoFrame)) dc.frameRect(r, frameColor_);
    if (shown.empty()) return;
    const Rect inner = r.inset(2, 0);
    if (style_ & kShadowText) dc.drawShadowText(shown.c_str(), inner, font_, fontColor_, shadowColor_, align_);
    else dc.drawText(shown.c_str(), inner, font_, fontColor_, align_);
}

}  // namespace gui
