#pragma once
// A menu button: it shows the chosen entry (as a parameter display) and a
// press pops its menu up under it, inside the frame (MenuPopup). Entries
// beginning with "-G" are greyed and cannot be chosen (the prefix is not
// shown); "-" alone is a separator; an entry may hold a submenu. With
// kCheckStyle the current entry of each menu has a check mark. Choosing an
// entry makes the value its index within the menu that holds it
// (lastMenu() tells which) and tells the listener.
#include <memory>
#include <string>
#include <vector>

#include "gui/controls/ParamDisplay.h"

namespace gui {

class Menu;

struct MenuEntry {
    std::string title;
    bool greyed = false;
    bool separator = false;
    std::unique_ptr<Menu> submenu;
};

class Menu {
public:
    // Adds an entry ("-G" greyed, "-" separator); returns its index.
    int add(const std::string& title);
    // Adds a choosable entry showing `title` as it is (no prefix is
    // interpreted: names from outside may begin with "-").
    int addText(const std::string& title);
    // Adds an entry that opens `submenu`; returns the submenu.
    Menu* addSubmenu(const std::string& title, std::unique_ptr<Menu> submenu);
    void clear() { entries_.clear(); current_ = -1; }
    int count() const { return static_cast<int>(entries_.size()); }
    const MenuEntry* entry(int i) const { return i >= 0 && i < count() ? &entries_[static_cast<size_t>(i)] : nullptr; }
    // The checked entry (-1 for none).
    int current() const { return current_; }
    void setCurrent(int i) { current_ = i; }

private:
    std::vector<MenuEntry> entries_;
    int current_ = -1;
};

class OptionMenu : public ParamDisplay {
public:
    static constexpr unsigned kCheckStyle = 1024;
    static constexpr float kMaxEntries = 4096.0f;

    OptionMenu(const Rect& size, ControlListener* listener, long tag, BitmapRef background = nullptr,
               unsigned style = 0);
    ~OptionMenu() override;

    Menu& menu() { return menu_; }
    // Empties the menu (its submenus go with it) and forgets the last
    // choice, which may have been in one of them.
    void removeAllEntries();
    const Menu& menu() const { return menu_; }
    bool checkStyle() const { return (style() & kCheckStyle) != 0; }
    // The menu that held the last choice (the main menu until one is made).
    Menu* lastMenu() const { return lastMenu_ ? lastMenu_ : const_cast<Menu*>(&menu_); }
    int lastIndex() const { return lastIndex_; }
    bool popupOpen() const { return popup_ != nullptr; }

    std::string text() const override;
    EventResult onMouseDown(const MouseEvent& e) override;

    // Opens the menu in the frame (false without a frame or entries).
    bool popup();
    // The popup's answer: the entry `index` of `holder`, or none (index
    // -1). The popup is gone by then.
    void popupClosed(Menu* holder, int index);

protected:
    // Around the popup: before it opens, after it closed (and after the
    // listener heard of a choice).
    virtual void beforePopup() {}
    virtual void afterPopup() {}

private:
    Menu menu_;
    Menu* lastMenu_ = nullptr;
    int lastIndex_ = -1;
    View* popup_ = nullptr;
};

}  // namespace gui
