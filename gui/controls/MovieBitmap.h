#pragma once
// Shows the frame of its bitmap that the value picks (Bitmap::frameFor);
// takes no input.
#include "gui/Control.h"

namespace gui {

class MovieBitmap : public Control {
public:
    MovieBitmap(const Rect& size, ControlListener* listener, long tag, BitmapRef bitmap)
        : Control(size, listener, tag, std::move(bitmap)) {}

    int shownFrame() const { return background() ? background()->frameFor(value()) : 0; }
    void draw(DrawContext& dc) override { drawBackground(dc, shownFrame()); }
};

// A row of positions over one bitmap of n frames: a press at x picks
// position x * n / width, the value becomes position / (n - 1), and the
// listener hears of it.
class HorizontalSwitch : public MovieBitmap {
public:
    using MovieBitmap::MovieBitmap;
    EventResult onMouseDown(const MouseEvent& e) override;
};

}  // namespace gui
