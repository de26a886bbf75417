#pragma once
// Instance 1's editor as a sequencer shows it: the host asks its size,
// makes a top-level window of its own of that size and opens the editor in
// it (or, offscreen, opens it without a window: it then draws in memory
// only). The idle thread pumps the host window's events and idles the
// editor, under the UI lock like every button command.
#include <memory>
#include <string>

#include "platform/EditorWindow.h"
#include "vst/VstAbi.h"

class HostEditor {
public:
    HostEditor(AEffect* effect, bool window);
    ~HostEditor();  // closes the editor, then the window
    HostEditor(const HostEditor&) = delete;
    HostEditor& operator=(const HostEditor&) = delete;

    // False with the reason when the plug-in has no editor or no window
    // could be made.
    bool open(std::string& error);
    void close();
    // The host window's events (nothing to do but drain them).
    void pump();
    bool isOpen() const { return open_; }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    AEffect* effect_;
    const bool wantWindow_;
    std::unique_ptr<platform::EditorWindow> window_;
    bool open_ = false;
    int width_ = 0;
    int height_ = 0;
};
