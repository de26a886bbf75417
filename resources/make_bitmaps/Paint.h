#pragma once
// Drawing helpers the toolkit's DrawContext does not have: anti-aliased
// shapes (polygons, ellipses, rings, thick lines), flat boxes, and labels
// that must fit their area (a label that does not is recorded, and the
// program fails rather than ship clipped artwork).
#include <string>
#include <vector>

#include "gui/DrawContext.h"

namespace makebitmaps {

struct PointF {
    double x = 0, y = 0;
};

// Pixels are covered by shapes in continuous coordinates: pixel (x, y)
// spans x..x+1, y..y+1; coverage is sampled 4 x 4 per pixel.
void fillPolygon(gui::DrawContext& dc, const std::vector<PointF>& points, gui::Color c);
void fillEllipse(gui::DrawContext& dc, double cx, double cy, double rx, double ry, gui::Color c);
// The band between two ellipses about the same centre.
void fillRing(gui::DrawContext& dc, double cx, double cy, double rx, double ry, double width, gui::Color c);
// A line `width` pixels thick with square caps (ends reach half a width
// past the end points, so joined segments leave no notch).
void strokeLine(gui::DrawContext& dc, PointF from, PointF to, double width, gui::Color c);

// A filled box with a one-pixel border; `rounded` leaves the four corner
// pixels to what is underneath.
void box(gui::DrawContext& dc, const gui::Rect& r, gui::Color fill, gui::Color border, bool rounded = true);
// A groove: a midGrey line with a white one below it.
void etchedLine(gui::DrawContext& dc, int left, int right, int y);

// Text that must fit `r` whole; one that does not is recorded under `where`.
void label(gui::DrawContext& dc, const char* where, const char* text, const gui::Rect& r, gui::Font font,
           gui::Color c, gui::Align align);
// The labels that did not fit, one line each.
const std::vector<std::string>& layoutProblems();

}  // namespace makebitmaps
