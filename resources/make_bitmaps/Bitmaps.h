#pragma once
// The editor's bitmaps, one drawing function each. A function draws one
// frame into a context whose image is the frame's size; `frame` says which.
#include "gui/DrawContext.h"

namespace makebitmaps {

using DrawFrame = void (*)(gui::DrawContext& dc, int frame);

// Colours beyond the palette, and the roles the drawings give colours.
namespace style {
constexpr gui::Color page = gui::palette::panelGrey;  // page ground; small bitmaps sit on it
constexpr gui::Color band = gui::palette::darkBlue;   // window bands above and below the pages
constexpr gui::Color red{220, 30, 30};
constexpr gui::Color darkRed{110, 0, 0};
constexpr gui::Color darkGrey{90, 90, 90};
constexpr gui::Color caption = gui::palette::darkBlue;
constexpr gui::Font captionFont(gui::FontId::Small, true);  // headings
constexpr gui::Font labelFont(gui::FontId::Small);           // a field's name
constexpr gui::Font buttonFont(gui::FontId::Small, true);
}  // namespace style

// Window, tab bar and pages (Pages.cpp).
void drawWindowBackground(gui::DrawContext& dc, int frame);  // 128
void drawTabBar(gui::DrawContext& dc, int frame);            // 129
void drawConnectPage(gui::DrawContext& dc, int frame);       // 131
void drawSessionPage(gui::DrawContext& dc, int frame);       // 140
void drawOptionsPage(gui::DrawContext& dc, int frame);       // 160

// Buttons, indicators and boxes (Controls.cpp).
void drawLoginButton(gui::DrawContext& dc, int frame);       // 132
void drawConnectButton(gui::DrawContext& dc, int frame);     // 133
void drawMuteOnPlayButton(gui::DrawContext& dc, int frame);  // 141
void drawThruButton(gui::DrawContext& dc, int frame);        // 142
void drawSendArrow(gui::DrawContext& dc, int frame);         // 143
void drawReceiveArrow(gui::DrawContext& dc, int frame);      // 144
void drawTransportState(gui::DrawContext& dc, int frame);    // 145
void drawSendFileButton(gui::DrawContext& dc, int frame);    // 146
void drawProgressEmpty(gui::DrawContext& dc, int frame);     // 147
void drawProgressFilled(gui::DrawContext& dc, int frame);    // 149
void drawLoopIndicator(gui::DrawContext& dc, int frame);     // 150
void drawValueBox(gui::DrawContext& dc, int frame);          // 151-155, 157
void drawBufferFill(gui::DrawContext& dc, int frame);        // 156
void drawActivityLed(gui::DrawContext& dc, int frame);       // 158
void drawSyncButton(gui::DrawContext& dc, int frame);        // 161
void drawCheckBox(gui::DrawContext& dc, int frame);          // 162, 163

}  // namespace makebitmaps
