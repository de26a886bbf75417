#pragma once
// Two frames of its bitmap: frame 1 while the value is not 0. A press of
// the left button toggles the value between 0 and 1 and tells the
// listener.
#include "gui/Control.h"

namespace gui {

class OnOffButton : public Control {
public:
    OnOffButton(const Rect& size, ControlListener* listener, long tag, BitmapRef bitmap)
        : Control(size, listener, tag, std::move(bitmap)) {}

    void draw(DrawContext& dc) override { drawBackground(dc, value() != 0.0f ? 1 : 0); }
    EventResult onMouseDown(const MouseEvent& e) override;
};

}  // namespace gui
