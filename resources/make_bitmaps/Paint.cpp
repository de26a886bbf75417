#include "resources/make_bitmaps/Paint.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace makebitmaps {

namespace {

constexpr int kSamples = 4;

std::vector<std::string>& problems() {
    static std::vector<std::string> list;
    return list;
}

// Blends `c` into every pixel of `box` by the share of its 4 x 4 sample
// points for which inside(x, y) holds.
template <typename Inside>
void cover(gui::DrawContext& dc, double left, double top, double right, double bottom, gui::Color c, Inside inside) {
    const gui::Rect area = gui::Rect(static_cast<int>(std::floor(left)), static_cast<int>(std::floor(top)),
                                     static_cast<int>(std::ceil(right)), static_cast<int>(std::ceil(bottom)))
                               .intersection(dc.clip());
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            int hits = 0;
            for (int sy = 0; sy < kSamples; ++sy)
                for (int sx = 0; sx < kSamples; ++sx)
                    if (inside(x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples)) ++hits;
            if (hits == 0) continue;
            gui::Color p = c;
            p.a = static_cast<uint8_t>(c.a * hits / (kSamples * kSamples));
            dc.fillRect(gui::Rect(x, y, x + 1, y + 1), p);
        }
    }
}

}  // namespace

void fillPolygon(gui::DrawContext& dc, const std::vector<PointF>& points, gui::Color c) {
    if (points.size() < 3) return;
    double left = points[0].x, right = left, top = points[0].y, bottom = top;
    for (const PointF& p : points) {
        left = std::min(left, p.x), right = std::max(right, p.x);
        top = std::min(top, p.y), bottom = std::max(bottom, p.y);
    }
    // Even-odd rule by crossings of a ray towards +x.
    cover(dc, left, top, right, bottom, c, [&points](double x, double y) {
        bool in = false;
        for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
            const PointF& a = points[i];
            const PointF& b = points[j];
            if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) in = !in;
        }
        return in;
    });
}

void fillEllipse(gui::DrawContext& dc, double cx, double cy, double rx, double ry, gui::Color c) {
    cover(dc, cx - rx, cy - ry, cx + rx, cy + ry, c, [=](double x, double y) {
        const double dx = (x - cx) / rx, dy = (y - cy) / ry;
        return dx * dx + dy * dy <= 1.0;
    });
}

void fillRing(gui::DrawContext& dc, double cx, double cy, double rx, double ry, double width, gui::Color c) {
    const double irx = rx - width, iry = ry - width;
    cover(dc, cx - rx, cy - ry, cx + rx, cy + ry, c, [=](double x, double y) {
        const double dx = (x - cx) / rx, dy = (y - cy) / ry;
        const double ix = (x - cx) / irx, iy = (y - cy) / iry;
        return dx * dx + dy * dy <= 1.0 && ix * ix + iy * iy > 1.0;
    });
}

void strokeLine(gui::DrawContext& dc, PointF from, PointF to, double width, gui::Color c) {
    const double dx = to.x - from.x, dy = to.y - from.y;
    const double length = std::sqrt(dx * dx + dy * dy);
    if (length <= 0.0) return;
    // Half a width across the line and, for square caps, along it.
    const double ux = dx / length * width / 2, uy = dy / length * width / 2;
    const PointF a{from.x - ux, from.y - uy}, b{to.x + ux, to.y + uy};
    fillPolygon(dc, {{a.x - uy, a.y + ux}, {b.x - uy, b.y + ux}, {b.x + uy, b.y - ux}, {a.x + uy, a.y - ux}}, c);
}

void box(gui::DrawContext& dc, const gui::Rect& r, gui::Color fill, gui::Color border, bool rounded) {
    if (r.width() < 3 || r.height() < 3) return;
    dc.fillRect(r.inset(1, 1), fill);
    if (!rounded) {
        dc.frameRect(r, border);
        return;
    }
    dc.fillRect(gui::Rect(r.left + 1, r.top, r.right - 1, r.top + 1), border);
    dc.fillRect(gui::Rect(r.left + 1, r.bottom - 1, r.right - 1, r.bottom), border);
    dc.fillRect(gui::Rect(r.left, r.top + 1, r.left + 1, r.bottom - 1), border);
    dc.fillRect(gui::Rect(r.right - 1, r.top + 1, r.right, r.bottom - 1), border);
}

void etchedLine(gui::DrawContext& dc, int left, int right, int y) {
    dc.fillRect(gui::Rect(left, y, right, y + 1), gui::palette::midGrey);
    dc.fillRect(gui::Rect(left, y + 1, right, y + 2), gui::palette::white);
}

void label(gui::DrawContext& dc, const char* where, const char* text, const gui::Rect& r, gui::Font font,
           gui::Color c, gui::Align align) {
    const int w = gui::textWidth(text, font);
    const int h = gui::fontHeight(font);
    if (w > r.width() || h > r.height()) {
        char line[256];
        std::snprintf(line, sizeof line, "%s: \"%s\" is %d x %d px, its area %d x %d", where, text, w, h, r.width(),
                      r.height());
        problems().push_back(line);
    }
    dc.drawText(text, r, font, c, align);
}

const std::vector<std::string>& layoutProblems() { return problems(); }

}  // namespace makebitmaps
