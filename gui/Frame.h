#pragma once
// The root of the views: what the editor's window shows. It routes input
// (the modal view on top of the modal stack takes all of it; otherwise a
// press goes to the topmost view under it, and a view that captures it
// gets every move and the release; keys go to the modal view, then to the
// focus view), keeps the areas to redraw and draws them into its back
// buffer, which the OS window (a presenter) copies to the screen.
//
// The frame never calls the operating system: tests drive it with
// synthetic events and read the back buffer.
#include <vector>

#include "gui/Image.h"
#include "gui/InvalidRects.h"
#include "gui/ViewContainer.h"

namespace gui {

class Frame : public ViewContainer {
public:
    // The frame's rectangle starts at (0, 0).
    Frame(int width, int height);
    ~Frame() override;

    // Input from the presenter (or a test), in frame coordinates.
    void mouseDown(const MouseEvent& e);
    void mouseMoved(const MouseEvent& e);
    void mouseUp(const MouseEvent& e);
    // True when a view used the key.
    bool keyDown(const KeyEvent& e);

    // Modal views (children of the frame) stack; the top one gets all
    // input until it is removed from the stack.
    void pushModal(View* view);
    void popModal(View* view);
    View* modalView() const { return modal_.empty() ? nullptr : modal_.back(); }

    void setFocusView(View* view);
    View* focusView() const { return focus_; }
    View* capturedView() const { return captured_; }
    // The view gets every move and the release of the gesture in progress.
    void capture(View* view) { captured_ = view; }

    // Marks an area for the next render.
    void invalidate(const Rect& r);
    void invalidateAll() { invalidate(size()); }
    bool needsRender() const { return !invalid_.empty(); }
    // Draws the marked areas into the back buffer; the union drawn (empty
    // when nothing was marked).
    Rect render();
    const Image& backBuffer() const { return buffer_; }

    // A view is going away: the frame drops every pointer to it.
    void forget(const View* view);

private:
    Image buffer_;
    InvalidRects invalid_;
    std::vector<View*> modal_;
    View* focus_ = nullptr;
    View* captured_ = nullptr;
};

}  // namespace gui
