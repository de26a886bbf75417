#include "editor/controls/NewsTicker.h"

#include <algorithm>

namespace editor {

NewsTicker::NewsTicker(const gui::Rect& size, gui::BitmapRef background, const std::string& news, bool startThread)
    : ShadowLabel(size, std::move(background), " "), news_(news), window_(std::min<size_t>(news.size(), kMaxLabel)),
      offscreen_(size.width(), size.height()) {
    setAlign(gui::Align::Left);
    label_ = windowAt(0);
    if (startThread) stepper_.start();
}

NewsTicker::~NewsTicker() {
    stepper_.stop();
    stepper_.waitUntilFinished();
}

void NewsTicker::Stepper::run() {
    while (running()) {
        waitFor(kStepMs);
        if (!running()) break;
        ticker_.step();
    }
}

std::string NewsTicker::windowAt(size_t start) const {
    std::string w = news_.substr(std::min(start, news_.size()), window_);
    for (char& c : w)
        if (c == '\r' || c == '\n' || static_cast<unsigned char>(c) == 0x96) c = ' ';
    return w;
}

std::string NewsTicker::label() const {
    std::lock_guard<std::mutex> g(lock_);
    return label_;
}

int NewsTicker::startIndex() const {
    std::lock_guard<std::mutex> g(lock_);
    return static_cast<int>(start_);
}

int NewsTicker::pixelOffset() const {
    std::lock_guard<std::mutex> g(lock_);
    return offset_;
}

void NewsTicker::step() {
    // Only once the last change is on the screen.
    if (dirty_.load(std::memory_order_acquire)) return;
    {
        std::lock_guard<std::mutex> g(lock_);
        if (firstWidth_ > 0 && ++offset_ >= firstWidth_) {
            offset_ = 0;
            firstWidth_ = 0;
            if (++start_ >= news_.size()) start_ = 0;
            std::string next = windowAt(start_);
            if (next != label_) label_ = std::move(next);
        }
    }
    dirty_.store(true, std::memory_order_release);
}

void NewsTicker::idle() {
    if (dirty_.load(std::memory_order_acquire)) invalid();
}

void NewsTicker::draw(gui::DrawContext& dc) {
    if (offscreen_.empty()) return;
    std::lock_guard<std::mutex> g(lock_);
    gui::DrawContext off(offscreen_);
    // The page's part behind the ticker, then the text moved left.
    if (background())
        off.drawImage(background()->image(), offscreen_.bounds(), backOffset());
    else
        offscreen_.fill(gui::palette::transparent);
    const gui::Rect local(-offset_, 0, offscreen_.width(), offscreen_.height());
    if (style() & gui::kShadowText)
        off.drawShadowText(label_.c_str(), local.inset(2, 0), font(), fontColor(), gui::palette::lightGrey, align());
    else
        off.drawText(label_.c_str(), local.inset(2, 0), font(), fontColor(), align());
    if (firstWidth_ == 0 && !label_.empty()) {
        size_t n = 1;
        while (n < label_.size() && (static_cast<unsigned char>(label_[n]) & 0xC0) == 0x80) ++n;
        firstWidth_ = gui::textWidth(label_.substr(0, n).c_str(), font());
    }
    dc.drawImage(offscreen_, size_, gui::Point(0, 0));
    dirty_.store(false, std::memory_order_release);
}

}  // namespace editor
