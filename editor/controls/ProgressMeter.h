#pragma once
// The file transfer's progress bar: a horizontal meter shown exactly as
// set. k = whole part of (steps x value + 0.5); the split is at whole part
// of (k / steps x the on bitmap's width): the off bitmap right of it (from
// its column at the split), the on bitmap left of it.
#include "gui/controls/VuMeter.h"

namespace editor {

class ProgressMeter : public gui::VuMeter {
public:
    ProgressMeter(const gui::Rect& size, gui::BitmapRef onBitmap, gui::BitmapRef offBitmap, int steps)
        : gui::VuMeter(size, std::move(onBitmap), std::move(offBitmap), steps, kHorizontal) {}

    // The split's x from the control's left edge.
    int split() const;
    void draw(gui::DrawContext& dc) override;
};


}  // namespace editor
