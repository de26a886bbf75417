#pragma once
// A one-line text in a box: background (the control's bitmap, else the
// back colour unless transparent), a one-pixel frame in the frame colour
// unless kNoFrame, and the text in its font, colour and alignment, or as
// shadow text. The text shown is text() (the value as a number, with
// `precision` decimals, unless a subclass shows a text of its own).
#include <string>

#include "gui/Control.h"

namespace gui {

enum DisplayStyle : unsigned {
    kNoFrame = 1,
    kTransparent = 2,
    kShadowText = 4,
};

class ParamDisplay : public Control {
public:
    ParamDisplay(const Rect& size, BitmapRef background = nullptr, unsigned style = 0);

    void setFont(Font f) { font_ = f; invalid(); }
    Font font() const { return font_; }
    void setFontColor(Color c) { fontColor_ = c; invalid(); }
    Color fontColor() const { return fontColor_; }
    void setBackColor(Color c) { backColor_ = c; invalid(); }
    void setFrameColor(Color c) { frameColor_ = c; invalid(); }
    void setShadowColor(Color c) { shadowColor_ = c; invalid(); }
    void setAlign(Align a) { align_ = a; invalid(); }
    Align align() const { return align_; }
    unsigned style() const { return style_; }
    void setStyle(unsigned s) { style_ = s; invalid(); }

    // What the display shows.
    virtual std::string text() const;

    void draw(DrawContext& dc) override;

protected:
    // Background and frame, then `shown` in the display's font and style.
    void drawText(DrawContext& dc, const std::string& shown);
    void drawText(DrawContext& dc, const std::string& shown, const Rect& r);

private:
    Font font_{FontId::Normal};
    Color fontColor_ = palette::white;
    Color backColor_ = palette::black;
    Color frameColor_ = palette::black;
    Color shadowColor_ = palette::lightGrey;
    Align align_ = Align::Center;
    unsigned style_ = 0;
};

}  // namespace gui
