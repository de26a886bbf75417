#include "gui/controls/OnOffButton.h"

namespace gui {

EventResult OnOffButton::onMouseDown(const MouseEvent& e) {
    if (!(e.buttons & kLeftButton)) return EventResult::Handled;
    setValue(value() != 0.0f ? 0.0f : 1.0f);
    valueChanged();
    return EventResult::Handled;
}

}  // namespace gui
