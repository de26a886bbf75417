#pragma once
// A video pane: the latest picture of a picture source (the local camera's
// preview or the partner's decoded video), scaled into the pane. The page
// calls update() from its idle; the picture is copied only when the
// source has a new one, and drawing happens on the user-interface thread
// like every other control. Before the source's first picture the pane
// shows its part of the page bitmap.
//
// The pane keeps no pointer to its source: a source that goes away (a
// partner leaving) cannot be read after it went.
#include <cstdint>
#include <memory>

#include "gui/Control.h"
#include "gui/Image.h"

class PictureSource;

namespace editor {

class VideoPane : public gui::Control {
public:
    VideoPane(const gui::Rect& size, gui::BitmapRef background, long tag, gui::ControlListener* listener = nullptr);

    // Takes the source's picture when it has a new one; true when the pane
    // changed.
    bool update(const PictureSource& source);
    bool hasPicture() const { return hasPicture_; }
    // The pane's pixels as drawn (pane size, RGBA); empty before the first
    // picture.
    const gui::Image& shown() const { return image_; }

    void draw(gui::DrawContext& dc) override;
    // A press tells the listener (the page opens the enlarged window).
    gui::EventResult onMouseDown(const gui::MouseEvent&) override {
        valueChanged();
        return gui::EventResult::Handled;
    }

private:
    std::unique_ptr<uint8_t[]> picture_;  // QCIF RGB24, the last copy
    gui::Image image_;
    bool hasPicture_ = false;
    bool updated_ = false;  // a count was taken at least once
    uint32_t count_ = 0;    // the source's picture count at the last copy
};

}  // namespace editor
