#include "gui/Font.h"

namespace gui {

int fontPixelSize(FontId id) {
    switch (id) {
        case FontId::Big: return 14;
        case FontId::Normal: return 12;
        case FontId::Small: return 11;
        case FontId::Smaller: return 10;
    }
    return 12;
}

}  // namespace gui
