#include "editor/pages/ConnectPage.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "editor/LinkEditor.h"
#include "editor/controls/ImageView.h"
#include "editor/controls/MessageListView.h"
#include "editor/controls/NewsTicker.h"
#include "editor/controls/ShadowLabel.h"
#include "gui/controls/OnOffButton.h"
#include "gui/controls/OptionMenu.h"
#include "gui/controls/TextEdit.h"
#include "resources/EditorBitmaps.h"
#include "trvcore/plugin/LinkPlugin.h"
#include "trvcore/session/MessageLog.h"
#include "trvcore/session/OnlineList.h"
#include "trvcore/session/PartnerSession.h"
#include "trvcore/session/SessionController.h"
#include "trvcore/session/SessionRef.h"
#include "trvcore/session/UserCommands.h"
#include "trvcore/trvnetwork/NewsPicture.h"
#include "trvcore/trvnetwork/OnlineUser.h"

namespace editor {

namespace {

const gui::Rect kUserRect(382, 81, 522, 99);
const gui::Rect kPasswordRect(382, 102, 522, 120);
const gui::Rect kLoginRect(533, 86, 604, 103);
const gui::Rect kConnectRect(533, 120, 604, 137);
const gui::Rect kUsersRect(390, 120, 522, 138);
const gui::Rect kMessagesRect(302, 158, 602, 236);
const gui::Rect kTickerRect(18, 47, 604, 65);
const gui::Rect kPicture1Box(21, 78, 21 + 260, 78 + 160);
const gui::Rect kPicture2Box(21, 257, 21 + 468, 257 + 60);
constexpr int kMessageLines = 7;

// The offset into the page bitmap (drawn from y = 34) of a control at r.
gui::Point onPage(const gui::Rect& r) { return gui::Point(r.left, r.top - LinkEditor::kPageTop); }

// The password field holds the password itself and shows a star per
// character; a field showing the "no password" text starts empty when
// the user begins typing.
class PasswordField : public gui::TextEdit {
public:
    using gui::TextEdit::TextEdit;
    void takeFocus() override {
        if (value() == ConnectPage::kNoPassword) {
            setText("");
            setSecret(true);
        }
        gui::TextEdit::takeFocus();
    }
};

gui::BitmapRef pictureBitmap(const NewsPicture& p) {
    if (p.empty() || p.width <= 0 || p.height <= 0) return nullptr;
    gui::Image image(p.width, p.height);
    if (image.empty()) return nullptr;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const uint32_t v = p.at(x, y);
            image.setPixel(x, y, gui::Color(static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                                            static_cast<uint8_t>(v)));
        }
    return std::make_shared<const gui::Bitmap>(std::move(image));
}

}  // namespace

ConnectPage::ConnectPage(LinkEditor& editor) : EditorPage(editor) {}

SessionController* ConnectPage::controller() const { return editor_.plugin().controller(); }

void ConnectPage::open() {
    gui::Frame* frame = editor_.frame();
    SessionController* c = controller();
    pageBitmap_ = resources::loadBitmap(131);
    frame->add(std::make_unique<ImageView>(gui::Rect(0, LinkEditor::kPageTop, LinkEditor::kWidth,
                                                     LinkEditor::kPageBottom),
                                           pageBitmap_, gui::Point(0, 0), 0, this));

    char text[SessionController::kTextBytes] = {};
    if (c) c->userName(text);
    auto makeField = [&](std::unique_ptr<gui::TextEdit> field, const gui::Rect& r) {
        field->setBackOffset(onPage(r));
        field->setFont(gui::Font(gui::FontId::Smaller));
        field->setFontColor(gui::palette::black);
        field->setBackColor(gui::palette::white);
        field->setMaxLength(SessionController::kTextBytes - 1);
        return frame->add(std::move(field));
    };
    userField_ = makeField(std::make_unique<gui::TextEdit>(kUserRect, this, kUserTag, text, pageBitmap_, gui::kNoFrame),
                           kUserRect);
    passwordField_ = makeField(
        std::make_unique<PasswordField>(kPasswordRect, this, kPasswordTag, "", pageBitmap_, gui::kNoFrame),
        kPasswordRect);
    showPassword();

    loginButton_ = frame->add(std::make_unique<gui::OnOffButton>(kLoginRect, this, kLoginTag, resources::loadBitmap(132)));
    connectButton_ =
        frame->add(std::make_unique<gui::OnOffButton>(kConnectRect, this, kConnectTag, resources::loadBitmap(133)));

    auto menu = std::make_unique<CaptionOptionMenu>(kUsersRect, this, kUsersTag, pageBitmap_,
                                                    gui::OptionMenu::kCheckStyle | gui::kNoFrame);
    menu->setBackOffset(onPage(kUsersRect));
    menu->setFont(gui::Font(gui::FontId::Smaller));
    menu->setFontColor(gui::palette::blue);
    menu->setAlign(gui::Align::Center);
    menu->setCaption("");
    usersMenu_ = frame->add(std::move(menu));
    if (c && c->loggedIn()) {
        // The caption names the user a session exists with, if any.
        OnlineUser u;
        for (int i = 0; i < OnlineList::kMaxUsers && c->onlineUserAt(i, u); ++i)
            if (c->hasSessionWith(u)) {
                usersMenu_->setCaption(u.name);
                break;
            }
    }

    auto list = std::make_unique<MessageListView>(kMessagesRect, pageBitmap_, gui::kNoFrame);
    list->setBackOffset(onPage(kMessagesRect));
    list->setFont(gui::Font(gui::FontId::Small));
    list->setFontColor(gui::palette::darkBlue);
    list->setNewestColor(gui::palette::blue);
    list->setMouseEnabled(false);
    messageList_ = frame->add(std::move(list));

    // The news is downloaded on first demand: this may wait for the service.
    const char* news = c ? c->newsText() : nullptr;
    if (news && news[0]) {
        auto ticker = std::make_unique<NewsTicker>(kTickerRect, pageBitmap_, news);
        ticker->setBackOffset(onPage(kTickerRect));
        ticker->setStyle(gui::kNoFrame);
        ticker->setFont(gui::Font(gui::FontId::Normal));
        ticker->setFontColor(gui::palette::tickerText);
        newsTicker_ = frame->add(std::move(ticker));
    }
    addNewsPicture(0, kPicture1Box, kPicture1Tag);
    addNewsPicture(1, kPicture2Box, kPicture2Tag);
    refresh();
}

void ConnectPage::addNewsPicture(int index, const gui::Rect& box, long tag) {
    SessionController* c = controller();
    NewsPicture picture;
    if (!c || !c->newsPicture(index, picture)) return;
    gui::BitmapRef bitmap = pictureBitmap(picture);
    if (!bitmap) return;
    newsPictures_[index] = bitmap;
    // A smaller picture sits in the middle of its box; a larger one is cut
    // to it. The control covers only the picture, so it takes no clicks
    // meant for its neighbours.
    const int w = std::min(bitmap->width(), box.width());
    const int h = std::min(bitmap->height(), box.height());
    const int left = box.left + (box.width() - w) / 2;
    const int top = box.top + (box.height() - h) / 2;
    editor_.frame()->add(
        std::make_unique<ImageView>(gui::Rect(left, top, left + w, top + h), bitmap, gui::Point(0, 0), tag, this));
}

void ConnectPage::showPassword() {
    SessionController* c = controller();
    char text[SessionController::kTextBytes] = {};
    if (c) c->password(text);
    passwordField_->setSecret(std::strcmp(text, kNoPassword) != 0);
    passwordField_->setText(text);
}

void ConnectPage::refresh() {
    SessionController* c = controller();
    if (!c || !userField_) return;
    const bool loggedIn = c->loggedIn();
    if (loggedIn) {
        char name[SessionController::kTextBytes] = {};
        c->userName(name);
        userField_->setText(name);
        showPassword();
        if (c->onlineCount() == 0) usersMenu_->setCaption(kNobodyOnline);
    } else {
        usersMenu_->setCaption(kNotLoggedIn);
    }
    loginButton_->setValue(loggedIn ? 1.0f : 0.0f);
    bool ending = editor_.plugin().partner() != nullptr;
    if (!ending) {
        SessionRef first = c->sessionAt(0);
        ending = first && first->outgoing();
    }
    connectButton_->setValue(ending ? 1.0f : 0.0f);
    // An open menu shows the entries it has; they are rebuilt once it closed.
    if (!usersMenu_->popupOpen()) rebuildUsersMenu();
    reloadMessages();
}

void ConnectPage::rebuildUsersMenu() {
    SessionController* c = controller();
    usersMenu_->removeAllEntries();
    std::vector<OnlineUser> users;
    if (c->loggedIn()) {
        OnlineUser u;
        for (int i = 0; i < OnlineList::kMaxUsers && c->onlineUserAt(i, u); ++i) users.push_back(u);
    }
    if (users.empty()) return;

    // The caption stays while it names someone online; else it becomes the
    // first available partner, else the last user of the list.
    const std::string caption = usersMenu_->caption();
    bool keep = false;
    if (caption != kNotLoggedIn && caption != kNobodyOnline && !caption.empty())
        keep = std::any_of(users.begin(), users.end(), [&](const OnlineUser& u) { return caption == u.name; });
    if (!keep) {
        auto available = std::find_if(users.begin(), users.end(),
                                      [](const OnlineUser& u) { return u.partner && !u.connected; });
        usersMenu_->setCaption(available != users.end() ? available->name : users.back().name);
    }

    gui::Menu& main = usersMenu_->menu();
    std::unique_ptr<gui::Menu> nonPartners, alreadyConnected, doNotDisturb;
    for (const OnlineUser& u : users) {
        gui::Menu* holder = &main;
        if (u.connected && u.doNotDisturb) {
            if (!doNotDisturb) doNotDisturb = std::make_unique<gui::Menu>();
            holder = doNotDisturb.get();
        } else if (u.partner && u.connected) {
            if (!alreadyConnected) alreadyConnected = std::make_unique<gui::Menu>();
            holder = alreadyConnected.get();
        } else if (!u.partner) {
            if (!nonPartners) nonPartners = std::make_unique<gui::Menu>();
            holder = nonPartners.get();
        }
        const int at = holder->addText(u.name);
        if (usersMenu_->caption() == u.name) holder->setCurrent(at);
    }
    if (nonPartners) main.addSubmenu("Non Partners", std::move(nonPartners));
    if (alreadyConnected) main.addSubmenu("Already connected", std::move(alreadyConnected));
    if (doNotDisturb) main.addSubmenu("Please do not disturb", std::move(doNotDisturb));
    usersMenu_->invalid();
}

void ConnectPage::reloadMessages() {
    SessionController* c = controller();
    messageList_->clear();
    char line[MessageLog::kLineBytes];
    for (int k = kMessageLines - 1; k >= 0; --k)
        if (c->message(k, line)) messageList_->addLine(line);
}

void ConnectPage::idle() {
    SessionController* c = controller();
    if (!c || !userField_) return;
    if (focusPending_) {
        focusPending_ = false;
        if (!c->loggedIn()) {
            char name[SessionController::kTextBytes] = {};
            c->userName(name);
            gui::TextEdit* field = name[0] ? passwordField_ : userField_;
            if (editor_.frame()->focusView() != field) editor_.frame()->setFocusView(field);
        }
    }
    // Both the write index and the wrap count: 16 new lines between two
    // idle calls leave the index where it was.
    const MessageLog& log = c->messageLog();
    const long position = static_cast<long>(log.wrapCount()) * MessageLog::kLines + log.writeIndex();
    if (position != lastLogPosition_ && !usersMenu_->popupOpen()) {
        lastLogPosition_ = position;
        refresh();
    }
}

void ConnectPage::endFieldEdit() {
    gui::Frame* frame = editor_.frame();
    if (frame->focusView() == userField_ || frame->focusView() == passwordField_) frame->setFocusView(nullptr);
}

void ConnectPage::logIn() {
    SessionController* c = controller();
    if (c->loggedIn()) return;
    // Checks the name and password, posts what happens, and blocks this
    // thread for the service's replies.
    commands::loginOrLogout(*c);
}

void ConnectPage::loginButtonPressed() {
    // Whatever is being typed counts.
    endFieldEdit();
    commands::loginOrLogout(*controller());
}

void ConnectPage::inviteOrEnd() {
    endFieldEdit();
    SessionRef partner = editor_.plugin().partnerRef();
    commands::inviteOrEnd(*controller(), partner.get(), usersMenu_->caption().c_str());
}

int ConnectPage::onKeyDown(const gui::KeyEvent& key) {
    if (key.key != gui::Key::Return) return -1;
    SessionController* c = controller();
    if (!c || c->loggedIn()) return 1;
    char name[SessionController::kTextBytes] = {}, password[SessionController::kTextBytes] = {};
    c->userName(name);
    c->password(password);
    if (name[0] && password[0]) {
        logIn();
        refresh();
    }
    return 1;
}

void ConnectPage::valueChanged(gui::Control& control) {
    SessionController* c = controller();
    if (!c) return;
    switch (control.tag()) {
        case kUserTag:
            if (!c->loggedIn()) {
                c->setUserName(userField_->value().c_str());
                if (!userField_->value().empty()) {
                    focusPending_ = true;
                    // Tab goes on to the password at once.
                    if (userField_->endKey() == gui::Key::Tab) {
                        focusPending_ = false;
                        editor_.frame()->setFocusView(passwordField_);
                    }
                }
            }
            break;
        case kPasswordTag:
            if (!c->loggedIn()) {
                c->setPassword(passwordField_->value().c_str());
                showPassword();
                char name[SessionController::kTextBytes] = {};
                c->userName(name);
                // Only an edit ended with the keyboard logs in, not a click
                // elsewhere.
                if (!passwordField_->value().empty() && passwordField_->endKey() != gui::Key::None && name[0])
                    logIn();
            }
            break;
        case kLoginTag: loginButtonPressed(); break;
        case kUsersTag: {
            endFieldEdit();
            const gui::MenuEntry* chosen = usersMenu_->lastMenu()->entry(usersMenu_->lastIndex());
            usersMenu_->setCaption(chosen && usersMenu_->value() >= 0.0f ? chosen->title : kNothingSelected);
            break;
        }
        case kConnectTag: inviteOrEnd(); break;
        case kPicture1Tag:
        case kPicture2Tag:
            endFieldEdit();
            c->openWebPage(TRV_HOMEPAGE_URL);
            break;
        default:
            // A click on the page ends an edit, as leaving a field does.
            endFieldEdit();
            break;
    }
    refresh();
}

}  // namespace editor
