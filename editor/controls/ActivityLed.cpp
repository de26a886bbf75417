#include "editor/controls/ActivityLed.h"

namespace editor {

namespace {
// An armed time is never 0, which means none.
uint32_t armed(uint32_t t) { return t ? t : 1; }
// Wrap-safe: `now` at or past `when`.
bool reached(uint32_t now, uint32_t when) { return static_cast<int32_t>(now - when) >= 0; }
}  // namespace

void ActivityLed::light(float v, uint32_t nowMs) {
    if (v > 0.0f) offTime_ = armed(nowMs + kLitMs);
    setValue(v);
}

void ActivityLed::tick(uint32_t nowMs) {
    if (offTime_ && reached(nowMs, offTime_)) {
        offTime_ = 0;
        setValue(0.0f);
    } else if (!offTime_ && value() > 0.0f) {
        offTime_ = armed(nowMs + kLitMs);
    }
}

}  // namespace editor
