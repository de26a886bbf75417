#include "editor/VideoWindow.h"

#include <cmath>
#include <new>

#include "trvcore/video/VideoPicture.h"

namespace editor {

std::unique_ptr<VideoWindow> VideoWindow::open(Source source) {
    auto w = platform::EditorWindow::createVideoWindow("TRV", kLeft, kTop, kWidth, kHeight);
    if (!w) return nullptr;
    std::unique_ptr<VideoWindow> v(new (std::nothrow) VideoWindow(std::move(w), std::move(source)));
    if (v) v->draw();
    return v;
}

VideoWindow::VideoWindow(std::unique_ptr<platform::EditorWindow> window, Source source)
    : window_(std::move(window)), source_(std::move(source)),
      picture_(new (std::nothrow) uint8_t[video::kPictureBytes]) {}

int VideoWindow::heightFor(int width) {
    return static_cast<int>(std::lround(width * static_cast<double>(kHeight) / kWidth));
}

void VideoWindow::empty() { source_ = nullptr; }

bool VideoWindow::idle() {
    platform::WindowEvent e;
    while (window_->nextEvent(e)) {
        if (e.type == platform::WindowEvent::Type::Closed) return false;
        if (e.type == platform::WindowEvent::Type::Resized && e.width > 0 && e.height > 0) {
            width_ = e.width;
            height_ = e.height;
            const int wanted = heightFor(width_);
            if (wanted != height_) window_->setClientSize(width_, wanted);
        }
    }
    draw();
    return true;
}

void VideoWindow::draw() {
    if (image_.width() != width_ || image_.height() != height_) image_ = gui::Image(width_, height_);
    if (image_.empty()) return;
    const bool have = picture_ && source_ && source_(picture_.get());
    uint8_t* out = image_.data();
    for (int y = 0; y < height_; ++y) {
        const int sy = y * video::kHeight / height_;
        for (int x = 0; x < width_; ++x, out += 4) {
            if (!have) {
                out[0] = out[1] = out[2] = 127;
            } else {
                const uint8_t* p = picture_.get() + sy * video::kStride + (x * video::kWidth / width_) * 3;
                out[0] = p[0];
                out[1] = p[1];
                out[2] = p[2];
            }
            out[3] = 255;
        }
    }
    window_->present(image_.data(), width_, height_, 0, 0, width_, height_);
}

}  // namespace editor
