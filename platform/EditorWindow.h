#pragma once
// The operating system's window for an editor: a child of the window the
// host hands the plug-in (an X11 window id on Linux, an HWND on Windows),
// or a top-level window of its own (a test host's). It shows RGBA pictures
// drawn in memory and hands back input events; it never waits for them:
// nextEvent() takes only what is already queued, so the editor pumps it
// from the host's idle calls.
//
// Threads: the thread that created the window uses it.
#include <cstdint>
#include <memory>

namespace platform {

struct WindowEvent {
    enum class Type { MouseDown, MouseUp, MouseMove, Key, Exposed, Resized, Closed };
    enum Button : unsigned { kLeft = 1, kRight = 2, kMiddle = 4 };
    enum class Key { Other, Return, Escape, Tab, Backspace, Delete, Left, Right, Up, Down, Home, End };

    Type type = Type::Exposed;
    int x = 0, y = 0;         // mouse position; Expose: the area's left, top
    int width = 0, height = 0;  // Expose: the area's size; Resized: the new client size
    unsigned buttons = 0;     // MouseDown/Up: the button; MouseMove: those held
    Key key = Key::Other;
    char32_t character = 0;   // the text a key types, 0 for none
    bool shift = false;
    uint32_t timeMs = 0;      // the event's own time stamp
};

class EditorWindow {
public:
    virtual ~EditorWindow() = default;

    // A child window of `parent`; null when there is no display or parent.
    static std::unique_ptr<EditorWindow> createChild(void* parent, int width, int height);
    // A top-level window with a title, for a host of our own.
    static std::unique_ptr<EditorWindow> createTopLevel(const char* title, int width, int height);
    // A top-level window of the class "TRVWindow" that the user may resize
    // and close, kept above the others: an enlarged video picture, its
    // client area at screen position (x, y).
    static std::unique_ptr<EditorWindow> createVideoWindow(const char* title, int x, int y, int width, int height);

    // Copies the area (x, y, w, h) of the picture (width x height RGBA
    // pixels, rows of width * 4 bytes) to the same place in the window. A
    // window the user resized takes pictures of its new size.
    virtual void present(const uint8_t* rgba, int width, int height, int x, int y, int w, int h) = 0;
    // The next event already queued, if any (all exposes merged into one).
    virtual bool nextEvent(WindowEvent& e) = 0;
    // Asks for a new client size (a Resized event follows when it took).
    virtual void setClientSize(int width, int height) = 0;
    // The keyboard goes to this window (a text field took the focus); the
    // window that had it is remembered.
    virtual void takeKeyboardFocus() = 0;
    // Gives the keyboard back to the window that had it before
    // takeKeyboardFocus, if this window still holds it (the host's own
    // shortcuts work again once no text field is edited).
    virtual void releaseKeyboardFocus() = 0;
    // The native handle: an X11 window id or an HWND.
    virtual void* nativeHandle() const = 0;
};

}  // namespace platform
