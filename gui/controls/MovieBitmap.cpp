#include "gui/controls/MovieBitmap.h"

namespace gui {

EventResult HorizontalSwitch::onMouseDown(const MouseEvent& e) {
    const int n = background() ? background()->frameCount() : 1;
    if (n < 2 || size_.width() <= 0) return EventResult::Handled;
    int position = (e.where.x - size_.left) * n / size_.width();
    if (position < 0) position = 0;
    if (position > n - 1) position = n - 1;
    setValue(static_cast<float>(position) / static_cast<float>(n - 1));
    valueChanged();
    return EventResult::Handled;
}

}  // namespace gui
