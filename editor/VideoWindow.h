#pragma once
// One video picture enlarged in a window of its own (class "TRVWindow",
// title "TRV"), kept above the others. The user may resize it: the height
// follows the width so the picture keeps 352 : 288. Pumped and drawn from
// the editor's idle; the picture comes from a function asked each time,
// so a source that went away is never read.
#include <cstdint>
#include <functional>
#include <memory>

#include "gui/Image.h"
#include "platform/EditorWindow.h"

namespace editor {

class VideoWindow {
public:
    static constexpr int kWidth = 352;
    static constexpr int kHeight = 288;
    static constexpr int kLeft = 40;
    static constexpr int kTop = 40;

    // Copies the current 176 x 144 RGB picture into its argument; false
    // when there is none (the window shows grey).
    using Source = std::function<bool(uint8_t* rgb)>;

    // Null when no window could be made (no display).
    static std::unique_ptr<VideoWindow> open(Source source);

    // Handles the window's input and draws the current picture; false once
    // the user closed the window.
    bool idle();
    // The source went away: the window shows grey from now on.
    void empty();
    // The client height for a width, keeping 352 : 288.
    static int heightFor(int width);
    int width() const { return width_; }
    int height() const { return height_; }

private:
    VideoWindow(std::unique_ptr<platform::EditorWindow> window, Source source);
    void draw();

    std::unique_ptr<platform::EditorWindow> window_;
    Source source_;
    std::unique_ptr<uint8_t[]> picture_;
    gui::Image image_;
    int width_ = kWidth;
    int height_ = kHeight;
};

}  // namespace editor
