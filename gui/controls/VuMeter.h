#pragma once
// A level shown with two bitmaps: the "on" picture over the part the value
// fills, the "off" picture over the rest, in whole steps. Horizontal meters
// fill from the left, vertical ones from the bottom. It redraws only when
// the value changed.
#include "gui/Control.h"

namespace gui {

class VuMeter : public Control {
public:
    enum Style { kHorizontal, kVertical };

    VuMeter(const Rect& size, BitmapRef onBitmap, BitmapRef offBitmap, int steps, Style style = kVertical);

    int steps() const { return steps_; }
    Style style() const { return style_; }
    void draw(DrawContext& dc) override;

protected:
    const BitmapRef& onBitmap() const { return on_; }
    const BitmapRef& offBitmap() const { return off_; }

private:
    BitmapRef on_;
    BitmapRef off_;
    int steps_;
    Style style_;
};

}  // namespace gui
