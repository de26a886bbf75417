#pragma once
// Movie bitmaps of the session page. ClickMovieBitmap: a press of any
// button tells the listener at once; the value does not change.
// LabelledMovieBitmap: a value box (frame 0 white, frame 1 orange) with a
// label centred on it in its font and colour; a label of 256 characters or
// more is taken as empty; a new label redraws only when it differs.
#include <string>

#include "gui/controls/MovieBitmap.h"

namespace editor {

class ClickMovieBitmap : public gui::MovieBitmap {
public:
    using gui::MovieBitmap::MovieBitmap;
    gui::EventResult onMouseDown(const gui::MouseEvent&) override {
        valueChanged();
        return gui::EventResult::Handled;
    }
};

class LabelledMovieBitmap : public gui::MovieBitmap {
public:
    static constexpr size_t kMaxLabel = 255;

    LabelledMovieBitmap(const gui::Rect& size, gui::BitmapRef bitmap)
        : gui::MovieBitmap(size, nullptr, 0, std::move(bitmap)) {}

    void setLabel(const std::string& text);
    const std::string& label() const { return label_; }
    void setFont(gui::Font f) { font_ = f; invalid(); }
    void setFontColor(gui::Color c) { color_ = c; invalid(); }
    void draw(gui::DrawContext& dc) override;

private:
    std::string label_;
    gui::Font font_{gui::FontId::Normal};
    gui::Color color_ = gui::palette::black;
};

}  // namespace editor
