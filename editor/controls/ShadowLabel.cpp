#include "editor/controls/ShadowLabel.h"

namespace editor {

ShadowLabel::ShadowLabel(const gui::Rect& size, gui::BitmapRef background, const std::string& text)
    : gui::ParamDisplay(size, std::move(background), gui::kShadowText | gui::kNoFrame) {
    setBackOffset(size.topLeft());
    setFont(gui::Font(gui::FontId::Big, true));
    setFontColor(gui::palette::black);
    setShadowColor(gui::palette::lightGrey);
    setAlign(gui::Align::Right);
    setLabel(text);
}

bool ShadowLabel::setLabel(const std::string& text) {
    const std::string cut = text.substr(0, kMaxLabel);
    if (cut == label_) return false;
    label_ = cut;
    invalid();
    return true;
}

void CaptionOptionMenu::setCaption(const std::string& text) {
    const std::string cut = text.substr(0, kMaxCaption);
    if (cut == caption_) return;
    caption_ = cut;
    invalid();
}

}  // namespace editor
