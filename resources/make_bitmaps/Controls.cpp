// Buttons, arrows, indicators and value boxes. Every bitmap is opaque:
// what is not the control itself is the page ground it sits on.
#include "resources/make_bitmaps/Bitmaps.h"
#include "resources/make_bitmaps/Paint.h"

namespace makebitmaps {

using gui::Align;
using gui::Color;
using gui::DrawContext;
using gui::Rect;
namespace palette = gui::palette;

namespace {

Rect bounds(DrawContext& dc) { return dc.target().bounds(); }

// A two-state button: frame 0 raised (buttonFace, dark text), frame 1 the
// active state (statusBlue, white text), so a switch whose label stays the
// same still shows plainly whether it is on.
void button(DrawContext& dc, const char* where, const char* text, int frame) {
    const Rect r = bounds(dc);
    const bool on = frame == 1;
    dc.fillRect(r, style::page);
    box(dc, r, on ? palette::statusBlue : palette::buttonFace, palette::darkBlue);
    if (!on) dc.fillRect(Rect(r.left + 2, r.top + 1, r.right - 2, r.top + 2), palette::white);
    label(dc, where, text, r.inset(3, 1), style::buttonFont, on ? palette::white : palette::darkBlue, Align::Center);
}

// A thick arrow across a 69 x 22 frame pointing right (or left): filled
// statusBlue when on, a light outline when off.
void arrow(DrawContext& dc, bool pointsRight, int frame) {
    dc.fillRect(bounds(dc), style::page);
    const double w = dc.target().width(), cy = dc.target().height() / 2.0;
    const double tail = 5.5, neck = 44.5, tip = 64.5, shaft = 4.5, head = 9.5;
    auto x = [&](double v) { return pointsRight ? v : w - v; };
    const std::vector<PointF> shape = {{x(tail), cy - shaft}, {x(neck), cy - shaft}, {x(neck), cy - head},
                                       {x(tip), cy},          {x(neck), cy + head},  {x(neck), cy + shaft},
                                       {x(tail), cy + shaft}};
    const bool on = frame == 1;
    fillPolygon(dc, shape, on ? palette::statusBlue : palette::lightGrey);
    const Color edge = on ? palette::darkBlue : palette::midGrey;
    for (size_t i = 0; i < shape.size(); ++i) strokeLine(dc, shape[i], shape[(i + 1) % shape.size()], 1.0, edge);
}

}  // namespace

void drawLoginButton(DrawContext& dc, int frame) {
    button(dc, "132", frame == 0 ? "LogIn" : "LogOut", frame);
}

void drawConnectButton(DrawContext& dc, int frame) {
    button(dc, "133", frame == 0 ? "Connect" : "Disconnect", frame);
}

void drawMuteOnPlayButton(DrawContext& dc, int frame) { button(dc, "141", "Mute on Play", frame); }

void drawThruButton(DrawContext& dc, int frame) { button(dc, "142", "Thru", frame); }

void drawSendArrow(DrawContext& dc, int frame) { arrow(dc, true, frame); }

void drawReceiveArrow(DrawContext& dc, int frame) { arrow(dc, false, frame); }

// Frames: stopped, playing, recording, playing and recording. The plate
// looks like a button: a click locates the partner.
void drawTransportState(DrawContext& dc, int frame) {
    const Rect r = bounds(dc);
    dc.fillRect(r, style::page);
    box(dc, r, palette::buttonFace, palette::darkBlue);
    dc.fillRect(Rect(r.left + 2, r.top + 1, r.right - 2, r.top + 2), palette::white);
    const double cx = r.width() / 2.0, cy = r.height() / 2.0;
    switch (frame) {
        case 0:
            dc.fillRect(Rect(int(cx) - 6, int(cy) - 6, int(cx) + 6, int(cy) + 6), palette::darkBlue);
            break;
        case 1:
            fillPolygon(dc, {{cx - 5.5, cy - 7.5}, {cx + 7.5, cy}, {cx - 5.5, cy + 7.5}}, palette::darkGreen);
            break;
        case 2:
            fillEllipse(dc, cx, cy, 7.0, 7.0, style::darkRed);
            fillEllipse(dc, cx, cy, 6.0, 6.0, style::red);
            break;
        default:
            fillPolygon(dc, {{cx - 11.5, cy - 6.5}, {cx - 0.5, cy}, {cx - 11.5, cy + 6.5}}, palette::darkGreen);
            fillEllipse(dc, cx + 6.5, cy, 5.5, 5.5, style::darkRed);
            fillEllipse(dc, cx + 6.5, cy, 4.5, 4.5, style::red);
            break;
    }
}

void drawSendFileButton(DrawContext& dc, int frame) {
    button(dc, "146", frame == 0 ? "Send File" : "Abort", frame);
}

// The two progress bitmaps share their border, so a bar cut anywhere
// from one into the other looks whole.
void drawProgressEmpty(DrawContext& dc, int) { box(dc, bounds(dc), palette::white, palette::midGrey, false); }

void drawProgressFilled(DrawContext& dc, int) {
    const Rect r = bounds(dc);
    box(dc, r, palette::statusBlue, palette::midGrey, false);
    dc.fillRect(Rect(r.left + 1, r.top + 1, r.right - 1, r.top + 3), Color(60, 130, 170));
}

// Frame 0 no loop, 1 only the local loop on, 2 both on, 3 only the
// partner's on. The symbol shows the partner's loop (on: dark, off:
// faint); orange marks a mismatch, as on the value boxes.
void drawLoopIndicator(DrawContext& dc, int frame) {
    const Rect r = bounds(dc);
    const bool differs = frame == 1 || frame == 3;
    const bool shownOn = frame >= 2;
    dc.fillRect(r, style::page);
    box(dc, r, differs ? palette::orange : palette::white, palette::midGrey);
    const Color symbol = shownOn ? (differs ? palette::darkBlue : palette::statusBlue)
                                 : (differs ? palette::white : palette::lightGrey);
    // A ring with an arrowhead on its top, clear of the border.
    const double cx = r.width() / 2.0, cy = r.height() / 2.0 + 1.0;
    fillRing(dc, cx, cy, 7.5, 4.5, 1.6, symbol);
    fillPolygon(dc, {{cx - 1.5, cy - 7.3}, {cx + 2.5, cy - 4.5}, {cx - 1.5, cy - 1.7}}, symbol);
}

// Frame 0 a white field, frame 1 the same in orange (a value that
// differs between the partners).
void drawValueBox(DrawContext& dc, int frame) {
    const Rect r = bounds(dc);
    dc.fillRect(r, style::page);
    box(dc, r, frame == 0 ? palette::white : palette::orange, palette::midGrey);
}

// A vertical gauge; frame k shows k of 32 rows filled from the bottom.
void drawBufferFill(DrawContext& dc, int frame) {
    const Rect r = bounds(dc);
    dc.fillRect(r, style::page);
    const Rect well(11, 1, 23, 35);  // 32 rows inside its border
    box(dc, well, palette::white, palette::midGrey, false);
    const int rows = frame < 0 ? 0 : (frame > 32 ? 32 : frame);
    dc.fillRect(Rect(well.left + 1, well.bottom - 1 - rows, well.right - 1, well.bottom - 1), palette::statusBlue);
    for (int i = 0; i <= 4; ++i) {
        const int y = well.bottom - 2 - i * 31 / 4;
        const int len = i % 2 == 0 ? 4 : 2;
        dc.fillRect(Rect(well.left - 1 - len, y, well.left - 1, y + 1), palette::midGrey);
        dc.fillRect(Rect(well.right + 1, y, well.right + 1 + len, y + 1), palette::midGrey);
    }
}

// A round lamp: grey (off) or red (on), with a small highlight.
void drawActivityLed(DrawContext& dc, int frame) {
    const Rect r = bounds(dc);
    dc.fillRect(r, style::page);
    const double c = r.width() / 2.0;
    const bool on = frame == 1;
    fillEllipse(dc, c, c, 5.0, 5.0, on ? style::darkRed : style::darkGrey);
    fillEllipse(dc, c, c, 4.0, 4.0, on ? style::red : palette::midGrey);
    fillEllipse(dc, c - 1.8, c - 1.8, 1.1, 1.1, Color(255, 255, 255, 170));
}

void drawSyncButton(DrawContext& dc, int frame) {
    button(dc, "161", frame == 0 ? "Sync Off" : "Sync On", frame);
}

// An empty box (frame 0) or the same with a tick (frame 1).
void drawCheckBox(DrawContext& dc, int frame) {
    const Rect r = bounds(dc);
    dc.fillRect(r, style::page);
    const Rect field(r.left + 3, r.top + 3, r.left + 16, r.top + 16);
    box(dc, field, palette::white, palette::darkBlue, false);
    if (frame == 1) {
        const PointF a{field.left + 3.2, field.top + 6.3}, b{field.left + 5.3, field.top + 8.6},
            c{field.left + 9.3, field.top + 3.6};
        strokeLine(dc, a, b, 2.0, palette::darkBlue);
        strokeLine(dc, b, c, 2.0, palette::darkBlue);
    }
}

}  // namespace makebitmaps
