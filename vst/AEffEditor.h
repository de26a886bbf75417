#pragma once
// Base of a plug-in's editor as the dispatcher sees it. The effect owns its
// editor (AudioEffect::setEditor) and deletes it with itself.
//
// Threads: hosts call the editor opcodes from their user-interface thread,
// Ardour on Linux from a dedicated event-loop thread; isOpen() may be asked
// from any thread.
#include <atomic>

#include "vst/VstAbi.h"

class AudioEffect;

class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* effect) : effect(effect) {}
    virtual ~AEffEditor() = default;
    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;

    // Stores a pointer to `rect`, which stays valid for the editor's life.
    // Hosts ask before open() as well, so the size is known from the start.
    virtual bool getRect(ERect** out) {
        if (!out) return false;
        *out = &rect;
        return true;
    }
    // `parent` is the host's window: an HWND on Windows, an X11 Window id on
    // Linux.
    virtual bool open(void* parent) {
        systemWindow = parent;
        open_.store(true, std::memory_order_release);
        return true;
    }
    virtual void close() {
        open_.store(false, std::memory_order_release);
        systemWindow = nullptr;
    }
    virtual void idle() {}
    // True when the key was used; false lets the host have it.
    virtual bool onKeyDown(VstKeyCode& key) { return false; }
    virtual bool onKeyUp(VstKeyCode& key) { return false; }
    bool isOpen() const { return open_.load(std::memory_order_acquire); }

    AudioEffect* getEffect() const { return effect; }

protected:
    AudioEffect* effect;
    ERect rect{0, 0, 0, 0};
    void* systemWindow = nullptr;

private:
    std::atomic<bool> open_{false};
};
