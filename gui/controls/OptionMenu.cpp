#include "gui/controls/OptionMenu.h"

#include "gui/Frame.h"
#include "gui/controls/MenuPopup.h"

namespace gui {

int Menu::add(const std::string& title) {
    MenuEntry e;
    if (title == "-") {
        e.separator = true;
    } else if (title.compare(0, 2, "-G") == 0) {
        e.greyed = true;
        e.title = title.substr(2);
    } else {
        e.title = title;
    }
    entries_.push_back(std::move(e));
    return count() - 1;
}

int Menu::addText(const std::string& title) {
    MenuEntry e;
    e.title = title;
    entries_.push_back(std::move(e));
    return count() - 1;
}

Menu* Menu::addSubmenu(const std::string& title, std::unique_ptr<Menu> submenu) {
    const int i = add(title);
    entries_[static_cast<size_t>(i)].submenu = std::move(submenu);
    return entries_[static_cast<size_t>(i)].submenu.get();
}

OptionMenu::OptionMenu(const Rect& size, ControlListener* listener, long tag, BitmapRef background, unsigned style)
    : ParamDisplay(size, std::move(background), style) {
    setListener(listener);
    setTag(tag);
    setRange(0.0f, kMaxEntries);
}

OptionMenu::~OptionMenu() {
    // An open popup refers to this menu: it goes first.
    if (popup_ && frame()) frame()->removeView(popup_);
}

void OptionMenu::removeAllEntries() {
    menu_.clear();
    lastMenu_ = nullptr;
    lastIndex_ = -1;
    invalid();
}

std::string OptionMenu::text() const {
    const MenuEntry* e = lastMenu()->entry(static_cast<int>(value()));
    return e ? e->title : std::string();
}

EventResult OptionMenu::onMouseDown(const MouseEvent&) {
    popup();
    return EventResult::Handled;
}

bool OptionMenu::popup() {
    if (!frame() || popup_ || menu_.count() == 0) return false;
    beforePopup();
    Frame* f = frame();
    popup_ = f->addView(std::make_unique<MenuPopup>(*this, f->size()));
    f->pushModal(popup_);
    return true;
}

void OptionMenu::popupClosed(Menu* holder, int index) {
    popup_ = nullptr;
    if (holder && index >= 0) {
        lastMenu_ = holder;
        lastIndex_ = index;
        if (checkStyle()) holder->setCurrent(index);
        setValue(static_cast<float>(index));
        invalid();
        valueChanged();
    }
    afterPopup();
}

}  // namespace gui
