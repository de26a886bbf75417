#pragma once
// The home-page area: a centred label under a light blue glow whose
// strength follows the level (alpha 5 + whole part of 250 x level over the
// area inside a one-pixel border). A press of any button tells the
// listener.
#include "editor/controls/ShadowLabel.h"
#include "gui/Image.h"

namespace editor {

class GlowPanel : public ShadowLabel {
public:
    GlowPanel(const gui::Rect& size, gui::BitmapRef background, gui::ControlListener* listener, long tag);

    double level() const { return level_; }
    // Clamped to 0..1; redrawn only when it changed.
    void setLevel(double x);
    int overlayAlpha() const { return 5 + static_cast<int>(250.0 * level_); }

    void draw(gui::DrawContext& dc) override;
    gui::EventResult onMouseDown(const gui::MouseEvent&) override {
        valueChanged();
        return gui::EventResult::Handled;
    }

private:
    double level_ = 0.1;
    gui::Color overlayColor_ = gui::palette::lightBlue;
    gui::Image overlay_;
    gui::Image offscreen_;
};

// Something that must not switch pages while a control is busy with the
// user (the editor): the guarded controls enter before and leave after.
class BusyGuard {
public:
    virtual ~BusyGuard() = default;
    virtual void enterBusy() = 0;
    virtual void leaveBusy() = 0;
};

}  // namespace editor
