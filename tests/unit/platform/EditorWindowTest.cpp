// Editor windows on a real X server of the test's own (Xvfb): a child of a
// host's top-level window shows the pictures it is given, pixel for pixel,
// and hands back presses, keys and one merged expose, without waiting.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "editor/VideoWindow.h"
#include "platform/EditorWindow.h"
#include "support/Eventually.h"

extern char** environ;

using testsupport::eventually;

namespace {

class XServer : public ::testing::Test {
protected:
    void SetUp() override {
        const char* candidates[] = {"/usr/bin/Xvfb", "/usr/local/bin/Xvfb"};
        std::string xvfb;
        for (const char* c : candidates)
            if (::access(c, X_OK) == 0) xvfb = c;
        if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed (tools/install-deps.sh installs it)";
        const char* old = std::getenv("DISPLAY");
        oldDisplay = old ? old : "";
        hadDisplay = old != nullptr;
        for (int n = 90 + ::getpid() % 100; n < 400 && !pid; n += 7) {
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
            struct stat st;
            if (::stat(socket.c_str(), &st) == 0 || ::stat(lock.c_str(), &st) == 0) continue;
            display = ":" + std::to_string(n);
            // -noreset: the server would otherwise restart, refusing connections for
            // a moment, whenever its last client leaves.
            std::vector<std::string> args = {xvfb, display, "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"};
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(&a[0]);
            argv.push_back(nullptr);
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
            if (posix_spawn(&pid, xvfb.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = 0;
            posix_spawn_file_actions_destroy(&actions);
            if (!pid) continue;
            // Another test may have taken the same display a moment before:
            // the server is ours when the display's lock names it.
            const bool up = eventually([&] { return ::stat(socket.c_str(), &st) == 0 && lockHolder(lock) == pid; }, 5000);
            if (!up) stopServer();
        }
        ASSERT_NE(0, pid) << "no Xvfb started";
        ::setenv("DISPLAY", display.c_str(), 1);
        ASSERT_TRUE(eventually([&] {
            Display* d = XOpenDisplay(nullptr);
            if (d) XCloseDisplay(d);
            return d != nullptr;
        }, 5000));
    }
    void TearDown() override {
        stopServer();
        if (hadDisplay) ::setenv("DISPLAY", oldDisplay.c_str(), 1);
        else ::unsetenv("DISPLAY");
    }
    static pid_t lockHolder(const std::string& lock) {
        std::ifstream in(lock);
        long holder = 0;
        in >> holder;
        return static_cast<pid_t>(holder);
    }
    void stopServer() {
        if (!pid) return;
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        pid = 0;
    }

    pid_t pid = 0;
    std::string display, oldDisplay;
    bool hadDisplay = false;
};

bool next(platform::EditorWindow& w, platform::WindowEvent& e, platform::WindowEvent::Type type) {
    return eventually([&] {
        while (w.nextEvent(e))
            if (e.type == type) return true;
        return false;
    }, 3000);
}

}  // namespace

TEST_F(XServer, AChildWindowShowsItsPictureAndHandsBackInput) {
    using platform::WindowEvent;
    auto host = platform::EditorWindow::createTopLevel("host", 700, 400);
    ASSERT_TRUE(host);
    auto editor = platform::EditorWindow::createChild(host->nativeHandle(), 623, 365);
    ASSERT_TRUE(editor);
    WindowEvent e;
    ASSERT_TRUE(next(*editor, e, WindowEvent::Type::Exposed));

    // A red square on blue, presented; read back from the server.
    std::vector<uint8_t> picture(623 * 365 * 4);
    for (size_t i = 0; i < picture.size(); i += 4) picture[i + 2] = picture[i + 3] = 255;
    for (int y = 10; y < 30; ++y)
        for (int x = 10; x < 30; ++x) {
            uint8_t* p = &picture[(static_cast<size_t>(y) * 623 + x) * 4];
            p[0] = 255, p[1] = 0, p[2] = 0;
        }
    editor->present(picture.data(), 623, 365, 0, 0, 623, 365);
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(nullptr, d);
    const Window w = static_cast<Window>(reinterpret_cast<uintptr_t>(editor->nativeHandle()));
    XImage* shot = XGetImage(d, w, 0, 0, 623, 365, AllPlanes, ZPixmap);
    ASSERT_NE(nullptr, shot);
    EXPECT_EQ(0xFF0000u, XGetPixel(shot, 15, 15) & 0xFFFFFF);
    EXPECT_EQ(0x0000FFu, XGetPixel(shot, 100, 100) & 0xFFFFFF);
    XDestroyImage(shot);

    // A press and a key sent to the window come back as they were.
    XEvent press{};
    press.xbutton.type = ButtonPress;
    press.xbutton.window = w;
    press.xbutton.x = 40;
    press.xbutton.y = 50;
    press.xbutton.button = Button3;
    press.xbutton.same_screen = True;
    XSendEvent(d, w, False, ButtonPressMask, &press);
    XEvent key{};
    key.xkey.type = KeyPress;
    key.xkey.window = w;
    key.xkey.keycode = XKeysymToKeycode(d, XStringToKeysym("a"));
    key.xkey.same_screen = True;
    XSendEvent(d, w, False, KeyPressMask, &key);
    // Two exposes waiting together come out as one area.
    XClearArea(d, w, 0, 0, 10, 10, True);
    XClearArea(d, w, 100, 100, 10, 10, True);
    XFlush(d);
    ASSERT_TRUE(next(*editor, e, WindowEvent::Type::MouseDown));
    EXPECT_EQ(40, e.x);
    EXPECT_EQ(50, e.y);
    EXPECT_EQ(unsigned(WindowEvent::kRight), e.buttons);
    ASSERT_TRUE(next(*editor, e, WindowEvent::Type::Key));
    EXPECT_EQ(U'a', e.character);
    ASSERT_TRUE(next(*editor, e, WindowEvent::Type::Exposed));
    EXPECT_EQ(0, e.x);
    EXPECT_EQ(110, e.x + e.width);

    // The keyboard: taken from the host's main window (not the editor's
    // parent) and handed back, also when the editor's window goes while it
    // holds the keyboard.
    auto hostMain = platform::EditorWindow::createTopLevel("main", 100, 100);
    ASSERT_TRUE(hostMain);
    ASSERT_TRUE(next(*hostMain, e, WindowEvent::Type::Exposed));
    const Window hostWindow = static_cast<Window>(reinterpret_cast<uintptr_t>(hostMain->nativeHandle()));
    auto focusIs = [d](Window want) {
        return eventually([&] {
            Window focus = 0;
            int revert = 0;
            XGetInputFocus(d, &focus, &revert);
            return focus == want;
        }, 2000);
    };
    XSetInputFocus(d, hostWindow, RevertToParent, CurrentTime);
    XSync(d, False);
    editor->takeKeyboardFocus();
    EXPECT_TRUE(focusIs(w));
    editor->releaseKeyboardFocus();
    EXPECT_TRUE(focusIs(hostWindow));
    editor->takeKeyboardFocus();
    ASSERT_TRUE(focusIs(w));
    editor.reset();
    EXPECT_TRUE(focusIs(hostWindow));
    XCloseDisplay(d);
}

TEST_F(XServer, AnEnlargedVideoWindowKeepsItsAspectAndShowsThePicture) {
    bool picture = true;
    auto window = editor::VideoWindow::open([&](uint8_t* rgb) {
        if (!picture) return false;
        for (int i = 0; i < 176 * 144; ++i) rgb[i * 3] = 200, rgb[i * 3 + 1] = 10, rgb[i * 3 + 2] = 20;
        return true;
    });
    ASSERT_TRUE(window);
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(nullptr, d);
    // The window is found by its class, as a user's tools would.
    Window found = 0;
    ASSERT_TRUE(eventually([&] {
        Window root = DefaultRootWindow(d), parent, *children = nullptr;
        unsigned n = 0;
        XQueryTree(d, root, &root, &parent, &children, &n);
        for (unsigned i = 0; i < n; ++i) {
            XClassHint hint{};
            if (XGetClassHint(d, children[i], &hint)) {
                if (std::string(hint.res_class) == "TRVWindow") found = children[i];
                XFree(hint.res_name);
                XFree(hint.res_class);
            }
        }
        if (children) XFree(children);
        return found != 0;
    }));
    // The user drags the width to 704: the height follows to 576.
    XResizeWindow(d, found, 704, 300);
    XFlush(d);
    XWindowAttributes a{};
    ASSERT_TRUE(eventually([&] {
        window->idle();
        XGetWindowAttributes(d, found, &a);
        return a.width == 704 && a.height == 576;
    })) << a.width << "x" << a.height;
    window->idle();
    // (A window is read back only where it lies on the screen.)
    XImage* shot = XGetImage(d, found, 600, 500, 10, 10, AllPlanes, ZPixmap);
    ASSERT_NE(nullptr, shot);
    EXPECT_EQ(0xC80A14u, XGetPixel(shot, 0, 0) & 0xFFFFFF);
    XDestroyImage(shot);
    // Without a picture (a partner gone) it shows grey.
    picture = false;
    window->idle();
    shot = XGetImage(d, found, 10, 10, 10, 10, AllPlanes, ZPixmap);
    ASSERT_NE(nullptr, shot);
    EXPECT_EQ(0x7F7F7Fu, XGetPixel(shot, 0, 0) & 0xFFFFFF);
    XDestroyImage(shot);
    XCloseDisplay(d);
}
