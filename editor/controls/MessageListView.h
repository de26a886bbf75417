#pragma once
// The message area: the last 16 lines in a ring. Lines fill the area from
// the top until it is full; from then on the newest is the bottom one,
// drawn in the newest-line colour. (height - 8) / 14 lines fit, 16 at
// most; nothing is drawn until a line was added.
#include <string>

#include "gui/controls/ParamDisplay.h"

namespace editor {

class MessageListView : public gui::ParamDisplay {
public:
    static constexpr int kSlots = 16;
    static constexpr int kLineHeight = 14;

    MessageListView(const gui::Rect& size, gui::BitmapRef background = nullptr, unsigned style = 0);

    void addLine(const std::string& text);
    void clear();
    void setNewestColor(gui::Color c) { newest_ = c; newestSet_ = true; invalid(); }
    // Lines the area shows.
    int visibleLines() const;
    // The text of visible row i (0 at the top) as drawn, or null for none.
    const std::string* rowText(int row) const;

    std::string text() const override { return std::string(); }
    void draw(gui::DrawContext& dc) override;

private:
    // The slot shown at visible position i, or -1 when it holds no text.
    int slotAt(int i) const;

    std::string slots_[kSlots];
    bool used_[kSlots] = {};
    int write_ = 0;
    int wraps_ = 0;
    gui::Color newest_;
    bool newestSet_ = false;
};

}  // namespace editor
