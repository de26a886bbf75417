#pragma once
// A rectangle of the frame that draws itself and may take input. Views
// live in a container (the frame at the root); their rectangles are frame
// coordinates. Behaviour (what an event does to the view's state) is kept
// apart from drawing: a view can be driven without ever being drawn.
//
// Threads: the user-interface thread only, unless a view says otherwise.
#include "gui/DrawContext.h"
#include "gui/Events.h"
#include "gui/Geometry.h"

namespace gui {

class Frame;
class ViewContainer;

class View {
public:
    explicit View(const Rect& size) : size_(size) {}
    virtual ~View() = default;
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    const Rect& size() const { return size_; }
    // Moves or resizes; the old and new places are redrawn.
    void setSize(const Rect& r);

    bool visible() const { return visible_; }
    void setVisible(bool on);
    // A view that does not take the mouse lets presses through to what
    // lies under it.
    bool mouseEnabled() const { return mouseEnabled_; }
    void setMouseEnabled(bool on) { mouseEnabled_ = on; }

    Frame* frame() const { return frame_; }
    ViewContainer* parent() const { return parent_; }

    // Draws the whole view; `update` is the part that needs it (within the
    // view); the default draws everything.
    virtual void draw(DrawContext& dc) = 0;
    virtual void drawRect(DrawContext& dc, const Rect& update) {
        (void)update;
        draw(dc);
    }

    // A press inside the view. Captured: the view gets every move and the
    // release until the gesture ends.
    virtual EventResult onMouseDown(const MouseEvent&) { return EventResult::Ignored; }
    virtual void onMouseMoved(const MouseEvent&) {}
    virtual void onMouseUp(const MouseEvent&) {}
    // 1 when the key was used, -1 when not.
    virtual int onKeyDown(const KeyEvent&) { return -1; }
    // Keyboard focus arrives or leaves (text fields show their caret).
    virtual void takeFocus() {}
    virtual void looseFocus() {}
    // The frame's idle, for views that animate.
    virtual void idle() {}

    // Marks the whole view for redrawing at the frame's next draw.
    void invalid();
    void invalidRect(const Rect& r);

    // Set by the container when the view joins or leaves it.
    virtual void attached(ViewContainer* parent, Frame* frame);

protected:
    Rect size_;

private:
    Frame* frame_ = nullptr;
    ViewContainer* parent_ = nullptr;
    bool visible_ = true;
    bool mouseEnabled_ = true;
};

}  // namespace gui
