// Editor windows on X11 through Xlib. Each window has its own display
// connection, so nothing is shared with the host's toolkit. Events are
// read without blocking (only what is queued) and all exposes pending
// together come out as one area.
#include "platform/EditorWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/Xatom.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace platform {

namespace {

constexpr long kEventMask =
    ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask | StructureNotifyMask;

class X11Window : public EditorWindow {
public:
    ~X11Window() override {
        // A window that goes while it holds the keyboard hands it back.
        if (display_ && window_) releaseKeyboardFocus();
        if (image_) {
            image_->data = nullptr;  // the pixels are ours
            XDestroyImage(image_);
        }
        if (gc_) XFreeGC(display_, gc_);
        if (window_) XDestroyWindow(display_, window_);
        if (display_) XCloseDisplay(display_);
        std::free(pixels_);
    }

    enum class Kind { Child, TopLevel, Video };

    bool init(Kind kind, Window parent, int x, int y, int width, int height, const char* title) {
        display_ = XOpenDisplay(nullptr);
        if (!display_ || width <= 0 || height <= 0) return false;
        const int screen = DefaultScreen(display_);
        const bool topLevel = kind != Kind::Child;
        if (topLevel) parent = RootWindow(display_, screen);
        window_ = XCreateSimpleWindow(display_, parent, x, y, static_cast<unsigned>(width),
                                      static_cast<unsigned>(height), 0, BlackPixel(display_, screen),
                                      BlackPixel(display_, screen));
        if (!window_) return false;
        XSelectInput(display_, window_, kEventMask);
        if (topLevel) {
            XStoreName(display_, window_, title ? title : "");
            XSizeHints hints{};
            if (kind == Kind::TopLevel) {
                hints.flags = PMinSize | PMaxSize;
                hints.min_width = hints.max_width = width;
                hints.min_height = hints.max_height = height;
            } else {
                // The user places nothing: the window opens where asked.
                hints.flags = PPosition | USPosition | PMinSize;
                hints.x = x;
                hints.y = y;
                hints.min_width = 88;
                hints.min_height = 72;
                XClassHint cls{};
                char name[] = "trv", className[] = "TRVWindow";
                cls.res_name = name;
                cls.res_class = className;
                XSetClassHint(display_, window_, &cls);
                const Atom state = XInternAtom(display_, "_NET_WM_STATE", False);
                const Atom above = XInternAtom(display_, "_NET_WM_STATE_ABOVE", False);
                XChangeProperty(display_, window_, state, XA_ATOM, 32, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(&above), 1);
            }
            XSetWMNormalHints(display_, window_, &hints);
            deleteAtom_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
            XSetWMProtocols(display_, window_, &deleteAtom_, 1);
        }
        gc_ = XCreateGC(display_, window_, 0, nullptr);
        if (!gc_ || !makeImage(width, height)) return false;
        XMapWindow(display_, window_);
        XFlush(display_);
        return true;
    }

    void present(const uint8_t* rgba, int width, int height, int x, int y, int w, int h) override {
        if (!rgba || width <= 0 || height <= 0) return;
        if ((width != width_ || height != height_) && !makeImage(width, height)) return;
        const int left = std::max(0, x), top = std::max(0, y);
        const int right = std::min(width_, x + w), bottom = std::min(height_, y + h);
        if (right <= left || bottom <= top) return;
        // RGBA bytes to the server's 32-bit pixels (red in bits 16-23). The
        // unused top byte is set opaque: tools that read window pictures as
        // ARGB would show them transparent otherwise.
        for (int row = top; row < bottom; ++row) {
            const uint8_t* src = rgba + (static_cast<size_t>(row) * width_ + left) * 4;
            uint32_t* dst = pixels_ + static_cast<size_t>(row) * width_ + left;
            for (int col = left; col < right; ++col, src += 4)
                *dst++ = 0xff000000u | (uint32_t(src[0]) << 16) | (uint32_t(src[1]) << 8) | src[2];
        }
        XPutImage(display_, window_, gc_, image_, left, top, left, top, static_cast<unsigned>(right - left),
                  static_cast<unsigned>(bottom - top));
        XFlush(display_);
    }

    bool nextEvent(WindowEvent& out) override {
        while (XEventsQueued(display_, QueuedAfterReading) > 0) {
            XEvent ev;
            XNextEvent(display_, &ev);
            if (ev.type == Expose) {
                addExpose(ev.xexpose.x, ev.xexpose.y, ev.xexpose.width, ev.xexpose.height);
                continue;
            }
            if (translate(ev, out)) return true;
        }
        if (exposeRight_ > exposeLeft_) {
            out = WindowEvent{};
            out.type = WindowEvent::Type::Exposed;
            out.x = exposeLeft_;
            out.y = exposeTop_;
            out.width = exposeRight_ - exposeLeft_;
            out.height = exposeBottom_ - exposeTop_;
            exposeLeft_ = exposeTop_ = exposeRight_ = exposeBottom_ = 0;
            return true;
        }
        return false;
    }

    void setClientSize(int width, int height) override {
        if (width <= 0 || height <= 0) return;
        XResizeWindow(display_, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
        XFlush(display_);
    }

    void takeKeyboardFocus() override {
        Window current = 0;
        int revert = 0;
        XGetInputFocus(display_, &current, &revert);
        if (current == window_) return;
        previousFocus_ = current;
        XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
        XFlush(display_);
    }

    void releaseKeyboardFocus() override {
        if (!previousFocus_) return;
        Window current = 0;
        int revert = 0;
        XGetInputFocus(display_, &current, &revert);
        if (current == window_) {
            // The window that had the focus may have gone meanwhile.
            XErrorHandler old = XSetErrorHandler(ignoreErrors);
            XSetInputFocus(display_, previousFocus_, RevertToParent, CurrentTime);
            XSync(display_, False);
            XSetErrorHandler(old);
        }
        previousFocus_ = 0;
    }

    void* nativeHandle() const override { return reinterpret_cast<void*>(window_); }

private:
    // The picture buffer and the server-side image description of a size.
    bool makeImage(int width, int height) {
        const int screen = DefaultScreen(display_);
        const int depth = DefaultDepth(display_, screen);
        if (depth != 24 && depth != 32) return false;
        auto* pixels = static_cast<uint32_t*>(std::calloc(static_cast<size_t>(width) * height, 4));
        if (!pixels) return false;
        XImage* image = XCreateImage(display_, DefaultVisual(display_, screen), static_cast<unsigned>(depth), ZPixmap, 0,
                                     reinterpret_cast<char*>(pixels), static_cast<unsigned>(width),
                                     static_cast<unsigned>(height), 32, width * 4);
        if (!image) {
            std::free(pixels);
            return false;
        }
        if (image_) {
            image_->data = nullptr;
            XDestroyImage(image_);
        }
        std::free(pixels_);
        image_ = image;
        pixels_ = pixels;
        width_ = width;
        height_ = height;
        return true;
    }

    void addExpose(int x, int y, int w, int h) {
        if (exposeRight_ <= exposeLeft_) {
            exposeLeft_ = x;
            exposeTop_ = y;
            exposeRight_ = x + w;
            exposeBottom_ = y + h;
            return;
        }
        exposeLeft_ = std::min(exposeLeft_, x);
        exposeTop_ = std::min(exposeTop_, y);
        exposeRight_ = std::max(exposeRight_, x + w);
        exposeBottom_ = std::max(exposeBottom_, y + h);
    }

    static int ignoreErrors(Display*, XErrorEvent*) { return 0; }

    static unsigned buttonBit(unsigned button) {
        switch (button) {
            case Button1: return WindowEvent::kLeft;
            case Button2: return WindowEvent::kMiddle;
            case Button3: return WindowEvent::kRight;
            default: return 0;
        }
    }

    static unsigned heldButtons(unsigned state) {
        return ((state & Button1Mask) ? WindowEvent::kLeft : 0u) | ((state & Button2Mask) ? WindowEvent::kMiddle : 0u) |
               ((state & Button3Mask) ? WindowEvent::kRight : 0u);
    }

    bool translate(XEvent& ev, WindowEvent& out) {
        out = WindowEvent{};
        switch (ev.type) {
            case ButtonPress:
            case ButtonRelease: {
                const unsigned b = buttonBit(ev.xbutton.button);
                if (!b) return false;  // wheel steps
                out.type = ev.type == ButtonPress ? WindowEvent::Type::MouseDown : WindowEvent::Type::MouseUp;
                out.x = ev.xbutton.x;
                out.y = ev.xbutton.y;
                out.buttons = b;
                out.timeMs = static_cast<uint32_t>(ev.xbutton.time);
                return true;
            }
            case MotionNotify:
                out.type = WindowEvent::Type::MouseMove;
                out.x = ev.xmotion.x;
                out.y = ev.xmotion.y;
                out.buttons = heldButtons(ev.xmotion.state);
                out.timeMs = static_cast<uint32_t>(ev.xmotion.time);
                return true;
            case KeyPress: return translateKey(ev.xkey, out);
            case ConfigureNotify:
                if (ev.xconfigure.width == reportedWidth_ && ev.xconfigure.height == reportedHeight_) return false;
                reportedWidth_ = ev.xconfigure.width;
                reportedHeight_ = ev.xconfigure.height;
                out.type = WindowEvent::Type::Resized;
                out.width = reportedWidth_;
                out.height = reportedHeight_;
                return true;
            case ClientMessage:
                if (static_cast<Atom>(ev.xclient.data.l[0]) != deleteAtom_) return false;
                out.type = WindowEvent::Type::Closed;
                return true;
            default: return false;
        }
    }

    static bool translateKey(XKeyEvent& key, WindowEvent& out) {
        char text[8] = {};
        KeySym sym = NoSymbol;
        const int n = XLookupString(&key, text, sizeof text - 1, &sym, nullptr);
        out.type = WindowEvent::Type::Key;
        out.timeMs = static_cast<uint32_t>(key.time);
        out.shift = (key.state & ShiftMask) != 0;
        switch (sym) {
            case XK_Return:
            case XK_KP_Enter: out.key = WindowEvent::Key::Return; return true;
            case XK_Escape: out.key = WindowEvent::Key::Escape; return true;
            case XK_Tab:
            case XK_ISO_Left_Tab: out.key = WindowEvent::Key::Tab; return true;
            case XK_BackSpace: out.key = WindowEvent::Key::Backspace; return true;
            case XK_Delete: out.key = WindowEvent::Key::Delete; return true;
            case XK_Left: out.key = WindowEvent::Key::Left; return true;
            case XK_Right: out.key = WindowEvent::Key::Right; return true;
            case XK_Up: out.key = WindowEvent::Key::Up; return true;
            case XK_Down: out.key = WindowEvent::Key::Down; return true;
            case XK_Home: out.key = WindowEvent::Key::Home; return true;
            case XK_End: out.key = WindowEvent::Key::End; return true;
            default: break;
        }
        // Keysyms of Unicode characters carry the code point; Latin-1 ones
        // are their own code.
        if (sym >= 0x01000100 && sym <= 0x0110FFFF) out.character = static_cast<char32_t>(sym - 0x01000000);
        else if (n == 1 && static_cast<unsigned char>(text[0]) >= 0x20) out.character = static_cast<unsigned char>(text[0]);
        return out.character != 0;
    }

    Display* display_ = nullptr;
    Window window_ = 0;
    GC gc_ = nullptr;
    XImage* image_ = nullptr;
    uint32_t* pixels_ = nullptr;
    Atom deleteAtom_ = 0;
    Window previousFocus_ = 0;
    int width_ = 0, height_ = 0;
    int reportedWidth_ = 0, reportedHeight_ = 0;
    int exposeLeft_ = 0, exposeTop_ = 0, exposeRight_ = 0, exposeBottom_ = 0;
};

std::unique_ptr<EditorWindow> make(X11Window::Kind kind, Window parent, int x, int y, int width, int height,
                                   const char* title) {
    std::unique_ptr<X11Window> w(new (std::nothrow) X11Window);
    if (!w || !w->init(kind, parent, x, y, width, height, title)) return nullptr;
    return w;
}

}  // namespace

std::unique_ptr<EditorWindow> EditorWindow::createChild(void* parent, int width, int height) {
    if (!parent) return nullptr;
    return make(X11Window::Kind::Child, static_cast<Window>(reinterpret_cast<uintptr_t>(parent)), 0, 0, width, height,
                nullptr);
}

std::unique_ptr<EditorWindow> EditorWindow::createTopLevel(const char* title, int width, int height) {
    return make(X11Window::Kind::TopLevel, 0, 0, 0, width, height, title ? title : "");
}

std::unique_ptr<EditorWindow> EditorWindow::createVideoWindow(const char* title, int x, int y, int width, int height) {
    return make(X11Window::Kind::Video, 0, x, y, width, height, title ? title : "");
}

}  // namespace platform
