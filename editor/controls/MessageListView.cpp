#include "editor/controls/MessageListView.h"

#include <algorithm>

namespace editor {

MessageListView::MessageListView(const gui::Rect& size, gui::BitmapRef background, unsigned style)
    : gui::ParamDisplay(size, std::move(background), style) {
    setAlign(gui::Align::Left);
}

void MessageListView::addLine(const std::string& text) {
    slots_[write_] = text;
    used_[write_] = true;
    if (++write_ == kSlots) {
        write_ = 0;
        ++wraps_;
    }
    invalid();
}

void MessageListView::clear() {
    for (int i = 0; i < kSlots; ++i) {
        slots_[i].clear();
        used_[i] = false;
    }
    write_ = 0;
    wraps_ = 0;
    invalid();
}

int MessageListView::visibleLines() const { return std::max(0, std::min(kSlots, (size_.height() - 8) / kLineHeight)); }

int MessageListView::slotAt(int i) const {
    int j = write_ + i - visibleLines();
    if (j < 0) j += kSlots;
    return j >= 0 && j < kSlots && used_[j] ? j : -1;
}

const std::string* MessageListView::rowText(int row) const {
    int shown = 0;
    for (int i = 0; i < visibleLines(); ++i) {
        const int j = slotAt(i);
        if (j < 0) continue;  // an empty slot takes no room
        if (shown++ == row) return &slots_[j];
    }
    return nullptr;
}

void MessageListView::draw(gui::DrawContext& dc) {
    if (write_ == 0 && wraps_ == 0) return;
    drawText(dc, std::string());
    const int lines = visibleLines();
    gui::Rect r(size_.left + 4, size_.top + 4, size_.right + 4, size_.top + 4 + kLineHeight);
    const gui::Color newest = newestSet_ ? newest_ : fontColor();
    for (int i = 0; i < lines; ++i) {
        const int j = slotAt(i);
        if (j < 0) continue;
        dc.drawText(slots_[j].c_str(), r, font(), i == lines - 1 ? newest : fontColor(), gui::Align::Left);
        r = r.offset(0, kLineHeight);
    }
}

}  // namespace editor
