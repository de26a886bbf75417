#pragma once
// A picture with frames stacked vertically: frame k is the strip of
// frameHeight rows starting at row k x frameHeight. A one-frame bitmap's
// frame height is its height. Shared (read-only) by the controls that show
// it.
#include <memory>

#include "gui/Image.h"

namespace gui {

class Bitmap {
public:
    // `frames` of at least 1; the frame height is height / frames.
    Bitmap(Image image, int frames = 1);

    const Image& image() const { return image_; }
    int width() const { return image_.width(); }
    int height() const { return image_.height(); }
    int frameCount() const { return frames_; }
    int frameHeight() const { return frameHeight_; }
    // The frame a value 0..1 shows: whole part of ((n - 1) x value + 0.5),
    // the value clamped to 0..1 first.
    int frameFor(float value) const;

private:
    Image image_;
    int frames_ = 1;
    int frameHeight_ = 0;
};

using BitmapRef = std::shared_ptr<const Bitmap>;

}  // namespace gui
