// The toolkit's behaviour without a screen: input routing (modal views,
// capture, focus), what views removed mid-gesture leave behind, the
// redraw areas, and the standard controls driven by synthetic events.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gui/Frame.h"
#include "gui/InvalidRects.h"
#include "gui/controls/MenuPopup.h"
#include "gui/controls/MovieBitmap.h"
#include "gui/controls/OnOffButton.h"
#include "gui/controls/OptionMenu.h"
#include "gui/controls/TextEdit.h"

using namespace gui;

namespace {

struct Heard : ControlListener {
    void valueChanged(Control& c) override { heard.push_back({c.tag(), c.value()}); }
    std::vector<std::pair<long, float>> heard;
};

MouseEvent press(int x, int y, unsigned buttons = kLeftButton) { return MouseEvent{Point(x, y), buttons, 0}; }
KeyEvent key(Key k) { return KeyEvent{k, 0, false}; }
KeyEvent typed(char32_t c) { return KeyEvent{Key::None, c, false}; }

BitmapRef frames(int n, int w = 20, int h = 10) { return std::make_shared<Bitmap>(Image(w, h * n), n); }

// A view that captures presses and counts what reaches it.
struct Dragged : View {
    using View::View;
    void draw(DrawContext&) override {}
    EventResult onMouseDown(const MouseEvent&) override { ++downs; return EventResult::Captured; }
    void onMouseMoved(const MouseEvent&) override { ++moves; }
    void onMouseUp(const MouseEvent&) override { ++ups; }
    int downs = 0, moves = 0, ups = 0;
};

}  // namespace

TEST(GuiFrame, CaptureModalFocusAndRemovedViewsLeaveNothingBehind) {
    Frame frame(200, 100);
    Heard heard;
    auto* below = frame.add(std::make_unique<Dragged>(Rect(0, 0, 100, 100)));
    auto* button = frame.add(std::make_unique<OnOffButton>(Rect(50, 0, 100, 20), &heard, 7, frames(2)));
    // The topmost view under the press takes it; a captured drag follows
    // outside the view until the release.
    frame.mouseDown(press(10, 50));
    frame.mouseMoved(press(180, 90));
    frame.mouseUp(press(180, 90));
    EXPECT_EQ(1, below->downs);
    EXPECT_EQ(1, below->moves);
    EXPECT_EQ(1, below->ups);
    frame.mouseDown(press(60, 10));
    EXPECT_EQ(1, below->downs) << "the button lies on top";
    EXPECT_EQ(1.0f, button->value());
    frame.mouseDown(press(60, 10, kRightButton));
    EXPECT_EQ((std::vector<std::pair<long, float>>{{7, 1.0f}}), heard.heard) << "only the left button toggles";

    // A modal view takes all input; what lies under it gets nothing.
    auto* modal = frame.add(std::make_unique<Dragged>(Rect(150, 0, 200, 50)));
    frame.pushModal(modal);
    frame.mouseDown(press(60, 10));
    EXPECT_EQ(1.0f, button->value());
    EXPECT_EQ(1, modal->downs);
    // Removed mid-gesture: the frame forgets it as captured and modal.
    frame.removeView(modal);
    EXPECT_EQ(nullptr, frame.modalView());
    EXPECT_EQ(nullptr, frame.capturedView());
    frame.mouseUp(press(0, 0));

    // Focus and keys; a focused field that goes leaves no focus behind.
    auto* field = frame.add(std::make_unique<TextEdit>(Rect(0, 60, 100, 80), &heard, 9));
    frame.mouseDown(press(5, 65));
    EXPECT_EQ(field, frame.focusView());
    EXPECT_TRUE(frame.keyDown(typed('a')));
    frame.removeView(field);
    EXPECT_EQ(nullptr, frame.focusView());
    EXPECT_FALSE(frame.keyDown(typed('b')));
}

TEST(GuiFrame, RedrawAreasMergeWhenTheUnionIsNoLarger) {
    InvalidRects r;
    r.add(Rect(0, 0, 10, 10));
    r.add(Rect(2, 2, 5, 5));       // inside: nothing new
    r.add(Rect(10, 0, 20, 10));    // touching: the union is the two
    ASSERT_EQ(1u, r.rects().size());
    EXPECT_EQ(Rect(0, 0, 20, 10), r.rects()[0]);
    r.add(Rect(100, 100, 110, 110));  // far away: its own
    EXPECT_EQ(2u, r.rects().size());
    r.add(Rect(15, 5, 105, 105));     // as large as the union with either: apart
    EXPECT_EQ(3u, r.rects().size());
    r.add(Rect(0, 0, 110, 110));      // holds all three: one
    EXPECT_EQ(1u, r.rects().size());

    // A control whose value does not change marks nothing.
    Frame frame(50, 50);
    auto* b = frame.add(std::make_unique<OnOffButton>(Rect(0, 0, 10, 10), nullptr, 0, frames(2)));
    frame.render();
    b->setValue(0.0f);
    EXPECT_FALSE(frame.needsRender());
    b->setValue(1.0f);
    EXPECT_EQ(Rect(0, 0, 10, 10), frame.render());
}

TEST(GuiControls, SwitchMovieAndTextFieldFollowTheirRules) {
    Frame frame(200, 100);
    Heard heard;
    // Three positions over 60 pixels: the rightmost pixel picks the last.
    auto* sw = frame.add(std::make_unique<HorizontalSwitch>(Rect(0, 0, 60, 10), &heard, 1, frames(3)));
    frame.mouseDown(press(59, 5));
    EXPECT_EQ(1.0f, sw->value());
    EXPECT_EQ(2, sw->shownFrame());
    frame.mouseDown(press(20, 5));
    EXPECT_FLOAT_EQ(0.5f, sw->value());
    EXPECT_EQ(1, sw->shownFrame());
    // Frame k = whole part of ((n - 1) x value + 0.5), the value clamped.
    Bitmap four(Image(1, 4), 4);
    EXPECT_EQ(1, four.frameFor(0.49f));
    EXPECT_EQ(2, four.frameFor(0.5f));
    EXPECT_EQ(3, four.frameFor(7.0f));
    EXPECT_EQ(0, four.frameFor(-1.0f));

    // Typing, UTF-8 aware deletion, Escape restores, Return tells.
    auto* field = frame.add(std::make_unique<TextEdit>(Rect(0, 20, 100, 40), &heard, 2, "ab"));
    field->setMaxLength(6);
    frame.mouseDown(press(5, 25));
    for (char32_t c : std::u32string(U"c\u00e9xyz")) frame.keyDown(typed(c));
    EXPECT_EQ("abc\xC3\xA9x", field->value()) << "cut at the byte limit, never inside a character";
    frame.keyDown(key(Key::Backspace));
    frame.keyDown(key(Key::Backspace));
    EXPECT_EQ("abc", field->value());
    frame.keyDown(key(Key::Escape));
    EXPECT_EQ("ab", field->value());
    EXPECT_EQ(nullptr, frame.focusView());
    heard.heard.clear();
    frame.mouseDown(press(5, 25));
    frame.keyDown(key(Key::Home));
    frame.keyDown(typed('Z'));
    frame.keyDown(key(Key::Return));
    EXPECT_EQ("Zab", field->value());
    EXPECT_EQ(1u, heard.heard.size());
    field->setSecret(true);
    EXPECT_EQ("***", field->text());
}

TEST(GuiControls, OptionMenuChoosesWithinSubmenusAndSkipsGreyedEntries) {
    Frame frame(300, 200);
    Heard heard;
    auto* menu = frame.add(std::make_unique<OptionMenu>(Rect(10, 10, 110, 30), &heard, 5, nullptr,
                                                        OptionMenu::kCheckStyle));
    menu->menu().add("first");
    menu->menu().add("-Ggrey");
    auto sub = std::make_unique<Menu>();
    sub->add("inner 0");
    sub->add("inner 1");
    Menu* inner = menu->menu().addSubmenu("more", std::move(sub));
    EXPECT_EQ("grey", menu->menu().entry(1)->title);

    frame.mouseDown(press(20, 20));
    auto* popup = dynamic_cast<MenuPopup*>(frame.modalView());
    ASSERT_NE(nullptr, popup);
    // A greyed entry does nothing; the submenu opens; its second entry is
    // chosen: the value is its index there.
    const Rect grey = popup->entryRect(0, 1);
    frame.mouseDown(press(grey.left + 2, grey.top + 2));
    EXPECT_EQ(popup, frame.modalView());
    const Rect more = popup->entryRect(0, 2);
    frame.mouseDown(press(more.left + 2, more.top + 2));
    ASSERT_EQ(2u, popup->columns().size());
    const Rect pick = popup->entryRect(1, 1);
    frame.mouseDown(press(pick.left + 2, pick.top + 2));
    EXPECT_EQ(nullptr, frame.modalView());
    EXPECT_EQ((std::vector<std::pair<long, float>>{{5, 1.0f}}), heard.heard);
    EXPECT_EQ(inner, menu->lastMenu());
    EXPECT_EQ(1, inner->current());
    EXPECT_EQ("inner 1", menu->text());

    // Keys: Down skips the greyed entry, Escape closes without a choice.
    menu->popup();
    frame.keyDown(key(Key::Down));
    frame.keyDown(key(Key::Down));
    EXPECT_EQ(2, dynamic_cast<MenuPopup*>(frame.modalView())->columns().back().highlight);
    frame.keyDown(key(Key::Escape));
    EXPECT_EQ(nullptr, frame.modalView());
    EXPECT_EQ(1u, heard.heard.size());
    // A press outside the menu closes it too; the menu going while open
    // takes its popup with it.
    menu->popup();
    frame.mouseDown(press(290, 190));
    EXPECT_FALSE(menu->popupOpen());
    menu->popup();
    frame.removeView(menu);
    EXPECT_EQ(nullptr, frame.modalView());
    EXPECT_EQ(0u, frame.childCount());
}
