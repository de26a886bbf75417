// The window background, the tab bar and the three page backgrounds with
// their captions. Page rectangles are written in window coordinates, as
// the controls are placed, and moved up by the 34 rows of the tab band.
#include <algorithm>

#include "resources/make_bitmaps/Bitmaps.h"
#include "resources/make_bitmaps/Paint.h"

namespace makebitmaps {

using gui::Align;
using gui::Color;
using gui::DrawContext;
using gui::Font;
using gui::FontId;
using gui::Rect;
namespace palette = gui::palette;

namespace {

constexpr int kPageTop = 34;

// A window rectangle in the coordinates of a page bitmap.
Rect onPage(int left, int top, int right, int bottom) {
    return Rect(left, top - kPageTop, right, bottom - kPageTop);
}

// A white text field around a text control, the border two pixels left
// and right of it and on its own top and bottom rows (fields may touch
// vertically; the text is centred well inside).
void textField(DrawContext& dc, const Rect& control) {
    box(dc, Rect(control.left - 2, control.top, control.right + 2, control.bottom), palette::white, palette::midGrey,
        false);
}

// A sunken well behind a picture or a list, two pixels round it.
void well(DrawContext& dc, const Rect& content, Color fill) {
    box(dc, content.inset(-2, -2), fill, palette::midGrey, false);
}

// A menu field for an option menu at (x, y), w wide: the menu's
// rectangle is (x + 1, y + 1)-(x + w - 1, y + 11). White: the user sets
// it (grey boxes only show a value).
void menuField(DrawContext& dc, int x, int y, int w) {
    box(dc, onPage(x, y, x + w, y + 12), palette::white, palette::midGrey);
}

// A field's name right-aligned in front of it, from `left` to `right`,
// centred on the control's rows.
void rowLabel(DrawContext& dc, const char* where, const char* text, int left, int right, const Rect& control) {
    const int h = std::max(control.height(), gui::fontHeight(style::labelFont) + 1);
    const int top = control.top + (control.height() - h) / 2;
    label(dc, where, text, Rect(left, top, right, top + h), style::labelFont, style::caption, Align::Right);
}

}  // namespace

// 128: the dark bands round the pages, the status line's field, the
// product name and the Homepage link.
void drawWindowBackground(DrawContext& dc, int) {
    const Rect all = dc.target().bounds();
    dc.fillRect(all, style::band);
    dc.fillRect(Rect(0, kPageTop, all.right, 334), style::page);
    box(dc, Rect(226, 10, 584, 28), palette::buttonFace, palette::lightBlue);
    label(dc, "128", "Tarvolink", Rect(12, 338, 200, 361), Font(FontId::Big, true), palette::lightBlue, Align::Left);
    const Rect home(556, 334, 622, 352);
    const Font linkFont(FontId::Small, true);
    label(dc, "128", "Homepage", home, linkFont, palette::lightBlue, Align::Center);
    const int w = gui::textWidth("Homepage", linkFont);
    const int left = home.left + (home.width() - w) / 2;
    dc.fillRect(Rect(left, home.bottom - 3, left + w, home.bottom - 2), palette::lightBlue);
}

// 129: three tabs; frame k is the bar with tab k raised into the page.
void drawTabBar(DrawContext& dc, int frame) {
    static const char* const kNames[3] = {"Connect", "Online", "Options"};
    static const int kEdges[4] = {0, 67, 133, 200};
    const Rect all = dc.target().bounds();
    dc.fillRect(all, style::band);
    for (int i = 0; i < 3; ++i) {
        const bool active = i == frame;
        const Rect tab(kEdges[i] + 1, active ? 1 : 4, kEdges[i + 1] - 1, all.bottom);
        box(dc, Rect(tab.left, tab.top, tab.right, tab.bottom + 1), active ? style::page : palette::statusBlue,
            active ? style::page : palette::statusBlue);
        if (active) dc.fillRect(Rect(tab.left + 1, tab.top, tab.right - 1, tab.top + 2), palette::lightBlue);
        label(dc, "129", kNames[i], tab.inset(2, 0).offset(0, active ? 1 : 0), Font(FontId::Normal, true),
              active ? palette::darkBlue : palette::lightGrey, Align::Center);
    }
}

// 131: news line, the two news picture boxes, login fields, the users
// menu and the message list.
void drawConnectPage(DrawContext& dc, int) {
    dc.fillRect(dc.target().bounds(), style::page);

    const Rect ticker = onPage(18, 47, 604, 65);
    box(dc, ticker.inset(-3, -3), style::band, palette::statusBlue);
    well(dc, onPage(21, 78, 21 + 260, 78 + 160), palette::lightGrey);
    well(dc, onPage(21, 257, 21 + 468, 257 + 60), palette::lightGrey);

    const Rect user = onPage(382, 81, 522, 99);
    const Rect password = onPage(382, 102, 522, 120);
    const Rect users = onPage(390, 120, 522, 138);
    textField(dc, user);
    textField(dc, password);
    // The menu field starts two rows down, clear of the password field.
    const Rect menu(users.left, users.top + 2, users.right, users.bottom);
    box(dc, menu, palette::white, palette::midGrey);
    const double ax = menu.right - 8.0, ay = (menu.top + menu.bottom) / 2.0;
    fillPolygon(dc, {{ax - 3.5, ay - 2.0}, {ax + 3.5, ay - 2.0}, {ax, ay + 2.0}}, palette::statusBlue);
    rowLabel(dc, "131", "User Name", 290, 376, user);
    rowLabel(dc, "131", "Password", 290, 376, password);
    rowLabel(dc, "131", "Users Online", 290, 376, menu);

    const Rect messages = onPage(302, 158, 602, 236);
    label(dc, "131", "Messages", Rect(messages.left - 2, messages.top - 17, messages.right, messages.top - 3),
          style::captionFont, style::caption, Align::Left);
    well(dc, messages, palette::white);
}

// 140: the two users side by side (name plates, video wells), the send
// and receive column between them, the monitor switches, the file
// transfer, and the partner's transport block.
void drawSessionPage(DrawContext& dc, int) {
    dc.fillRect(dc.target().bounds(), style::page);
    const char* const at = "140";

    // Name plates beside the LEDs (38..49 and 569..580), down to the
    // LEDs' bottom row.
    box(dc, Rect(51, 14, 237, 33), palette::buttonFace, palette::midGrey);
    box(dc, Rect(381, 14, 567, 33), palette::buttonFace, palette::midGrey);
    for (const Rect video : {onPage(55, 76, 231, 220), onPage(386, 76, 562, 220)}) {
        well(dc, video, palette::black);
        label(dc, at, "No Video", video, Font(FontId::Small), palette::midGrey, Align::Center);
    }

    const Rect sendStatus = onPage(254, 105, 366, 117);
    const Rect receiveStatus = onPage(254, 202, 366, 214);
    box(dc, sendStatus.inset(0, -1), palette::buttonFace, palette::midGrey);
    box(dc, receiveStatus.inset(0, -1), palette::buttonFace, palette::midGrey);
    label(dc, at, "Send", Rect(254, sendStatus.bottom + 3, 366, sendStatus.bottom + 17), style::captionFont,
          style::caption, Align::Center);
    const Rect receiveArrow = onPage(277, 174, 346, 196);
    label(dc, at, "Receive", Rect(254, receiveArrow.top - 16, 366, receiveArrow.top - 2), style::captionFont,
          style::caption, Align::Center);

    const Rect thru = onPage(102, 240, 178, 258);
    label(dc, at, "Monitor", Rect(thru.left, thru.top - 16, thru.right, thru.top - 2), style::captionFont,
          style::caption, Align::Center);

    const Rect sendFile = onPage(274, 273, 341, 290);
    label(dc, at, "File Transfer", Rect(254, sendFile.top - 16, 366, sendFile.top - 2), style::captionFont,
          style::caption, Align::Center);

    const Rect transport = onPage(393, 242, 429, 279);
    const Rect buffer = onPage(393, 281, 427, 317);
    const Rect position = onPage(432, 240, 555, 257);
    label(dc, at, "Partner Transport", Rect(transport.left, position.top - 16, 560, position.top - 2),
          style::captionFont, style::caption, Align::Left);
    const Font small(FontId::Smaller);
    label(dc, at, "Buffer", Rect(344, buffer.top, buffer.left - 3, buffer.bottom), small, style::caption,
          Align::Right);
    label(dc, at, "Position", Rect(559, position.top, 620, position.bottom), small, style::caption, Align::Left);
    const Rect loop = onPage(432, 259, 555, 276);
    label(dc, at, "Loop", Rect(559, loop.top, 620, loop.bottom), small, style::caption, Align::Left);
    const Rect tempo = onPage(432, 278, 555, 295);
    label(dc, at, "Tempo / Sig.", Rect(559, tempo.top, 620, tempo.bottom), small, style::caption, Align::Left);
}

// 160: a caption column on the left, the local settings beside it, the
// partner's reported rates in the column on the right.
void drawOptionsPage(DrawContext& dc, int) {
    dc.fillRect(dc.target().bounds(), style::page);
    const char* const at = "160";
    const Font heading(FontId::Small, true);

    const Rect localName = onPage(152, 64, 284, 76);
    const Rect partnerName = onPage(380, 64, 512, 76);
    label(dc, at, "This Plug-in", Rect(localName.left, 10, localName.right, 24), heading, palette::statusBlue,
          Align::Right);
    label(dc, at, "Partner", Rect(partnerName.left, 10, partnerName.right, 24), heading, palette::statusBlue,
          Align::Right);
    etchedLine(dc, 14, 609, localName.bottom + 4);

    menuField(dc, 150, 85, 134);
    menuField(dc, 150, 113, 84);
    menuField(dc, 150, 141, 134);
    menuField(dc, 150, 196, 182);
    rowLabel(dc, at, "Upstream Rate", 10, 140, onPage(150, 85, 284, 97));
    rowLabel(dc, at, "Audio Rate", 10, 140, onPage(150, 113, 234, 125));
    rowLabel(dc, at, "File Transmit Rate", 10, 140, onPage(150, 141, 284, 153));

    // The video frame rate beside the audio menu, and the partner's rates.
    box(dc, onPage(244, 112, 296, 125), palette::lightGrey, palette::midGrey);
    box(dc, onPage(378, 84, 516, 98), palette::lightGrey, palette::midGrey);
    box(dc, onPage(378, 112, 516, 126), palette::lightGrey, palette::midGrey);

    etchedLine(dc, 14, 609, onPage(0, 158, 0, 158).top);
    rowLabel(dc, at, "Sync to this Plug", 10, 140, onPage(146, 165, 238, 182));
    rowLabel(dc, at, "Invitations from", 10, 140, onPage(150, 195, 332, 209));
    rowLabel(dc, at, "Compensate Record Offset", 4, 140, onPage(146, 222, 166, 241));
    rowLabel(dc, at, "Monitor Mode", 172, 283, onPage(287, 222, 307, 241));
}

}  // namespace makebitmaps
