#pragma once
// A question with none, one or two buttons, centred in the frame as its
// modal view (320 x 180, smaller only when the frame is). The answer is
// the value: 0 for the first button (or Return), 1 for the second (or
// Escape); the listener hears it, then the popup leaves the frame. With no
// button any press answers with the current value.
#include <string>

#include "gui/Control.h"

namespace gui {
class Frame;
}

namespace editor {

class ModalPopup : public gui::Control {
public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 180;

    // Puts a popup up in `frame` and returns it (the frame owns it). Empty
    // button labels mean fewer buttons.
    static ModalPopup* show(gui::Frame& frame, gui::ControlListener* listener, long tag, const std::string& question,
                            const std::string& first, const std::string& second);

    ModalPopup(const gui::Rect& frameSize, gui::ControlListener* listener, long tag, const std::string& question,
               const std::string& first, const std::string& second);

    const std::string& question() const { return question_; }
    int buttonCount() const { return buttons_; }
    const gui::Rect& buttonRect(int i) const { return buttonRects_[i == 0 ? 0 : 1]; }
    // Leaves the frame without telling the listener.
    void closeWithoutAnswer();

    void draw(gui::DrawContext& dc) override;
    gui::EventResult onMouseDown(const gui::MouseEvent& e) override;
    int onKeyDown(const gui::KeyEvent& e) override;

private:
    void answer(float v);
    // Removes this popup from its frame if it is still the modal view;
    // `this` is gone afterwards.
    static void close(gui::Frame* frame, ModalPopup* popup);

    std::string question_;
    std::string labels_[2];
    int buttons_ = 0;
    gui::Rect buttonRects_[2];
};

}  // namespace editor
