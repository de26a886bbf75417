#include "editor/LinkEditor.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "editor/ProgressText.h"
#include "editor/controls/ModalPopup.h"
#include "editor/pages/Pages.h"
#include "gui/controls/MovieBitmap.h"
#include "gui/controls/TextEdit.h"
#include "resources/EditorBitmaps.h"
#include "trvcore/files/FileReceiver.h"
#include "trvcore/files/FileSender.h"
#include "trvcore/plugin/LinkPlugin.h"
#include "trvcore/session/MessageLog.h"
#include "trvcore/session/PartnerSession.h"
#include "trvcore/session/SessionController.h"
#include "trvcore/session/SessionRef.h"

namespace editor {

namespace {

const gui::Rect kTabBarRect(8, 11, 208, 34);
const gui::Rect kStatusRect(230, 12, 580, 26);
const gui::Rect kHomeLinkRect(556, 334, 622, 352);

gui::KeyEvent toKey(const VstKeyCode& k) {
    gui::KeyEvent e;
    switch (k.virt) {
        case VKEY_RETURN:
        case VKEY_ENTER: e.key = gui::Key::Return; break;
        case VKEY_ESCAPE: e.key = gui::Key::Escape; break;
        case VKEY_TAB: e.key = gui::Key::Tab; break;
        case VKEY_BACK: e.key = gui::Key::Backspace; break;
        case VKEY_DELETE: e.key = gui::Key::Delete; break;
        case VKEY_LEFT: e.key = gui::Key::Left; break;
        case VKEY_RIGHT: e.key = gui::Key::Right; break;
        case VKEY_UP: e.key = gui::Key::Up; break;
        case VKEY_DOWN: e.key = gui::Key::Down; break;
        case VKEY_HOME: e.key = gui::Key::Home; break;
        case VKEY_END: e.key = gui::Key::End; break;
        default: break;
    }
    if (e.key == gui::Key::None && k.character > 0) e.character = static_cast<char32_t>(k.character);
    e.shift = (k.modifier & MODIFIER_SHIFT) != 0;
    return e;
}

}  // namespace

LinkEditor::LinkEditor(LinkPlugin* plugin)
    : AEffGUIEditor(plugin), plugin_(plugin), frameBitmap_(resources::loadBitmap(128)),
      tabBitmap_(resources::loadBitmap(129)) {
    setSize(kWidth, kHeight);
}

LinkEditor::~LinkEditor() {
    if (frame_) close();
}

std::unique_ptr<EditorPage> LinkEditor::makePage(int index) {
    if (pageFactory_) return pageFactory_(*this, index);
    return createPage(*this, index);
}

bool LinkEditor::open(void* parent) {
    AEffGUIEditor::open(parent);
    frame_ = std::make_unique<gui::Frame>(kWidth, kHeight);
    frame_->setBackground(frameBitmap_);
    tabBar_ = frame_->add(std::make_unique<gui::HorizontalSwitch>(kTabBarRect, this, kTabBarTag, tabBitmap_));
    SessionRef partner = plugin_->partnerRef();
    wasConnected_ = partner && partner->connected();
    pageIndex_ = -1;
    selectPage(wasConnected_ ? 1 : 0, true);
    if (parent) {
        window_ = platform::EditorWindow::createChild(parent, kWidth, kHeight);
        paint();
    }
    return true;
}

void LinkEditor::close() {
    localVideoWindow_.reset();
    partnerVideoWindow_.reset();
    partnerWindowDoomed_ = false;
    window_.reset();
    if (frame_) {
        invitationPopup_ = nullptr;
        frame_->removeAll();
        tabBar_ = nullptr;
        statusLine_ = nullptr;
        homeLink_ = nullptr;
        if (page_) page_->close();
        page_.reset();
        frame_.reset();
    }
    busyCount_ = 0;
    pagePending_ = false;
    AEffGUIEditor::close();
}

void LinkEditor::selectPage(int index, bool force) {
    if (!frame_) return;
    if (busyCount_ > 0) {
        pendingPage_ = index;
        pagePending_ = true;
        return;
    }
    platform::ScopedLock guard(plugin_->lock());
    dropPopup();
    if (index == pageIndex_ && !force) return;
    // Everything but the tab bar goes, then the old page.
    frame_->setFocusView(nullptr);
    std::vector<gui::View*> going;
    for (size_t i = 0; i < frame_->childCount(); ++i)
        if (frame_->childAt(i) != tabBar_) going.push_back(frame_->childAt(i));
    for (gui::View* v : going) frame_->removeView(v);
    statusLine_ = nullptr;
    homeLink_ = nullptr;
    if (page_) page_->close();
    page_.reset();

    pageIndex_ = index;
    tabBar_->setValue(static_cast<float>(index) * 0.5f);
    auto status = std::make_unique<gui::TextEdit>(kStatusRect, nullptr, 0, statusText_, frameBitmap_,
                                                   gui::kShadowText | gui::kNoFrame | gui::kTransparent);
    status->setBackOffset(kStatusRect.topLeft());
    status->setEditable(false);
    status->setAlign(gui::Align::Center);
    status->setFont(gui::Font(gui::FontId::Small));
    status->setFontColor(gui::palette::statusBlue);
    status->setShadowColor(gui::palette::lightGrey);
    status->setMouseEnabled(false);
    statusLine_ = frame_->add(std::move(status));
    auto home = std::make_unique<GlowPanel>(kHomeLinkRect, frameBitmap_, this, kHomeLinkTag);
    home->setBackOffset(kHomeLinkRect.topLeft());
    home->setLabel(" ");
    home->setLevel(0.001);
    homeLink_ = frame_->add(std::move(home));
    page_ = makePage(index);
    if (page_) page_->open();
    frame_->invalidateAll();
}

void LinkEditor::dropPopup() {
    if (!invitationPopup_) return;
    ModalPopup* p = invitationPopup_;
    invitationPopup_ = nullptr;
    p->closeWithoutAnswer();
}

void LinkEditor::idle() {
    AEffGUIEditor::idle();
    if (!frame_) return;
    pumpWindow();
    if (!frame_) return;
    if (pagePending_ && busyCount_ < 1) {
        pagePending_ = false;
        busyCount_ = 0;
        selectPage(pendingPage_, false);
        paint();
        return;
    }
    plugin_->idleCheck();
    platform::ScopedLock guard(plugin_->lock());
    SessionController* controller = plugin_->controller();
    SessionRef pending = controller ? controller->pendingInvitation() : SessionRef();
    if (pending && !invitationPopup_) {
        if (pageIndex_ != 0) {
            popupDelay_ = kPopupDelay;
            selectPage(0, false);
        } else if (popupDelay_ > 0) {
            --popupDelay_;
        } else {
            char question[256];
            std::snprintf(question, sizeof question, "Will you accept an invitation from %s?", pending->partnerName());
            invitationPopup_ = ModalPopup::show(*frame_, this, kInvitationTag, question, "Accept", "Reject");
        }
    } else if (!pending && invitationPopup_) {
        dropPopup();
    }
    SessionRef partner = plugin_->partnerRef();
    const bool connected = partner && partner->connected();
    if (connected != wasConnected_) {
        selectPage(connected ? 1 : 0, false);
        wasConnected_ = connected;
    }
    idleVideoWindows();
    updateStatusLine();
    if (page_) page_->idle();
    if (updateRequested_) {
        updateRequested_ = false;
        update();
    }
    frame_->idle();
    paint();
}

void LinkEditor::openLocalVideoWindow() {
    if (localVideoWindow_ || !frame_) return;
    LinkPlugin* plugin = plugin_;
    localVideoWindow_ = VideoWindow::open([plugin](uint8_t* rgb) {
        SessionController* c = plugin->controller();
        return c && c->videoCapture().picture(rgb);
    });
}

void LinkEditor::openPartnerVideoWindow() {
    if (partnerVideoWindow_ || !frame_) return;
    SessionRef partner = plugin_->partnerRef();
    if (!partner) return;
    LinkPlugin* plugin = plugin_;
    const void* which = partner.get();
    // The partner is looked up for every picture: one that went is never read.
    partnerVideoWindow_ = VideoWindow::open([plugin, which](uint8_t* rgb) {
        SessionRef p = plugin->partnerRef();
        return p && p.get() == which && p->videoReceiver().picture(rgb);
    });
    partnerOfWindow_ = which;
    partnerWindowDoomed_ = false;
}

void LinkEditor::dropPartnerVideoWindow() {
    if (!partnerVideoWindow_) return;
    partnerVideoWindow_->empty();
    partnerWindowDoomed_ = true;
}

void LinkEditor::idleVideoWindows() {
    if (partnerWindowDoomed_) {
        partnerWindowDoomed_ = false;
        partnerVideoWindow_.reset();
        partnerOfWindow_ = nullptr;
    }
    if (partnerVideoWindow_) {
        SessionRef partner = plugin_->partnerRef();
        if (partner.get() != partnerOfWindow_) dropPartnerVideoWindow();
    }
    // A window the user closed is forgotten.
    if (localVideoWindow_ && !localVideoWindow_->idle()) localVideoWindow_.reset();
    if (partnerVideoWindow_ && !partnerVideoWindow_->idle()) {
        partnerVideoWindow_.reset();
        partnerWindowDoomed_ = false;
    }
}

void LinkEditor::paint() {
    const gui::Rect drawn = frame_ ? frame_->render() : gui::Rect();
    if (window_ && !drawn.empty()) {
        const gui::Image& b = frame_->backBuffer();
        window_->present(b.data(), b.width(), b.height(), drawn.left, drawn.top, drawn.width(), drawn.height());
    }
}

namespace {
gui::Key toKey(platform::WindowEvent::Key k) {
    using K = platform::WindowEvent::Key;
    switch (k) {
        case K::Return: return gui::Key::Return;
        case K::Escape: return gui::Key::Escape;
        case K::Tab: return gui::Key::Tab;
        case K::Backspace: return gui::Key::Backspace;
        case K::Delete: return gui::Key::Delete;
        case K::Left: return gui::Key::Left;
        case K::Right: return gui::Key::Right;
        case K::Up: return gui::Key::Up;
        case K::Down: return gui::Key::Down;
        case K::Home: return gui::Key::Home;
        case K::End: return gui::Key::End;
        default: return gui::Key::None;
    }
}
}  // namespace

void LinkEditor::pumpWindow() {
    if (!window_) return;
    platform::WindowEvent e;
    while (frame_ && window_->nextEvent(e)) {
        const gui::MouseEvent m{gui::Point(e.x, e.y), e.buttons, e.timeMs};
        switch (e.type) {
            case platform::WindowEvent::Type::MouseDown: {
                frame_->mouseDown(m);
                // A click that leaves a text field with the focus (the one
                // clicked, or one that had it from the page's opening) wants
                // the keyboard, which the host's window may hold; one that
                // ends the editing gives it back.
                if (!frame_ || !window_) break;
                if (frame_->focusView()) window_->takeKeyboardFocus();
                else window_->releaseKeyboardFocus();
                break;
            }
            case platform::WindowEvent::Type::MouseUp: frame_->mouseUp(m); break;
            case platform::WindowEvent::Type::MouseMove: frame_->mouseMoved(m); break;
            case platform::WindowEvent::Type::Key:
                keyDown(gui::KeyEvent{toKey(e.key), e.character, e.shift});
                if (frame_ && window_ && !frame_->focusView()) window_->releaseKeyboardFocus();
                break;
            case platform::WindowEvent::Type::Exposed:
                frame_->invalidate(gui::Rect::sized(e.x, e.y, e.width, e.height));
                break;
            case platform::WindowEvent::Type::Resized:
            case platform::WindowEvent::Type::Closed: break;
        }
    }
}

void LinkEditor::updateStatusLine() {
    SessionController* controller = plugin_->controller();
    SessionRef partner = plugin_->partnerRef();
    char path[FileReceiver::kPathBytes];
    uint64_t total = 0, done = 0;
    if (partner && !partner->closed()) {
        const FileReceiver& receiver = partner->fileReceiver();
        const FileSender& sender = partner->fileSender();
        if (receiver.isActive()) {
            receiver.savePath(path, sizeof path);
            receiver.progress(total, done);
            setStatus(progressText("File Receive:", path, total, done));
            return;
        }
        if (sender.isActive()) {
            sender.fileName(path, sizeof path);
            sender.progress(total, done);
            setStatus(progressText("File Transmit:", path, total, done));
            return;
        }
    }
    char line[MessageLog::kLineBytes];
    if (controller && controller->message(0, line)) setStatus(line);
}

void LinkEditor::setStatus(const std::string& text) {
    statusText_ = text;
    if (statusLine_) statusLine_->setText(text);
}

void LinkEditor::update() {
    if (page_ && !plugin_->partner() && !pagePending_ && pageIndex_ != 0) {
        const int previous = pageIndex_;
        selectPage(0, false);
        selectPage(previous, false);
    }
    if (page_) page_->refresh();
}

bool LinkEditor::onKeyDown(VstKeyCode& key) { return keyDown(toKey(key)) > 0; }

int LinkEditor::keyDown(const gui::KeyEvent& key) {
    if (invitationPopup_) return invitationPopup_->onKeyDown(key);
    if (frame_ && frame_->focusView() && frame_->keyDown(key)) return 1;
    return page_ ? page_->onKeyDown(key) : -1;
}

void LinkEditor::valueChanged(gui::Control& control) {
    switch (control.tag()) {
        case kTabBarTag: {
            const float v = std::min(control.value(), 0.999999f);
            selectPage(static_cast<int>(v * 3.0f), false);
            break;
        }
        case kHomeLinkTag:
            if (plugin_->controller()) plugin_->controller()->openWebPage(TRV_HOMEPAGE_URL);
            break;
        case kInvitationTag: {
            invitationPopup_ = nullptr;
            SessionController* controller = plugin_->controller();
            SessionRef pending = controller ? controller->pendingInvitation() : SessionRef();
            if (pending) controller->acceptInvitation(pending.get(), control.value() < 1.0f);
            wasConnected_ = false;
            break;
        }
        default: break;
    }
}

gui::Rect LinkEditor::render() { return frame_ ? frame_->render() : gui::Rect(); }

}  // namespace editor
