#include "gui/Bitmap.h"

namespace gui {

Bitmap::Bitmap(Image image, int frames) : image_(std::move(image)), frames_(frames < 1 ? 1 : frames) {
    frameHeight_ = image_.height() / frames_;
}

int Bitmap::frameFor(float value) const {
    if (!(value > 0.0f)) value = 0.0f;
    if (value > 1.0f) value = 1.0f;
    const int k = static_cast<int>((frames_ - 1) * value + 0.5f);
    return k < frames_ ? k : frames_ - 1;
}

}  // namespace gui
