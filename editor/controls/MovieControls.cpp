#include "editor/controls/MovieControls.h"

namespace editor {

void LabelledMovieBitmap::setLabel(const std::string& text) {
    const std::string& shown = text.size() > kMaxLabel ? std::string() : text;
    if (shown == label_) return;
    label_ = shown;
    invalid();
}

void LabelledMovieBitmap::draw(gui::DrawContext& dc) {
    gui::MovieBitmap::draw(dc);
    if (!label_.empty()) dc.drawText(label_.c_str(), size_, font_, color_, gui::Align::Center);
}

}  // namespace editor
