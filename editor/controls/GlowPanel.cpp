#include "editor/controls/GlowPanel.h"

namespace editor {

GlowPanel::GlowPanel(const gui::Rect& size, gui::BitmapRef background, gui::ControlListener* listener, long tag)
    : ShadowLabel(size, std::move(background), "???"), overlay_(size.width() - 2, size.height() - 2),
      offscreen_(size.width(), size.height()) {
    setListener(listener);
    setTag(tag);
    setStyle(style() | gui::kTransparent);
    setAlign(gui::Align::Center);
}

void GlowPanel::setLevel(double x) {
    if (!(x > 0.0)) x = 0.0;
    if (x > 1.0) x = 1.0;
    if (x == level_) return;
    level_ = x;
    invalid();
}

void GlowPanel::draw(gui::DrawContext& dc) {
    if (offscreen_.empty()) return;
    gui::DrawContext off(offscreen_);
    if (background()) off.drawImage(background()->image(), offscreen_.bounds(), backOffset());
    else offscreen_.fill(gui::palette::transparent);
    const gui::Rect local = offscreen_.bounds().inset(2, 0);
    const std::string text = label();
    off.drawShadowText(text.c_str(), local, font(), fontColor(), gui::palette::lightGrey, align());
    if (!overlay_.empty()) {
        overlay_.fill(overlayColor_);
        const int a = overlayAlpha();
        off.drawImage(overlay_, gui::Rect::sized(1, 1, overlay_.width(), overlay_.height()), gui::Point(0, 0),
                      static_cast<uint8_t>(a > 255 ? 255 : a));
    }
    dc.drawImage(offscreen_, size_, gui::Point(0, 0));
}

}  // namespace editor
