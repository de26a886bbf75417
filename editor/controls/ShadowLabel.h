#pragma once
// Labels of the editor. ShadowLabel: a name in bold font 2, black with a
// light grey shadow one pixel right and down, right-aligned, over its part
// of the page bitmap; at most 255 characters; a new label redraws only
// when it differs. CaptionOptionMenu: a menu button showing a caption of
// its own (at most 127 characters) instead of the chosen entry.
#include <string>

#include "gui/controls/OptionMenu.h"
#include "gui/controls/ParamDisplay.h"

namespace editor {

class ShadowLabel : public gui::ParamDisplay {
public:
    static constexpr size_t kMaxLabel = 255;

    ShadowLabel(const gui::Rect& size, gui::BitmapRef background, const std::string& text);

    // Copies at most 255 characters; true when the label changed.
    bool setLabel(const std::string& text);
    virtual std::string label() const { return label_; }
    std::string text() const override { return label(); }

protected:
    std::string label_;
};

class CaptionOptionMenu : public gui::OptionMenu {
public:
    static constexpr size_t kMaxCaption = 127;
    using gui::OptionMenu::OptionMenu;

    void setCaption(const std::string& text);
    const std::string& caption() const { return caption_; }
    std::string text() const override { return caption_; }

private:
    std::string caption_;
};

}  // namespace editor
