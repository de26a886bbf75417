#include "gui/Control.h"

namespace gui {

Control::Control(const Rect& size, ControlListener* listener, long tag, BitmapRef background)
    : View(size), tag_(tag), listener_(listener), background_(std::move(background)) {}

void Control::setValue(float v) {
    if (!(v >= min_)) v = min_;  // NaN too
    if (v > max_) v = max_;
    if (v == value_) return;
    value_ = v;
    invalid();
}

void Control::setRange(float lo, float hi) {
    min_ = lo;
    max_ = hi > lo ? hi : lo;
    setValue(value_);
}

void Control::valueChanged() {
    if (listener_) listener_->valueChanged(*this);
}

void Control::drawBackground(DrawContext& dc, int frame) {
    if (!background_) return;
    const int frameTop = frame * background_->frameHeight();
    dc.drawImage(background_->image(), size_, Point(backOffset_.x, backOffset_.y + frameTop));
}

}  // namespace gui
