#pragma once
// The areas waiting to be redrawn. A new rectangle inside one already
// listed adds nothing; two whose union is no larger than the two together
// become their union, repeatedly, so overlapping and touching updates
// redraw once.
#include <vector>

#include "gui/Geometry.h"

namespace gui {

class InvalidRects {
public:
    void add(const Rect& r);
    bool empty() const { return rects_.empty(); }
    const std::vector<Rect>& rects() const { return rects_; }
    Rect bounds() const;
    void clear() { rects_.clear(); }

private:
    std::vector<Rect> rects_;
};

}  // namespace gui
