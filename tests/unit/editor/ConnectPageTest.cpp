// The Connect page in an offscreen editor against a stand-in web service
// on loopback: logging in from the fields, the users online menu and its
// submenus, inviting the chosen user, the message list, and the checks of
// the name and password.
#include <gtest/gtest.h>

#include <string>

#include "editor/LinkEditor.h"
#include "editor/controls/MessageListView.h"
#include "editor/controls/ShadowLabel.h"
#include "editor/pages/ConnectPage.h"
#include "gui/controls/MenuPopup.h"
#include "gui/controls/OnOffButton.h"
#include "gui/controls/TextEdit.h"
#include "platform/NetConfig.h"
#include "support/FakeHost.h"
#include "support/TempSettings.h"
#include "tests/support/ActionService.h"
#include "tests/unit/session/SessionTestSupport.h"
#include "trvcore/plugin/LinkPlugin.h"
#include "trvcore/session/SessionController.h"

using namespace editor;
using sessiontest::eventually;

namespace {

gui::MouseEvent click(gui::Point p) { return gui::MouseEvent{p, gui::kLeftButton, 0}; }
gui::Point centre(const gui::Rect& r) { return gui::Point((r.left + r.right) / 2, (r.top + r.bottom) / 2); }

class ConnectPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(service.port(), 0);
        platform::setServiceOverride("127.0.0.1", service.port());
        platform::setLocalAddress(sessiontest::freeLoopbackAddress());
        effect = host.create();
        ASSERT_NE(effect, nullptr);
        plugin = static_cast<LinkPlugin*>(static_cast<AudioEffect*>(effect->object));
        c = plugin->controller();
        editor.reset(new LinkEditor(plugin));
        ASSERT_TRUE(editor->open(nullptr));
        page = dynamic_cast<ConnectPage*>(currentPage());
        ASSERT_NE(page, nullptr);
    }
    void TearDown() override {
        if (c) c->logout();
        editor.reset();
        if (effect) host.close(effect);
        platform::setLocalAddress("127.0.0.254");
        platform::setServiceOverride("", 0);
    }
    // The page is the listener of the user name field.
    EditorPage* currentPage() {
        for (size_t i = 0; i < editor->frame()->childCount(); ++i)
            if (auto* f = dynamic_cast<gui::TextEdit*>(editor->frame()->childAt(i)))
                if (f->tag() == ConnectPage::kUserTag) return dynamic_cast<EditorPage*>(f->listener());
        return nullptr;
    }
    void type(const std::string& text) {
        for (char ch : text) editor->keyDown(gui::KeyEvent{gui::Key::None, static_cast<char32_t>(ch), false});
    }
    void key(gui::Key k) { editor->keyDown(gui::KeyEvent{k, 0, false}); }
    std::string newest() {
        char line[MessageLog::kLineBytes] = {};
        c->message(0, line);
        return line;
    }
    std::string password() {
        char text[SessionController::kTextBytes] = {};
        c->password(text);
        return text;
    }
    // Opens the users menu and chooses entry `i` of the main menu, or of
    // the submenu at main entry `sub`.
    void choose(int i, int sub = -1) {
        editor->frame()->mouseDown(click(centre(page->usersMenu()->size())));
        auto* popup = dynamic_cast<gui::MenuPopup*>(editor->frame()->modalView());
        ASSERT_NE(popup, nullptr);
        if (sub >= 0) {
            editor->frame()->mouseDown(click(centre(popup->entryRect(0, sub))));
            ASSERT_EQ(popup->columns().size(), 2u);
            editor->frame()->mouseDown(click(centre(popup->entryRect(1, i))));
        } else {
            editor->frame()->mouseDown(click(centre(popup->entryRect(0, i))));
        }
        EXPECT_EQ(editor->frame()->modalView(), nullptr);
    }
    std::string title(const gui::Menu& m, int i) { return m.entry(i) ? m.entry(i)->title : "<none>"; }

    TempSettings settings;
    ActionService service;
    FakeHost host;
    AEffect* effect = nullptr;
    LinkPlugin* plugin = nullptr;
    SessionController* c = nullptr;
    std::unique_ptr<LinkEditor> editor;
    ConnectPage* page = nullptr;
};

}  // namespace

TEST_F(ConnectPageTest, TypedNameAndPasswordLogInAndTheChosenUserIsInvited) {
    service.setUsers({{"me", "192.0.2.1", 2},
                      {"bert", "192.0.2.2", 3},     // partner, connected
                      {"anna", "192.0.2.3", 2},     // partner, available
                      {"cleo", "192.0.2.4", 0},     // no partner
                      {"dora", "192.0.2.5", 7},     // partner, connected, do not disturb
                      {"-Geve", "192.0.2.6", 2}});  // a name that looks like a menu prefix
    EXPECT_EQ(page->usersMenu()->caption(), ConnectPage::kNotLoggedIn);

    // The first idle puts the caret in the empty user name field; Tab goes
    // on to the password.
    editor->idle();
    EXPECT_EQ(editor->frame()->focusView(), page->userField());
    type("me");
    key(gui::Key::Tab);
    EXPECT_EQ(editor->frame()->focusView(), page->passwordField());
    type("secret");
    EXPECT_EQ(page->passwordField()->text(), "******");
    // Leaving the field with a click stores the password but does not log in.
    editor->frame()->mouseDown(click(gui::Point(200, 320)));
    EXPECT_EQ(password(), "secret");
    EXPECT_FALSE(c->loggedIn());
    EXPECT_EQ(service.requests("login"), 0);
    // Editing again starts from the password, not from the stars shown.
    editor->frame()->mouseDown(click(centre(page->passwordField()->size())));
    key(gui::Key::Return);
    EXPECT_EQ(password(), "secret");
    ASSERT_TRUE(c->loggedIn());
    EXPECT_EQ(service.requests("login"), 1);
    EXPECT_EQ(newest(), "Welcome. You are logged in to the Tarvonet.");
    EXPECT_EQ(page->loginButton()->value(), 1.0f);

    // The message list shows the log, oldest first, the newest at the bottom.
    const MessageListView* list = page->messageList();
    const int rows = list->visibleLines();
    ASSERT_EQ(rows, 5);
    for (int row = 0; row < rows; ++row) {
        char line[MessageLog::kLineBytes] = {};
        ASSERT_TRUE(c->message(rows - 1 - row, line));
        ASSERT_NE(list->rowText(row), nullptr);
        EXPECT_EQ(*list->rowText(row), line) << "row " << row;
    }

    // Available partners in the main menu, the rest in submenus in a fixed
    // order; the caption is the first available partner.
    const gui::Menu& menu = page->usersMenu()->menu();
    ASSERT_EQ(menu.count(), 5);
    EXPECT_EQ(title(menu, 0), "anna");
    EXPECT_EQ(title(menu, 1), "-Geve");
    EXPECT_FALSE(menu.entry(1)->greyed);
    EXPECT_EQ(title(menu, 2), "Non Partners");
    EXPECT_EQ(title(*menu.entry(2)->submenu, 0), "cleo");
    EXPECT_EQ(title(menu, 3), "Already connected");
    EXPECT_EQ(title(*menu.entry(3)->submenu, 0), "bert");
    EXPECT_EQ(title(menu, 4), "Please do not disturb");
    EXPECT_EQ(title(*menu.entry(4)->submenu, 0), "dora");
    EXPECT_EQ(page->usersMenu()->caption(), "anna");
    EXPECT_EQ(menu.current(), 0);

    // A user who does not want to be disturbed is not invited.
    choose(0, 4);
    EXPECT_EQ(page->usersMenu()->caption(), "dora");
    editor->frame()->mouseDown(click(centre(page->connectButton()->size())));
    EXPECT_EQ(newest(), "Sorry, dora does not want to be disturbed.");
    EXPECT_EQ(c->sessionCount(), 0);

    // A new line in the log rebuilds the menu; the chosen caption stays.
    c->postMessage("tick");
    editor->idle();
    EXPECT_EQ(page->usersMenu()->caption(), "dora");
    EXPECT_EQ(*list->rowText(rows - 1), "tick");

    choose(1);
    EXPECT_EQ(page->usersMenu()->caption(), "-Geve");
    editor->frame()->mouseDown(click(centre(page->connectButton()->size())));
    EXPECT_GE(service.requests("invite"), 1);
    ASSERT_EQ(c->sessionCount(), 1);
    SessionRef s = c->sessionAt(0);
    EXPECT_TRUE(s->outgoing());
    EXPECT_STREQ(s->partnerName(), "-Geve");
    EXPECT_EQ(page->connectButton()->value(), 1.0f) << "shows Disconnect while inviting";
    // Pressed again it withdraws the invitation.
    editor->frame()->mouseDown(click(centre(page->connectButton()->size())));
    EXPECT_TRUE(eventually([&] { return c->sessionCount() == 0; }));
}

TEST_F(ConnectPageTest, LogInRefusesAMissingNameOrPasswordWithoutAskingTheService) {
    editor->idle();
    type("(no user)");
    key(gui::Key::Tab);
    type("pw");
    editor->frame()->mouseDown(click(centre(page->loginButton()->size())));
    EXPECT_EQ(newest(), "** No User Name **");
    EXPECT_EQ(page->loginButton()->value(), 0.0f) << "the button follows the login, not the click";

    editor->frame()->mouseDown(click(centre(page->userField()->size())));
    for (int i = 0; i < 9; ++i) key(gui::Key::Backspace);
    type("me");
    editor->frame()->mouseDown(click(centre(page->passwordField()->size())));
    key(gui::Key::Backspace);
    key(gui::Key::Backspace);
    editor->frame()->mouseDown(click(centre(page->loginButton()->size())));
    EXPECT_EQ(newest(), "** No Password **");
    EXPECT_EQ(service.requests("login"), 0);
    EXPECT_FALSE(c->loggedIn());

    // Logged out with nobody else online: an empty menu saying so.
    service.setUsers({{"me", "192.0.2.1", 2}});
    c->setPassword("pw");
    editor->idle();
    key(gui::Key::Escape);
    EXPECT_EQ(editor->keyDown(gui::KeyEvent{gui::Key::Return, 0, false}), 1);
    ASSERT_TRUE(c->loggedIn());
    EXPECT_EQ(page->usersMenu()->menu().count(), 0);
    EXPECT_EQ(page->usersMenu()->caption(), ConnectPage::kNobodyOnline);
    editor->frame()->mouseDown(click(centre(page->loginButton()->size())));
    EXPECT_FALSE(c->loggedIn());
    EXPECT_EQ(newest(), "Logged out.");
    EXPECT_EQ(page->usersMenu()->caption(), ConnectPage::kNotLoggedIn);
}
