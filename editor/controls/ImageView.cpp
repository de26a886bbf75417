#include "editor/controls/ImageView.h"

namespace editor {

ImageView::ImageView(const gui::Rect& size, gui::BitmapRef bitmap, gui::Point sourceOffset, long tag,
                     gui::ControlListener* listener)
    : gui::Control(size, listener, tag), bitmap_(std::move(bitmap)), source_(sourceOffset) {}

void ImageView::setBitmap(gui::BitmapRef bitmap) {
    bitmap_ = std::move(bitmap);
    invalid();
}

void ImageView::drawRect(gui::DrawContext& dc, const gui::Rect& update) {
    if (!bitmap_) return;
    const gui::Rect part = update.intersection(size_);
    if (part.empty()) return;
    dc.drawImage(bitmap_->image(), part,
                 gui::Point(source_.x + part.left - size_.left, source_.y + part.top - size_.top));
}

gui::EventResult ImageView::onMouseDown(const gui::MouseEvent&) {
    if (notifying_) return gui::EventResult::Handled;
    notifying_ = true;
    valueChanged();
    notifying_ = false;
    return gui::EventResult::Handled;
}

}  // namespace editor
