#include "editor/controls/ProgressMeter.h"

namespace editor {

int ProgressMeter::split() const {
    float v = value();
    if (!(v > minimum())) v = minimum();
    if (v > maximum()) v = maximum();
    const int k = static_cast<int>(steps() * v + 0.5f);
    const int width = onBitmap() ? onBitmap()->width() : size_.width();
    return static_cast<int>(static_cast<float>(k) / static_cast<float>(steps()) * static_cast<float>(width));
}

void ProgressMeter::draw(gui::DrawContext& dc) {
    const int x = size_.left + split();
    if (offBitmap())
        dc.drawImage(offBitmap()->image(), gui::Rect(x, size_.top, size_.right, size_.bottom),
                     gui::Point(x - size_.left, 0));
    if (onBitmap()) dc.drawImage(onBitmap()->image(), gui::Rect(size_.left, size_.top, x, size_.bottom), gui::Point(0, 0));
}

}  // namespace editor
