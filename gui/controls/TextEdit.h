#pragma once
// A text display that the user can edit: a press gives it the keyboard
// focus and a caret; characters go in at the caret (at most maxLength
// bytes), Backspace and Delete take one out, Left, Right, Home and End
// move the caret; Return ends the edit and tells the listener; Escape puts
// the text back as it was and ends the edit; Tab ends it too and tells the
// listener (which may move the focus on). Losing the focus ends an edit
// and tells the listener. A secret field shows one '*' a character.
// Without `editable` it is only a display of its text.
#include <string>

#include "gui/controls/ParamDisplay.h"

namespace gui {

class TextEdit : public ParamDisplay {
public:
    static constexpr size_t kDefaultMaxLength = 255;

    TextEdit(const Rect& size, ControlListener* listener, long tag, const std::string& text = "",
             BitmapRef background = nullptr, unsigned style = 0);

    void setText(const std::string& text);
    const std::string& value() const { return text_; }
    std::string text() const override;
    void setEditable(bool on) { editable_ = on; }
    bool editable() const { return editable_; }
    void setSecret(bool on) { secret_ = on; invalid(); }
    void setMaxLength(size_t n) { maxLength_ = n; }
    bool editing() const { return editing_; }
    size_t caret() const { return caret_; }
    // The key that ended the last edit (Return, Tab, Escape or None for a
    // focus change).
    Key endKey() const { return endKey_; }

    void draw(DrawContext& dc) override;
    EventResult onMouseDown(const MouseEvent& e) override;
    int onKeyDown(const KeyEvent& e) override;
    void takeFocus() override;
    void looseFocus() override;

private:
    void endEdit(Key how, bool notify);
    void insert(char32_t c);

    std::string text_;
    std::string before_;
    size_t caret_ = 0;
    size_t maxLength_ = kDefaultMaxLength;
    bool editable_ = true;
    bool secret_ = false;
    bool editing_ = false;
    Key endKey_ = Key::None;
};

}  // namespace gui
