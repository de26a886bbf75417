#pragma once
// A part of a bitmap (from the source offset) filling the control: page
// backgrounds and news pictures. A partial redraw draws only the part of
// the update that lies in the control, from the same relative place of the
// bitmap. A press tells the listener once, unless a notification of this
// control is already running.
#include "gui/Control.h"

namespace editor {

class ImageView : public gui::Control {
public:
    ImageView(const gui::Rect& size, gui::BitmapRef bitmap, gui::Point sourceOffset, long tag = 0,
              gui::ControlListener* listener = nullptr);

    void setBitmap(gui::BitmapRef bitmap);
    void draw(gui::DrawContext& dc) override { drawRect(dc, size_); }
    void drawRect(gui::DrawContext& dc, const gui::Rect& update) override;
    gui::EventResult onMouseDown(const gui::MouseEvent& e) override;

private:
    gui::BitmapRef bitmap_;
    gui::Point source_;
    bool notifying_ = false;
};

}  // namespace editor
