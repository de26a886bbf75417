#pragma once
// Points and rectangles in frame pixels, origin top left. A rectangle is
// (left, top)-(right, bottom) with right and bottom outside it: its width
// is right - left.
#include <algorithm>

namespace gui {

struct Point {
    int x = 0;
    int y = 0;
    Point() = default;
    Point(int px, int py) : x(px), y(py) {}
    bool operator==(const Point& o) const { return x == o.x && y == o.y; }
    bool operator!=(const Point& o) const { return !(*this == o); }
};

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    Rect() = default;
    Rect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}
    static Rect sized(int l, int t, int w, int h) { return Rect(l, t, l + w, t + h); }

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }
    bool contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    bool contains(const Rect& r) const {
        return r.left >= left && r.top >= top && r.right <= right && r.bottom <= bottom;
    }
    bool intersects(const Rect& r) const { return !intersection(r).empty(); }
    Rect intersection(const Rect& r) const {
        Rect i(std::max(left, r.left), std::max(top, r.top), std::min(right, r.right), std::min(bottom, r.bottom));
        return i.empty() ? Rect() : i;
    }
    // The smallest rectangle holding both (an empty one adds nothing).
    Rect united(const Rect& r) const {
        if (empty()) return r;
        if (r.empty()) return *this;
        return Rect(std::min(left, r.left), std::min(top, r.top), std::max(right, r.right), std::max(bottom, r.bottom));
    }
    Rect offset(int dx, int dy) const { return Rect(left + dx, top + dy, right + dx, bottom + dy); }
    Rect inset(int dx, int dy) const { return Rect(left + dx, top + dy, right - dx, bottom - dy); }
    Point topLeft() const { return Point(left, top); }
    long area() const { return empty() ? 0 : static_cast<long>(width()) * height(); }
    bool operator==(const Rect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const Rect& o) const { return !(*this == o); }
};

}  // namespace gui
