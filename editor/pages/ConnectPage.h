#pragma once
// Page 0 (Connect): user name and password, LogIn / LogOut, the users
// online menu, Invite / Disconnect, the controller's messages, the news
// line and the two news pictures. Every action is a direct call on the
// session controller on the editor's thread (login, logout and invite
// block it for their web requests); the page shows the outcome through the
// message log, which idle() watches.
#include <string>

#include "editor/EditorPage.h"
#include "gui/Bitmap.h"

namespace gui {
class OnOffButton;
class TextEdit;
}  // namespace gui

class SessionController;

namespace editor {

class CaptionOptionMenu;
class MessageListView;
class NewsTicker;

class ConnectPage : public EditorPage {
public:
    static constexpr long kUserTag = 10000;
    static constexpr long kPasswordTag = 10001;
    static constexpr long kLoginTag = 10002;
    static constexpr long kUsersTag = 10003;
    static constexpr long kConnectTag = 10004;
    static constexpr long kPicture1Tag = 10006;
    static constexpr long kPicture2Tag = 10007;

    static constexpr const char* kNotLoggedIn = "(Not Logged In)";
    static constexpr const char* kNobodyOnline = "(Nobody online)";
    static constexpr const char* kNothingSelected = "(Nothing selected)";
    static constexpr const char* kNoPassword = "(no passwd)";

    explicit ConnectPage(LinkEditor& editor);

    void open() override;
    void refresh() override;
    void idle() override;
    int onKeyDown(const gui::KeyEvent& key) override;
    void valueChanged(gui::Control& control) override;

    // For tests and the editor's owner: the page's controls.
    gui::TextEdit* userField() const { return userField_; }
    gui::TextEdit* passwordField() const { return passwordField_; }
    gui::OnOffButton* loginButton() const { return loginButton_; }
    gui::OnOffButton* connectButton() const { return connectButton_; }
    CaptionOptionMenu* usersMenu() const { return usersMenu_; }
    MessageListView* messageList() const { return messageList_; }
    NewsTicker* newsTicker() const { return newsTicker_; }

private:
    SessionController* controller() const;
    // Ends a field's edit that is under way (the field tells the page).
    void endFieldEdit();
    void showPassword();
    void logIn();
    void loginButtonPressed();
    void inviteOrEnd();
    void rebuildUsersMenu();
    void reloadMessages();
    void addNewsPicture(int index, const gui::Rect& box, long tag);

    gui::OnOffButton* loginButton_ = nullptr;
    gui::OnOffButton* connectButton_ = nullptr;
    gui::TextEdit* userField_ = nullptr;
    gui::TextEdit* passwordField_ = nullptr;
    CaptionOptionMenu* usersMenu_ = nullptr;
    MessageListView* messageList_ = nullptr;
    NewsTicker* newsTicker_ = nullptr;
    gui::BitmapRef pageBitmap_;
    gui::BitmapRef newsPictures_[2];
    // Write index and wrap count of the message log at the last refresh.
    long lastLogPosition_ = -1;
    bool focusPending_ = true;
};

}  // namespace editor
