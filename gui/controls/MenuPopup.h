#pragma once
// The open menu of an OptionMenu: a modal view of the frame showing one
// column per open (sub)menu, the first under the menu button, each
// submenu's to the right of its parent's, all kept inside the frame. A
// press on an entry with a submenu opens it; on a choosable entry chooses
// it; outside every column closes without a choice. Keys: Up and Down move
// the highlight in the last column, Right opens the highlighted submenu,
// Left closes the last column, Return chooses the highlighted entry,
// Escape closes without a choice.
#include <vector>

#include "gui/View.h"

namespace gui {

class Menu;
class OptionMenu;

class MenuPopup : public View {
public:
    static constexpr int kLineHeight = 16;
    static constexpr int kPadding = 24;  // check mark on the left, arrow on the right

    MenuPopup(OptionMenu& owner, const Rect& frameBounds);

    struct Column {
        Menu* menu;
        Rect area;
        int highlight;
    };
    const std::vector<Column>& columns() const { return columns_; }
    // The rectangle of entry `i` of column `c`.
    Rect entryRect(size_t c, int i) const;

    void draw(DrawContext& dc) override;
    EventResult onMouseDown(const MouseEvent& e) override;
    int onKeyDown(const KeyEvent& e) override;

private:
    void open(Menu* menu, Point at);
    // Ends the popup (the owner hears the answer); `this` is gone after.
    void finish(Menu* holder, int index);

    OptionMenu& owner_;
    Rect bounds_;
    std::vector<Column> columns_;
};

}  // namespace gui
