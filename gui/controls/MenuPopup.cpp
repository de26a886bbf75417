#include "gui/controls/MenuPopup.h"

#include <algorithm>

#include "gui/Frame.h"
#include "gui/controls/OptionMenu.h"

namespace gui {

namespace {
const Font kMenuFont{FontId::Normal};

bool choosable(const MenuEntry* e) { return e && !e->separator && !e->greyed && !e->submenu; }
}  // namespace

MenuPopup::MenuPopup(OptionMenu& owner, const Rect& frameBounds) : View(frameBounds), owner_(owner), bounds_(frameBounds) {
    const Menu& root = owner.menu();
    open(const_cast<Menu*>(&root), Point(owner.size().left, owner.size().bottom));
}

void MenuPopup::open(Menu* menu, Point at) {
    int width = 0;
    for (int i = 0; i < menu->count(); ++i) width = std::max(width, textWidth(menu->entry(i)->title.c_str(), kMenuFont));
    width += kPadding + 8;
    const int height = menu->count() * kLineHeight + 4;
    // Kept inside the frame: moved left or up as far as needed.
    int left = std::min(at.x, bounds_.right - width);
    int top = std::min(at.y, bounds_.bottom - height);
    left = std::max(left, bounds_.left);
    top = std::max(top, bounds_.top);
    columns_.push_back(Column{menu, Rect::sized(left, top, width, height), -1});
    invalidRect(columns_.back().area);
}

Rect MenuPopup::entryRect(size_t c, int i) const {
    const Rect& a = columns_[c].area;
    return Rect(a.left + 2, a.top + 2 + i * kLineHeight, a.right - 2, a.top + 2 + (i + 1) * kLineHeight);
}

void MenuPopup::draw(DrawContext& dc) {
    for (size_t c = 0; c < columns_.size(); ++c) {
        const Column& col = columns_[c];
        dc.fillRect(col.area, palette::buttonFace);
        dc.frameRect(col.area, palette::darkBlue);
        for (int i = 0; i < col.menu->count(); ++i) {
            const MenuEntry* e = col.menu->entry(i);
            const Rect r = entryRect(c, i);
            if (e->separator) {
                const int y = r.top + r.height() / 2;
                dc.drawLine(Point(r.left + 2, y), Point(r.right - 3, y), palette::midGrey);
                continue;
            }
            const bool lit = i == col.highlight;
            if (lit) dc.fillRect(r, palette::darkBlue);
            const Color ink = e->greyed ? palette::midGrey : lit ? palette::white : palette::black;
            if (owner_.checkStyle() && col.menu->current() == i) {
                // A tick drawn with lines: the face has no check mark glyph.
                const int x = r.left + 3, y = r.top + r.height() / 2;
                for (int w = 0; w < 2; ++w) {
                    dc.drawLine(Point(x, y + w), Point(x + 2, y + 2 + w), ink);
                    dc.drawLine(Point(x + 2, y + 2 + w), Point(x + 7, y - 3 + w), ink);
                }
            }
            dc.drawText(e->title.c_str(), Rect(r.left + kPadding / 2 + 2, r.top, r.right - kPadding / 2, r.bottom),
                        kMenuFont, ink, Align::Left);
            if (e->submenu) {
                const int y = r.top + r.height() / 2;
                for (int d = 0; d < 4; ++d)
                    dc.drawLine(Point(r.right - 9 + d, y - 3 + d), Point(r.right - 9 + d, y + 3 - d), ink);
            }
        }
    }
}

EventResult MenuPopup::onMouseDown(const MouseEvent& e) {
    for (size_t c = columns_.size(); c-- > 0;) {
        if (!columns_[c].area.contains(e.where)) continue;
        const int i = (e.where.y - columns_[c].area.top - 2) / kLineHeight;
        const MenuEntry* entry = columns_[c].menu->entry(i);
        if (!entry) return EventResult::Handled;
        // Deeper columns than this one close.
        while (columns_.size() > c + 1) {
            invalidRect(columns_.back().area);
            columns_.pop_back();
        }
        columns_[c].highlight = i;
        invalidRect(columns_[c].area);
        if (entry->submenu) open(entry->submenu.get(), Point(columns_[c].area.right - 2, entryRect(c, i).top));
        else if (choosable(entry)) finish(columns_[c].menu, i);
        return EventResult::Handled;
    }
    finish(nullptr, -1);
    return EventResult::Handled;
}

int MenuPopup::onKeyDown(const KeyEvent& e) {
    if (columns_.empty()) return -1;
    Column& col = columns_.back();
    const int n = col.menu->count();
    switch (e.key) {
        case Key::Escape: finish(nullptr, -1); return 1;
        case Key::Up:
        case Key::Down: {
            const int step = e.key == Key::Down ? 1 : -1;
            int i = col.highlight >= 0 ? col.highlight : (step > 0 ? -1 : n);
            for (int k = 0; k < n; ++k) {
                i = ((i + step) % n + n) % n;
                const MenuEntry* entry = col.menu->entry(i);
                if (entry && !entry->separator && !entry->greyed) {
                    col.highlight = i;
                    break;
                }
            }
            invalidRect(col.area);
            return 1;
        }
        case Key::Right: {
            const MenuEntry* entry = col.menu->entry(col.highlight);
            if (entry && entry->submenu)
                open(entry->submenu.get(), Point(col.area.right - 2, entryRect(columns_.size() - 1, col.highlight).top));
            return 1;
        }
        case Key::Left:
            if (columns_.size() > 1) {
                invalidRect(col.area);
                columns_.pop_back();
            }
            return 1;
        case Key::Return: {
            const MenuEntry* entry = col.menu->entry(col.highlight);
            if (choosable(entry)) finish(col.menu, col.highlight);
            else if (entry && entry->submenu)
                open(entry->submenu.get(), Point(col.area.right - 2, entryRect(columns_.size() - 1, col.highlight).top));
            return 1;
        }
        default: return 1;  // a menu takes every key while open
    }
}

void MenuPopup::finish(Menu* holder, int index) {
    OptionMenu& owner = owner_;
    Frame* f = frame();
    if (f) {
        f->popModal(this);
        f->removeView(this);  // destroys this popup
    }
    owner.popupClosed(holder, index);
}

}  // namespace gui
