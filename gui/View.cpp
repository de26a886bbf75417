#include "gui/View.h"

#include "gui/Frame.h"

namespace gui {

void View::setSize(const Rect& r) {
    invalid();
    size_ = r;
    invalid();
}

void View::setVisible(bool on) {
    if (visible_ == on) return;
    visible_ = on;
    invalid();
}

void View::invalid() { invalidRect(size_); }

void View::invalidRect(const Rect& r) {
    if (frame_) frame_->invalidate(r.intersection(size_));
}

void View::attached(ViewContainer* parent, Frame* frame) {
    parent_ = parent;
    frame_ = frame;
}

}  // namespace gui
