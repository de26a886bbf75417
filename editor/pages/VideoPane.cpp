#include "editor/pages/VideoPane.h"

#include <new>

#include "trvcore/video/PictureSource.h"
#include "trvcore/video/VideoPicture.h"

namespace editor {

VideoPane::VideoPane(const gui::Rect& size, gui::BitmapRef background, long tag, gui::ControlListener* listener)
    : gui::Control(size, listener, tag, std::move(background)),
      picture_(new (std::nothrow) uint8_t[video::kPictureBytes]) {}

bool VideoPane::update(const PictureSource& source) {
    const uint32_t count = source.pictureCount();
    if (!picture_ || (updated_ && count == count_)) return false;
    if (!source.picture(picture_.get())) return false;
    updated_ = true;
    count_ = count;
    const int w = size_.width();
    const int h = size_.height();
    if (w <= 0 || h <= 0) return false;
    if (image_.width() != w || image_.height() != h) image_ = gui::Image(w, h, gui::palette::black);
    if (image_.empty()) return false;
    // Nearest source pixel for each pane pixel: a straight copy when the
    // pane is QCIF-sized, as the session page's panes are.
    uint8_t* out = image_.data();
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = picture_.get() + static_cast<size_t>(y * video::kHeight / h) * video::kStride;
        for (int x = 0; x < w; ++x, out += 4) {
            const uint8_t* px = row + static_cast<size_t>(x * video::kWidth / w) * 3;
            out[0] = px[0];
            out[1] = px[1];
            out[2] = px[2];
            out[3] = 255;
        }
    }
    hasPicture_ = true;
    invalid();
    return true;
}

void VideoPane::draw(gui::DrawContext& dc) {
    if (hasPicture_) dc.drawImage(image_, size_, gui::Point(0, 0));
    else drawBackground(dc);
}

}  // namespace editor
