#pragma once
// A view with a value (0..1 unless the range says otherwise), a tag, a
// listener and a background bitmap with its offset (the bitmap's point
// drawn at the control's top-left corner).
//
// setValue only clamps and marks for redraw; it never tells the listener.
// Interaction code calls valueChanged() when the user changed the value.
#include <cstdint>

#include "gui/Bitmap.h"
#include "gui/View.h"

namespace gui {

class Control;

class ControlListener {
public:
    virtual ~ControlListener() = default;
    virtual void valueChanged(Control& control) = 0;
};

class Control : public View {
public:
    Control(const Rect& size, ControlListener* listener = nullptr, long tag = 0, BitmapRef background = nullptr);

    float value() const { return value_; }
    // Clamped to the range; redrawn when it changed.
    virtual void setValue(float v);
    float minimum() const { return min_; }
    float maximum() const { return max_; }
    void setRange(float lo, float hi);

    long tag() const { return tag_; }
    void setTag(long t) { tag_ = t; }
    ControlListener* listener() const { return listener_; }
    void setListener(ControlListener* l) { listener_ = l; }

    const BitmapRef& background() const { return background_; }
    void setBackground(BitmapRef b) {
        background_ = std::move(b);
        invalid();
    }
    Point backOffset() const { return backOffset_; }
    void setBackOffset(Point p) { backOffset_ = p; }

    // Tells the listener.
    void valueChanged();

protected:
    // The background bitmap's part under the control (its frame `frame`).
    void drawBackground(DrawContext& dc, int frame = 0);

private:
    float value_ = 0.0f;
    float min_ = 0.0f;
    float max_ = 1.0f;
    long tag_ = 0;
    ControlListener* listener_ = nullptr;
    BitmapRef background_;
    Point backOffset_;
};

}  // namespace gui
