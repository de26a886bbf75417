#pragma once
// A LED lit by activity (an on/off button that only shows): setValue above
// 0 lights it and arms its off time 250 ms ahead; tick(), called from each
// idle, puts it out at the first call once the off time has come, and arms
// one for a LED lit without it.
#include <cstdint>

#include "gui/controls/OnOffButton.h"

namespace editor {

class ActivityLed : public gui::OnOffButton {
public:
    static constexpr uint32_t kLitMs = 250;

    ActivityLed(const gui::Rect& size, gui::BitmapRef bitmap) : gui::OnOffButton(size, nullptr, 0, std::move(bitmap)) {}

    // `nowMs` is the tick count (ms) of the caller.
    void light(float v, uint32_t nowMs);
    void tick(uint32_t nowMs);
    uint32_t offTime() const { return offTime_; }
    gui::EventResult onMouseDown(const gui::MouseEvent&) override { return gui::EventResult::Ignored; }

private:
    uint32_t offTime_ = 0;  // 0: none
};

}  // namespace editor
