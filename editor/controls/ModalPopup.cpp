#include "editor/controls/ModalPopup.h"

#include <algorithm>
#include <initializer_list>
#include <memory>

#include "gui/Frame.h"

namespace editor {

namespace {
const gui::Font kPopupFont{gui::FontId::Normal};

// Outlines of r at each inset.
void outline(gui::DrawContext& dc, const gui::Rect& r, std::initializer_list<int> insets, gui::Color c) {
    for (int i : insets) dc.frameRect(r.inset(i, i), c);
}
}  // namespace

ModalPopup* ModalPopup::show(gui::Frame& frame, gui::ControlListener* listener, long tag, const std::string& question,
                             const std::string& first, const std::string& second) {
    auto* popup = frame.add(std::make_unique<ModalPopup>(frame.size(), listener, tag, question, first, second));
    frame.pushModal(popup);
    return popup;
}

ModalPopup::ModalPopup(const gui::Rect& frameSize, gui::ControlListener* listener, long tag,
                       const std::string& question, const std::string& first, const std::string& second)
    : gui::Control(gui::Rect(), listener, tag), question_(question) {
    const int width = std::min(kWidth, frameSize.width());
    const int height = std::min(kHeight, frameSize.height());
    const int left = (frameSize.width() - width) / 2;
    const int top = (frameSize.height() - height) / 2;
    size_ = gui::Rect::sized(left, top, width, height);
    if (!first.empty()) labels_[buttons_++] = first;
    if (!second.empty()) labels_[buttons_++] = second;
    const int s = width / 9;
    const int b = size_.bottom;
    if (buttons_ == 1) {
        buttonRects_[0] = gui::Rect(left + 2 * s, b - 80, left + 7 * s, b - 40);
    } else if (buttons_ == 2) {
        buttonRects_[0] = gui::Rect(left + s, b - 80, left + 4 * s, b - 40);
        buttonRects_[1] = gui::Rect(left + 5 * s, b - 80, left + 8 * s, b - 40);
    }
}

void ModalPopup::draw(gui::DrawContext& dc) {
    dc.fillRect(size_, gui::palette::panelGrey);
    outline(dc, size_, {0, 1, 2, 4}, gui::palette::darkBlue);
    dc.drawText(question_.c_str(), gui::Rect(size_.left + 4, size_.top + 4, size_.right - 4, size_.top + 104),
                kPopupFont, gui::palette::black, gui::Align::Center);
    for (int i = 0; i < buttons_; ++i) {
        const gui::Rect& r = buttonRects_[i];
        dc.fillRect(r, gui::palette::buttonFace);
        outline(dc, r, {0, 1, 3}, gui::palette::darkBlue);
        dc.drawText(labels_[i].c_str(), r.inset(4, 4), kPopupFont, gui::palette::black, gui::Align::Center);
    }
}

gui::EventResult ModalPopup::onMouseDown(const gui::MouseEvent& e) {
    if (buttons_ == 0) {
        answer(value());
    } else if (buttonRects_[0].contains(e.where)) {
        answer(0.0f);
    } else if (buttons_ == 2 && buttonRects_[1].contains(e.where)) {
        answer(1.0f);
    }
    return gui::EventResult::Handled;
}

int ModalPopup::onKeyDown(const gui::KeyEvent& e) {
    if (e.key == gui::Key::Return) answer(0.0f);
    else if (e.key == gui::Key::Escape) answer(1.0f);
    else return -1;
    return 1;
}

void ModalPopup::answer(float v) {
    gui::Frame* f = frame();
    setValue(v);
    valueChanged();
    close(f, this);
}

void ModalPopup::closeWithoutAnswer() { close(frame(), this); }

void ModalPopup::close(gui::Frame* frame, ModalPopup* popup) {
    // The listener may have closed it already (it is then no longer the
    // modal view and must not be touched).
    if (!frame || frame->modalView() != popup) return;
    frame->popModal(popup);
    frame->invalidateAll();
    frame->removeView(popup);
}

}  // namespace editor
