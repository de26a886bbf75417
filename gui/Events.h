#pragma once
// Input as the frame hands it to views: mouse buttons and keys, with the
// event's own time stamp (ms) so double clicks and timing replay exactly.
#include <cstdint>

#include "gui/Geometry.h"

namespace gui {

enum MouseButton : unsigned { kLeftButton = 1, kRightButton = 2, kMiddleButton = 4 };

struct MouseEvent {
    Point where;          // frame coordinates
    unsigned buttons = 0; // MouseButton bits held (for a press: the one pressed)
    uint32_t timeMs = 0;
};

enum class Key {
    None,       // a character only
    Return,
    Escape,
    Tab,
    Backspace,
    Delete,
    Left,
    Right,
    Up,
    Down,
    Home,
    End,
};

struct KeyEvent {
    Key key = Key::None;
    char32_t character = 0;  // the text the key types, 0 for none
    bool shift = false;
};

// What a view did with an event.
enum class EventResult { Ignored, Handled, Captured };

}  // namespace gui
