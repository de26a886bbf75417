// Editor windows on Windows through GDI. The host's message loop calls the
// window procedure, which only queues what happened; nextEvent hands the
// queue out from the editor's idle. Pictures go to the window with
// SetDIBitsToDevice from a 32-bit buffer of the window's size.
#include "platform/EditorWindow.h"

#include <windows.h>
#include <windowsx.h>

#include <cstring>
#include <deque>
#include <new>
#include <vector>

namespace platform {

namespace {

const char kClassName[] = "TRVEditorWindow";
const char kVideoClassName[] = "TRVWindow";
LONG gClassUsers = 0;

class Win32Window : public EditorWindow {
public:
    ~Win32Window() override {
        if (hwnd_) {
            // A window that goes while it holds the keyboard hands it back.
            releaseKeyboardFocus();
            SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
            DestroyWindow(hwnd_);
        }
        if (--gClassUsers == 0) {
            UnregisterClassA(kClassName, GetModuleHandleA(nullptr));
            UnregisterClassA(kVideoClassName, GetModuleHandleA(nullptr));
        }
    }

    enum class Kind { Child, TopLevel, Video };

    bool init(Kind kind, HWND parent, int x, int y, int width, int height, const char* title) {
        if (gClassUsers++ == 0) {
            WNDCLASSA wc{};
            wc.lpfnWndProc = &Win32Window::proc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
            wc.lpszClassName = kClassName;
            RegisterClassA(&wc);
            wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
            wc.lpszClassName = kVideoClassName;
            RegisterClassA(&wc);
        }
        if (width <= 0 || height <= 0) return false;
        width_ = width;
        height_ = height;
        pixels_.assign(static_cast<size_t>(width) * height, 0);
        DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, exStyle = 0;
        if (kind == Kind::Child) style = WS_CHILD | WS_VISIBLE;
        if (kind == Kind::Video) {
            style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
            exStyle = WS_EX_TOPMOST;
        }
        RECT r{x, y, x + width, y + height};
        AdjustWindowRectEx(&r, style, FALSE, exStyle);
        const bool placed = kind != Kind::TopLevel;
        hwnd_ = CreateWindowExA(exStyle, kind == Kind::Video ? kVideoClassName : kClassName, title ? title : "", style,
                                placed ? r.left : CW_USEDEFAULT, placed ? r.top : CW_USEDEFAULT, r.right - r.left,
                                r.bottom - r.top, kind == Kind::Child ? parent : nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
        if (!hwnd_) return false;
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        return true;
    }

    void present(const uint8_t* rgba, int width, int height, int x, int y, int w, int h) override {
        if (!rgba || width <= 0 || height <= 0 || !hwnd_) return;
        if (width != width_ || height != height_) {
            width_ = width;
            height_ = height;
            pixels_.assign(static_cast<size_t>(width) * height, 0);
        }
        const int left = x < 0 ? 0 : x, top = y < 0 ? 0 : y;
        const int right = x + w > width_ ? width_ : x + w, bottom = y + h > height_ ? height_ : y + h;
        if (right <= left || bottom <= top) return;
        for (int row = top; row < bottom; ++row) {
            const uint8_t* src = rgba + (static_cast<size_t>(row) * width_ + left) * 4;
            uint32_t* dst = &pixels_[static_cast<size_t>(row) * width_ + left];
            for (int col = left; col < right; ++col, src += 4)
                *dst++ = (uint32_t(src[0]) << 16) | (uint32_t(src[1]) << 8) | src[2];
        }
        HDC dc = GetDC(hwnd_);
        blit(dc, left, top, right - left, bottom - top);
        ReleaseDC(hwnd_, dc);
    }

    bool nextEvent(WindowEvent& e) override {
        if (events_.empty()) return false;
        e = events_.front();
        events_.pop_front();
        return true;
    }

    void setClientSize(int width, int height) override {
        if (!hwnd_ || width <= 0 || height <= 0) return;
        RECT r{0, 0, width, height};
        AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongA(hwnd_, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongA(hwnd_, GWL_EXSTYLE)));
        SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    }

    void takeKeyboardFocus() override {
        if (!hwnd_ || GetFocus() == hwnd_) return;
        previousFocus_ = SetFocus(hwnd_);
    }

    void releaseKeyboardFocus() override {
        if (hwnd_ && previousFocus_ && GetFocus() == hwnd_ && IsWindow(previousFocus_)) SetFocus(previousFocus_);
        previousFocus_ = nullptr;
    }

    void* nativeHandle() const override { return hwnd_; }

private:
    void blit(HDC dc, int x, int y, int w, int h) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width_;
        bi.bmiHeader.biHeight = -height_;  // rows top to bottom
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        // With a top-down picture the start scan line counts from the top.
        SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(w), static_cast<DWORD>(h), x, height_ - (y + h), 0,
                          static_cast<UINT>(height_), pixels_.data(), &bi, DIB_RGB_COLORS);
    }

    void push(const WindowEvent& e) {
        if (events_.size() < kMaxQueued) events_.push_back(e);
    }

    static WindowEvent mouse(WindowEvent::Type type, LPARAM lp, unsigned buttons) {
        WindowEvent e;
        e.type = type;
        e.x = GET_X_LPARAM(lp);
        e.y = GET_Y_LPARAM(lp);
        e.buttons = buttons;
        e.timeMs = static_cast<uint32_t>(GetMessageTime());
        return e;
    }

    static unsigned held(WPARAM wp) {
        return ((wp & MK_LBUTTON) ? WindowEvent::kLeft : 0u) | ((wp & MK_RBUTTON) ? WindowEvent::kRight : 0u) |
               ((wp & MK_MBUTTON) ? WindowEvent::kMiddle : 0u);
    }

    static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
        using T = WindowEvent::Type;
        switch (msg) {
            case WM_LBUTTONDOWN: SetCapture(hwnd); self->push(mouse(T::MouseDown, lp, WindowEvent::kLeft)); return 0;
            case WM_RBUTTONDOWN: SetCapture(hwnd); self->push(mouse(T::MouseDown, lp, WindowEvent::kRight)); return 0;
            case WM_MBUTTONDOWN: SetCapture(hwnd); self->push(mouse(T::MouseDown, lp, WindowEvent::kMiddle)); return 0;
            case WM_LBUTTONUP: ReleaseCapture(); self->push(mouse(T::MouseUp, lp, WindowEvent::kLeft)); return 0;
            case WM_RBUTTONUP: ReleaseCapture(); self->push(mouse(T::MouseUp, lp, WindowEvent::kRight)); return 0;
            case WM_MBUTTONUP: ReleaseCapture(); self->push(mouse(T::MouseUp, lp, WindowEvent::kMiddle)); return 0;
            case WM_MOUSEMOVE: self->push(mouse(T::MouseMove, lp, held(wp))); return 0;
            case WM_KEYDOWN: {
                WindowEvent e;
                e.type = T::Key;
                e.shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
                switch (wp) {
                    case VK_RETURN: e.key = WindowEvent::Key::Return; break;
                    case VK_ESCAPE: e.key = WindowEvent::Key::Escape; break;
                    case VK_TAB: e.key = WindowEvent::Key::Tab; break;
                    case VK_BACK: e.key = WindowEvent::Key::Backspace; break;
                    case VK_DELETE: e.key = WindowEvent::Key::Delete; break;
                    case VK_LEFT: e.key = WindowEvent::Key::Left; break;
                    case VK_RIGHT: e.key = WindowEvent::Key::Right; break;
                    case VK_UP: e.key = WindowEvent::Key::Up; break;
                    case VK_DOWN: e.key = WindowEvent::Key::Down; break;
                    case VK_HOME: e.key = WindowEvent::Key::Home; break;
                    case VK_END: e.key = WindowEvent::Key::End; break;
                    default: return DefWindowProcA(hwnd, msg, wp, lp);  // a WM_CHAR follows
                }
                self->push(e);
                return 0;
            }
            case WM_CHAR:
                if (wp >= 0x20 && wp != 0x7F) {
                    WindowEvent e;
                    e.type = T::Key;
                    e.character = static_cast<char32_t>(wp);
                    self->push(e);
                }
                return 0;
            case WM_PAINT: {
                PAINTSTRUCT ps;
                HDC dc = BeginPaint(hwnd, &ps);
                const RECT& r = ps.rcPaint;
                self->blit(dc, r.left, r.top, r.right - r.left, r.bottom - r.top);
                EndPaint(hwnd, &ps);
                return 0;
            }
            case WM_SIZE: {
                WindowEvent e;
                e.type = T::Resized;
                e.width = LOWORD(lp);
                e.height = HIWORD(lp);
                if (e.width > 0 && e.height > 0) self->push(e);
                return 0;
            }
            case WM_CLOSE: {
                WindowEvent e;
                e.type = T::Closed;
                self->push(e);
                return 0;
            }
            default: return DefWindowProcA(hwnd, msg, wp, lp);
        }
    }

    static constexpr size_t kMaxQueued = 1024;
    HWND hwnd_ = nullptr;
    HWND previousFocus_ = nullptr;
    int width_ = 0, height_ = 0;
    std::vector<uint32_t> pixels_;
    std::deque<WindowEvent> events_;
};

std::unique_ptr<EditorWindow> make(Win32Window::Kind kind, HWND parent, int x, int y, int width, int height,
                                   const char* title) {
    std::unique_ptr<Win32Window> w(new (std::nothrow) Win32Window);
    if (!w || !w->init(kind, parent, x, y, width, height, title)) return nullptr;
    return w;
}

}  // namespace

std::unique_ptr<EditorWindow> EditorWindow::createChild(void* parent, int width, int height) {
    if (!parent) return nullptr;
    return make(Win32Window::Kind::Child, static_cast<HWND>(parent), 0, 0, width, height, nullptr);
}

std::unique_ptr<EditorWindow> EditorWindow::createTopLevel(const char* title, int width, int height) {
    return make(Win32Window::Kind::TopLevel, nullptr, 0, 0, width, height, title);
}

std::unique_ptr<EditorWindow> EditorWindow::createVideoWindow(const char* title, int x, int y, int width, int height) {
    return make(Win32Window::Kind::Video, nullptr, x, y, width, height, title);
}

}  // namespace platform
