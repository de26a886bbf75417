#include "gui/controls/TextEdit.h"

#include "gui/Frame.h"

namespace gui {

namespace {
// UTF-8 bytes of one character (nothing for control characters).
std::string utf8(char32_t c) {
    std::string s;
    if (c < 0x20 || c == 0x7F || c > 0x10FFFF) return s;
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (c >> 18));
        s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
}

bool continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
}  // namespace

TextEdit::TextEdit(const Rect& size, ControlListener* listener, long tag, const std::string& text,
                   BitmapRef background, unsigned style)
    : ParamDisplay(size, std::move(background), style), text_(text) {
    setListener(listener);
    setTag(tag);
    setAlign(Align::Left);
}

void TextEdit::setText(const std::string& text) {
    std::string t = text.size() > maxLength_ ? text.substr(0, maxLength_) : text;
    if (t == text_) return;
    text_ = std::move(t);
    if (caret_ > text_.size()) caret_ = text_.size();
    invalid();
}

std::string TextEdit::text() const {
    if (!secret_) return text_;
    size_t n = 0;
    for (char c : text_) n += !continuation(c);
    return std::string(n, '*');
}

void TextEdit::draw(DrawContext& dc) {
    const std::string shown = text();
    drawText(dc, shown);
    if (!editing_) return;
    // The caret after the shown characters before it.
    std::string head = text_.substr(0, caret_);
    if (secret_) {
        size_t n = 0;
        for (char c : head) n += !continuation(c);
        head.assign(n, '*');
    }
    const Rect inner = size_.inset(2, 0);
    int x = inner.left;
    const int full = textWidth(shown.c_str(), font());
    if (align() == Align::Center) x += (inner.width() - full) / 2;
    else if (align() == Align::Right) x += inner.width() - full;
    x += textWidth(head.c_str(), font());
    const int h = fontHeight(font());
    const int top = size_.top + (size_.height() - h) / 2;
    dc.drawLine(Point(x, top), Point(x, top + h - 1), fontColor());
}

EventResult TextEdit::onMouseDown(const MouseEvent&) {
    if (!editable_) return EventResult::Ignored;
    if (frame()) frame()->setFocusView(this);
    return EventResult::Handled;
}

void TextEdit::takeFocus() {
    if (!editable_) return;
    editing_ = true;
    before_ = text_;
    caret_ = text_.size();
    endKey_ = Key::None;
    invalid();
}

void TextEdit::looseFocus() {
    if (editing_) endEdit(Key::None, true);
}

void TextEdit::endEdit(Key how, bool notify) {
    editing_ = false;
    endKey_ = how;
    invalid();
    if (frame() && frame()->focusView() == this) frame()->setFocusView(nullptr);
    if (notify) valueChanged();
}

void TextEdit::insert(char32_t c) {
    const std::string bytes = utf8(c);
    if (bytes.empty() || text_.size() + bytes.size() > maxLength_) return;
    text_.insert(caret_, bytes);
    caret_ += bytes.size();
    invalid();
}

int TextEdit::onKeyDown(const KeyEvent& e) {
    if (!editing_) return -1;
    switch (e.key) {
        case Key::Return: endEdit(Key::Return, true); return 1;
        case Key::Tab: endEdit(Key::Tab, true); return 1;
        case Key::Escape:
            text_ = before_;
            caret_ = text_.size();
            endEdit(Key::Escape, false);
            return 1;
        case Key::Backspace:
            if (caret_ > 0) {
                size_t from = caret_ - 1;
                while (from > 0 && continuation(text_[from])) --from;
                text_.erase(from, caret_ - from);
                caret_ = from;
                invalid();
            }
            return 1;
        case Key::Delete:
            if (caret_ < text_.size()) {
                size_t to = caret_ + 1;
                while (to < text_.size() && continuation(text_[to])) ++to;
                text_.erase(caret_, to - caret_);
                invalid();
            }
            return 1;
        case Key::Left:
            while (caret_ > 0 && continuation(text_[--caret_])) {
            }
            invalid();
            return 1;
        case Key::Right:
            if (caret_ < text_.size()) {
                ++caret_;
                while (caret_ < text_.size() && continuation(text_[caret_])) ++caret_;
            }
            invalid();
            return 1;
        case Key::Home: caret_ = 0; invalid(); return 1;
        case Key::End: caret_ = text_.size(); invalid(); return 1;
        default: break;
    }
    if (e.character) {
        insert(e.character);
        return 1;
    }
    return -1;
}

}  // namespace gui
