#include "gui/controls/VuMeter.h"

namespace gui {

VuMeter::VuMeter(const Rect& size, BitmapRef onBitmap, BitmapRef offBitmap, int steps, Style style)
    : Control(size), on_(std::move(onBitmap)), off_(std::move(offBitmap)), steps_(steps < 1 ? 1 : steps),
      style_(style) {}

void VuMeter::draw(DrawContext& dc) {
    const int k = static_cast<int>(steps_ * value() + 0.5f);
    if (style_ == kHorizontal) {
        const int split = size_.left + k * size_.width() / steps_;
        if (off_) dc.drawImage(off_->image(), Rect(split, size_.top, size_.right, size_.bottom), Point(split - size_.left, 0));
        if (on_) dc.drawImage(on_->image(), Rect(size_.left, size_.top, split, size_.bottom), Point(0, 0));
    } else {
        const int split = size_.bottom - k * size_.height() / steps_;
        if (off_) dc.drawImage(off_->image(), Rect(size_.left, size_.top, size_.right, split), Point(0, 0));
        if (on_)
            dc.drawImage(on_->image(), Rect(size_.left, split, size_.right, size_.bottom), Point(0, split - size_.top));
    }
}

}  // namespace gui
