#include "gui/ViewContainer.h"

#include <algorithm>

#include "gui/Frame.h"

namespace gui {

ViewContainer::~ViewContainer() {
    // Children first, each forgotten by the frame while it still exists.
    removeAll();
}

View* ViewContainer::addView(std::unique_ptr<View> view) {
    if (!view) return nullptr;
    View* raw = view.get();
    children_.push_back(std::move(view));
    raw->attached(this, frame());
    raw->invalid();
    return raw;
}

void ViewContainer::removeView(View* view) {
    auto it = std::find_if(children_.begin(), children_.end(),
                           [view](const std::unique_ptr<View>& c) { return c.get() == view; });
    if (it == children_.end()) return;
    view->invalid();
    std::unique_ptr<View> gone = std::move(*it);
    children_.erase(it);
    if (frame()) frame()->forget(gone.get());
    gone.reset();
}

void ViewContainer::removeAll() {
    while (!children_.empty()) removeView(children_.back().get());
}

bool ViewContainer::isChild(const View* view) const {
    for (const auto& c : children_)
        if (c.get() == view) return true;
    return false;
}

void ViewContainer::drawRect(DrawContext& dc, const Rect& update) {
    const Rect area = update.intersection(size_);
    if (area.empty()) return;
    const Rect saved = dc.setClip(area.intersection(dc.clip()));
    if (background_) {
        const Point from(backgroundOffset_.x + area.left - size_.left, backgroundOffset_.y + area.top - size_.top);
        dc.drawImage(background_->image(), area, from);
    }
    for (const auto& c : children_) {
        if (!c->visible()) continue;
        const Rect part = area.intersection(c->size());
        if (part.empty()) continue;
        const Rect inner = dc.setClip(part.intersection(saved));
        c->drawRect(dc, part);
        dc.setClip(inner);
    }
    dc.setClip(saved);
}

View* ViewContainer::viewAt(Point p) const {
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
        View* c = it->get();
        if (!c->visible() || !c->mouseEnabled() || !c->size().contains(p)) continue;
        if (auto* inner = dynamic_cast<ViewContainer*>(c)) {
            if (View* v = inner->viewAt(p)) return v;
        }
        return c;
    }
    return nullptr;
}

EventResult ViewContainer::onMouseDown(const MouseEvent& e) {
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
        View* c = it->get();
        if (!c->visible() || !c->mouseEnabled() || !c->size().contains(e.where)) continue;
        const EventResult r = c->onMouseDown(e);
        if (r != EventResult::Ignored) {
            if (r == EventResult::Captured && frame()) frame()->capture(c);
            return EventResult::Handled;
        }
    }
    return EventResult::Ignored;
}

void ViewContainer::idle() {
    // A child's idle may remove views: walk a copy of the list.
    std::vector<View*> now;
    now.reserve(children_.size());
    for (const auto& c : children_) now.push_back(c.get());
    for (View* v : now)
        if (isChild(v)) v->idle();
}

void ViewContainer::attached(ViewContainer* parent, Frame* frame) {
    View::attached(parent, frame);
    for (const auto& c : children_) c->attached(this, frame);
}

}  // namespace gui
