#pragma once
// A button and a menu that keep the editor busy while the user works
// them: a page switch asked for meanwhile waits until they are done.
#include "editor/controls/GlowPanel.h"
#include "gui/controls/OnOffButton.h"
#include "gui/controls/OptionMenu.h"

namespace editor {

class GuardedOnOffButton : public gui::OnOffButton {
public:
    GuardedOnOffButton(const gui::Rect& size, gui::ControlListener* listener, long tag, gui::BitmapRef bitmap,
                       BusyGuard* guard)
        : gui::OnOffButton(size, listener, tag, std::move(bitmap)), guard_(guard) {}

    gui::EventResult onMouseDown(const gui::MouseEvent& e) override {
        if (guard_) guard_->enterBusy();
        const gui::EventResult r = gui::OnOffButton::onMouseDown(e);
        if (guard_) guard_->leaveBusy();
        return r;
    }

private:
    BusyGuard* guard_;
};

// The menu is in-frame: busy from its opening until the choice was told
// (or the menu closed without one).
class GuardedOptionMenu : public gui::OptionMenu {
public:
    GuardedOptionMenu(const gui::Rect& size, gui::ControlListener* listener, long tag, gui::BitmapRef background,
                      unsigned style, BusyGuard* guard)
        : gui::OptionMenu(size, listener, tag, std::move(background), style), guard_(guard) {}
    ~GuardedOptionMenu() override {
        if (busy_ && guard_) guard_->leaveBusy();
    }

protected:
    void beforePopup() override {
        busy_ = true;
        if (guard_) guard_->enterBusy();
    }
    void afterPopup() override {
        busy_ = false;
        if (guard_) guard_->leaveBusy();
    }

private:
    BusyGuard* guard_;
    bool busy_ = false;
};

}  // namespace editor
