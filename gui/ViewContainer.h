#pragma once
// A view holding other views, which it owns: drawn front to back in the
// order added, hit-tested back to front (the last added is on top). An
// optional background bitmap is drawn first, from `backgroundOffset` of
// the bitmap at the container's top-left corner.
#include <memory>
#include <vector>

#include "gui/Bitmap.h"
#include "gui/View.h"

namespace gui {

class ViewContainer : public View {
public:
    explicit ViewContainer(const Rect& size) : View(size) {}
    ~ViewContainer() override;

    // Takes ownership; returns the view (null for a null one).
    template <typename T>
    T* add(std::unique_ptr<T> view) {
        T* raw = view.get();
        addView(std::unique_ptr<View>(std::move(view)));
        return raw;
    }
    View* addView(std::unique_ptr<View> view);
    // Destroys the view (it must be a child); its place is redrawn.
    void removeView(View* view);
    void removeAll();
    bool isChild(const View* view) const;
    size_t childCount() const { return children_.size(); }
    View* childAt(size_t i) const { return i < children_.size() ? children_[i].get() : nullptr; }

    void setBackground(BitmapRef bitmap, Point offset = Point()) {
        background_ = std::move(bitmap);
        backgroundOffset_ = offset;
        invalid();
    }

    void draw(DrawContext& dc) override { drawRect(dc, size_); }
    void drawRect(DrawContext& dc, const Rect& update) override;
    // The topmost visible, mouse-enabled child containing `p` (searched
    // into nested containers), or null.
    View* viewAt(Point p) const;
    EventResult onMouseDown(const MouseEvent& e) override;
    void idle() override;
    void attached(ViewContainer* parent, Frame* frame) override;

private:
    std::vector<std::unique_ptr<View>> children_;
    BitmapRef background_;
    Point backgroundOffset_;
};

}  // namespace gui
