#include "gui/InvalidRects.h"

namespace gui {

void InvalidRects::add(const Rect& r) {
    if (r.empty()) return;
    Rect pending = r;
    for (;;) {
        bool merged = false;
        for (size_t i = 0; i < rects_.size(); ++i) {
            const Rect& have = rects_[i];
            if (have.contains(pending)) return;
            const Rect u = have.united(pending);
            if (u.area() <= have.area() + pending.area()) {
                pending = u;
                rects_.erase(rects_.begin() + static_cast<long>(i));
                merged = true;
                break;
            }
        }
        if (!merged) break;
    }
    rects_.push_back(pending);
}

Rect InvalidRects::bounds() const {
    Rect b;
    for (const Rect& r : rects_) b = b.united(r);
    return b;
}

}  // namespace gui
