// The editor's own controls: geometry and answers of the modal popup, the
// message list's layout, the ticker's steps, the LED's timing, the
// progress bar's split, the glow and the guarded menu's busy bracket.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "editor/controls/ActivityLed.h"
#include "editor/controls/GlowPanel.h"
#include "editor/controls/GuardedControls.h"
#include "editor/controls/MessageListView.h"
#include "editor/controls/ModalPopup.h"
#include "editor/controls/MovieControls.h"
#include "editor/controls/NewsTicker.h"
#include "editor/controls/ProgressMeter.h"
#include "gui/Frame.h"

using namespace gui;
using namespace editor;

namespace {

struct Heard : ControlListener {
    void valueChanged(Control& c) override {
        ++count;
        last = c.value();
        stillModal = c.frame() && c.frame()->modalView() == &c;
    }
    int count = 0;
    float last = -1.0f;
    bool stillModal = false;
};

BitmapRef plain(int w, int h, int n = 1, Color c = palette::white) {
    return std::make_shared<Bitmap>(Image(w, h, c), n);
}

// Pixels inside r inked in red over black (anti-aliased edges included).
int countRed(const Image& img, const Rect& r) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const Color p = img.pixel(x, y);
            n += p.r > 100 && p.g < 40;
        }
    return n;
}

}  // namespace

TEST(EditorControls, ModalPopupSitsCentredAndAnswersByButtonOrKey) {
    Frame frame(623, 365);
    Heard heard;
    ModalPopup* p = ModalPopup::show(frame, &heard, 3, "Will you accept?", "Accept", "Reject");
    EXPECT_EQ(Rect(151, 92, 471, 272), p->size());
    EXPECT_EQ(Rect(186, 192, 291, 232), p->buttonRect(0));
    EXPECT_EQ(Rect(326, 192, 431, 232), p->buttonRect(1));
    // Elsewhere in the popup: ignored. Escape: the second answer, then gone.
    frame.mouseDown(MouseEvent{Point(160, 100), kLeftButton, 0});
    EXPECT_EQ(0, heard.count);
    frame.keyDown(KeyEvent{Key::Escape, 0, false});
    EXPECT_EQ(1, heard.count);
    EXPECT_EQ(1.0f, heard.last);
    EXPECT_TRUE(heard.stillModal) << "the listener hears it before the popup leaves";
    EXPECT_EQ(nullptr, frame.modalView());
    EXPECT_EQ(0u, frame.childCount());

    // One button, in a frame lower than the popup; closed unanswered.
    Frame small(400, 120);
    p = ModalPopup::show(small, &heard, 4, "File sent.", "OK", "");
    EXPECT_EQ(Rect(40, 0, 360, 120), p->size());
    EXPECT_EQ(Rect(40 + 70, 40, 40 + 245, 80), p->buttonRect(0));
    small.mouseDown(MouseEvent{Point(150, 60), kRightButton, 0});
    EXPECT_EQ(0.0f, heard.last);
    EXPECT_EQ(2, heard.count);
    p = ModalPopup::show(small, &heard, 4, "?", "", "");
    p->closeWithoutAnswer();
    EXPECT_EQ(2, heard.count);
    EXPECT_EQ(0u, small.childCount());
}

TEST(EditorControls, MessageListFillsFromTheTopThenKeepsTheNewestAtTheBottom) {
    Frame frame(300, 100);
    auto* list = frame.add(std::make_unique<MessageListView>(Rect(0, 0, 300, 78)));
    list->setBackColor(palette::black);
    list->setFontColor(palette::white);
    list->setNewestColor(Color(255, 0, 0));
    EXPECT_EQ(5, list->visibleLines());
    for (const char* t : {"one", "two", "three"}) list->addLine(t);
    EXPECT_EQ("one", *list->rowText(0));
    EXPECT_EQ("three", *list->rowText(2));
    EXPECT_EQ(nullptr, list->rowText(3));
    frame.render();
    const Image& img = frame.backBuffer();
    EXPECT_EQ(0, countRed(img, Rect(0, 4, 300, 32)));
    EXPECT_GT(countRed(img, Rect(0, 32, 300, 46)), 0) << "the third row is the newest";
    for (int i = 4; i <= 20; ++i) list->addLine("line " + std::to_string(i));
    EXPECT_EQ("line 16", *list->rowText(0));
    EXPECT_EQ("line 20", *list->rowText(4));
    list->clear();
    EXPECT_EQ(nullptr, list->rowText(0));
}

TEST(EditorControls, TickerSteppingLabelsLedTimingProgressAndGlow) {
    // Ten characters: ten start positions, then the whole text again.
    Frame frame(300, 100);
    auto* ticker = frame.add(std::make_unique<NewsTicker>(Rect(0, 0, 200, 20), nullptr, "abcdefghi\n", false));
    EXPECT_EQ("abcdefghi ", ticker->label());
    for (int shift = 1; shift <= 10; ++shift) {
        // Draw, then step until the first character has scrolled out.
        for (int guard = 0; guard < 100 && ticker->startIndex() != shift % 10; ++guard) {
            ticker->idle();
            frame.render();
            ticker->step();
            ticker->step();  // a second step before a draw does nothing
        }
        ASSERT_EQ(shift % 10, ticker->startIndex());
        EXPECT_EQ(0, ticker->pixelOffset());
    }
    EXPECT_EQ("abcdefghi ", ticker->label());

    LabelledMovieBitmap box(Rect(0, 0, 50, 17), plain(50, 34, 2));
    box.setLabel("120.0");
    box.setLabel(std::string(256, 'x'));
    EXPECT_EQ("", box.label());

    ActivityLed led(Rect(0, 0, 11, 11), plain(11, 22, 2));
    uint32_t last = 0;
    for (uint32_t t = 1000; t < 1500; t += 40) {
        led.light(1.0f, last = t);
        led.tick(t + 20);
        EXPECT_EQ(1.0f, led.value()) << t;
    }
    led.tick(last + 249);
    EXPECT_EQ(1.0f, led.value());
    led.tick(last + 250);
    EXPECT_EQ(0.0f, led.value());

    ProgressMeter bar(Rect(0, 0, 67, 12), plain(67, 12), plain(67, 12, 1, palette::black), 100);
    bar.setValue(0.5f);
    EXPECT_EQ(33, bar.split());
    bar.setValue(1.0f);
    EXPECT_EQ(67, bar.split());

    Heard heard;
    GlowPanel glow(Rect(0, 0, 100, 30), nullptr, &heard, 1);
    EXPECT_EQ("???", glow.label());
    EXPECT_EQ(30, glow.overlayAlpha());
    glow.setLevel(2.0);
    EXPECT_EQ(255, glow.overlayAlpha());
}

TEST(EditorControls, GuardedMenuIsBusyFromOpeningUntilTheChoiceWasTold) {
    struct Guard : BusyGuard {
        void enterBusy() override { ++depth; }
        void leaveBusy() override { --depth; }
        int depth = 0;
    } guard;
    struct DepthAtChoice : ControlListener {
        explicit DepthAtChoice(Guard& g) : g(g) {}
        void valueChanged(Control&) override { seen = g.depth; }
        Guard& g;
        int seen = -1;
    } listener(guard);
    Frame frame(300, 200);
    auto* menu = frame.add(std::make_unique<GuardedOptionMenu>(Rect(0, 0, 80, 20), &listener, 1, nullptr, 0, &guard));
    menu->menu().add("64");
    menu->menu().add("128");
    frame.mouseDown(MouseEvent{Point(5, 5), kLeftButton, 0});
    EXPECT_EQ(1, guard.depth);
    frame.keyDown(KeyEvent{Key::Down, 0, false});
    frame.keyDown(KeyEvent{Key::Return, 0, false});
    EXPECT_EQ(1, listener.seen) << "the choice is told while busy";
    EXPECT_EQ(0, guard.depth);
    // Closing the editor with the menu open leaves nothing busy.
    menu->popup();
    frame.removeView(menu);
    EXPECT_EQ(0, guard.depth);
}
