#pragma once
// The plug-in's editor: a 623 x 365 frame with the tab bar, the status
// line, the home-page area and one of three pages (0 Connect, 1 Online,
// 2 Options). It has no thread or timer of its own: the host's idle calls
// poll the plug-in, its controller and its partner's session, and every
// user action turns at once into a call on them.
//
// Page switches asked for while a guarded control is busy with the user
// wait for the first idle after it is done. An invitation is asked about
// on the Connect page, two idle calls after switching there.
//
// Threads: the host's user-interface thread only. selectPage and the body
// of idle hold the plug-in's lock, the lock it holds while it handles
// session events.
#include <functional>
#include <memory>
#include <string>

#include "editor/EditorPage.h"
#include "editor/VideoWindow.h"
#include "editor/controls/GlowPanel.h"
#include "gui/Bitmap.h"
#include "gui/Control.h"
#include "gui/Frame.h"
#include "platform/EditorWindow.h"
#include "vst/AEffGUIEditor.h"

class LinkPlugin;

namespace gui {
class HorizontalSwitch;
class TextEdit;
}  // namespace gui

namespace editor {

class ModalPopup;

class LinkEditor : public AEffGUIEditor, public gui::ControlListener, public BusyGuard {
public:
    static constexpr int kWidth = 623;
    static constexpr int kHeight = 365;
    static constexpr long kTabBarTag = 10000;
    static constexpr long kHomeLinkTag = 10003;
    static constexpr long kInvitationTag = 10004;
    static constexpr int kPopupDelay = 2;
    static constexpr int kPageTop = 34;
    static constexpr int kPageBottom = 334;

    using PageFactory = std::function<std::unique_ptr<EditorPage>(LinkEditor&, int index)>;

    explicit LinkEditor(LinkPlugin* plugin);
    ~LinkEditor() override;

    // The pages; by default each page's own class.
    void setPageFactory(PageFactory factory) { pageFactory_ = std::move(factory); }

    // With a parent window the frame shows in a child window of it;
    // without one it draws offscreen only.
    bool open(void* parent) override;
    void close() override;
    void idle() override;
    bool onKeyDown(VstKeyCode& key) override;
    // The same with the toolkit's key (what the window hands the frame).
    int keyDown(const gui::KeyEvent& key);
    void postUpdate() { updateRequested_ = true; }
    void update();

    void selectPage(int index, bool force = false);
    // The enlarged video windows (at screen position 40, 40, 352 x 288):
    // the local camera, and the partner's pictures while there is one.
    void openLocalVideoWindow();
    void openPartnerVideoWindow();
    // The partner went: its window shows grey now and goes at the next idle.
    void dropPartnerVideoWindow();
    bool hasLocalVideoWindow() const { return localVideoWindow_ != nullptr; }
    bool hasPartnerVideoWindow() const { return partnerVideoWindow_ != nullptr; }
    int pageIndex() const { return pageIndex_; }
    bool pagePending() const { return pagePending_; }
    void enterBusy() override { ++busyCount_; }
    void leaveBusy() override { --busyCount_; }

    void valueChanged(gui::Control& control) override;

    LinkPlugin& plugin() { return *plugin_; }
    gui::Frame* frame() { return frame_.get(); }
    ModalPopup* invitationPopup() const { return invitationPopup_; }
    const std::string& statusText() const { return statusText_; }
    // Renders what changed into the frame's back buffer (the window shows
    // it); the area drawn.
    gui::Rect render();
    // What changed to the back buffer and on to the window.
    void paint();
    bool hasWindow() const { return window_ != nullptr; }

private:
    // The window's queued input to the frame, without waiting.
    void pumpWindow();
    void idleVideoWindows();
    std::unique_ptr<EditorPage> makePage(int index);
    void dropPopup();
    void updateStatusLine();
    void setStatus(const std::string& text);

    LinkPlugin* plugin_;
    std::unique_ptr<gui::Frame> frame_;
    std::unique_ptr<platform::EditorWindow> window_;
    std::unique_ptr<VideoWindow> localVideoWindow_;
    std::unique_ptr<VideoWindow> partnerVideoWindow_;
    const void* partnerOfWindow_ = nullptr;  // compared only, never followed
    bool partnerWindowDoomed_ = false;
    gui::BitmapRef frameBitmap_;
    gui::BitmapRef tabBitmap_;
    int pageIndex_ = 0;
    std::unique_ptr<EditorPage> page_;
    gui::HorizontalSwitch* tabBar_ = nullptr;
    gui::TextEdit* statusLine_ = nullptr;
    GlowPanel* homeLink_ = nullptr;
    ModalPopup* invitationPopup_ = nullptr;
    int popupDelay_ = 0;
    int busyCount_ = 0;
    int pendingPage_ = 0;
    bool pagePending_ = false;
    bool wasConnected_ = false;
    bool updateRequested_ = false;
    std::string statusText_;
    PageFactory pageFactory_;
};

}  // namespace editor
