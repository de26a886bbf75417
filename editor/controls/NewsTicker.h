#pragma once
// The news line scrolling left one pixel every 24 ms, one character at a
// time: a worker thread moves the pixel offset on while the last step has
// been drawn; when the offset reaches the first shown character's width,
// the window of at most 255 characters starts one character later (back
// to the start after the end; the window does not wrap, it shortens).
// Carriage returns, line feeds and byte 0x96 show as blanks.
//
// Threads: the worker only moves the counters, rewrites the label and
// marks the change (under the ticker's lock); idle() on the user-interface
// thread turns the mark into a redraw, and drawing (which measures the
// first character) happens there too.
#include <atomic>
#include <mutex>
#include <string>

#include "editor/controls/ShadowLabel.h"
#include "gui/Image.h"
#include "platform/WorkerThread.h"

namespace editor {

class NewsTicker : public ShadowLabel {
public:
    static constexpr unsigned kStepMs = 24;

    NewsTicker(const gui::Rect& size, gui::BitmapRef background, const std::string& news, bool startThread = true);
    ~NewsTicker() override;

    std::string label() const override;
    int startIndex() const;
    int pixelOffset() const;
    // One worker step (the thread calls it every 24 ms; tests call it).
    void step();

    void idle() override;
    void draw(gui::DrawContext& dc) override;

private:
    class Stepper : public WorkerThread {
    public:
        explicit Stepper(NewsTicker& t) : ticker_(t) {}
        void run() override;

    private:
        NewsTicker& ticker_;
    };

    std::string windowAt(size_t start) const;

    const std::string news_;
    const size_t window_;
    mutable std::mutex lock_;  // label_, start_, offset_, firstWidth_
    size_t start_ = 0;
    int offset_ = 0;
    int firstWidth_ = 0;
    std::atomic<bool> dirty_{true};
    gui::Image offscreen_;
    Stepper stepper_{*this};
};

}  // namespace editor
