#include "gui/Frame.h"

#include <algorithm>

namespace gui {

Frame::Frame(int width, int height) : ViewContainer(Rect(0, 0, width, height)), buffer_(width, height, palette::black) {
    View::attached(nullptr, this);
    invalidateAll();
}

Frame::~Frame() {
    // The children go while this frame can still forget them.
    removeAll();
}

void Frame::mouseDown(const MouseEvent& e) {
    captured_ = nullptr;
    if (View* modal = modalView()) {
        if (modal->onMouseDown(e) == EventResult::Captured && isChild(modal)) captured_ = modal;
        return;
    }
    ViewContainer::onMouseDown(e);
}

void Frame::mouseMoved(const MouseEvent& e) {
    if (captured_) captured_->onMouseMoved(e);
}

void Frame::mouseUp(const MouseEvent& e) {
    View* v = captured_;
    captured_ = nullptr;
    if (v) v->onMouseUp(e);
}

bool Frame::keyDown(const KeyEvent& e) {
    if (View* modal = modalView()) return modal->onKeyDown(e) > 0;
    return focus_ && focus_->onKeyDown(e) > 0;
}

void Frame::pushModal(View* view) {
    if (!view) return;
    popModal(view);
    modal_.push_back(view);
    captured_ = nullptr;
    view->invalid();
}

void Frame::popModal(View* view) {
    modal_.erase(std::remove(modal_.begin(), modal_.end(), view), modal_.end());
}

void Frame::setFocusView(View* view) {
    if (focus_ == view) return;
    View* old = focus_;
    focus_ = view;
    if (old) old->looseFocus();
    if (view) view->takeFocus();
}

void Frame::invalidate(const Rect& r) { invalid_.add(r.intersection(size())); }

Rect Frame::render() {
    if (invalid_.empty() || buffer_.empty()) return Rect();
    const std::vector<Rect> areas = invalid_.rects();
    const Rect all = invalid_.bounds();
    invalid_.clear();
    DrawContext dc(buffer_);
    for (const Rect& r : areas) {
        dc.setClip(r);
        drawRect(dc, r);
    }
    return all;
}

void Frame::forget(const View* view) {
    if (focus_ == view) focus_ = nullptr;
    if (captured_ == view) captured_ = nullptr;
    popModal(const_cast<View*>(view));
    // A container's children go with it.
    if (auto* c = dynamic_cast<const ViewContainer*>(view))
        for (size_t i = 0; i < c->childCount(); ++i) forget(c->childAt(i));
}

}  // namespace gui
