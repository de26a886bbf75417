#pragma once
// The Options page (page 2): the upstream, audio and file rates, who may
// invite, and the switches for sync source, record-offset compensation and
// monitor mode; on the right what the partner reported about its rates.
//
// Every choice is a call on the controller's settings or on the plug-in;
// the page then shows what the core made of it. The audio and file menus
// depend on the upstream rate (and the account), so they are rebuilt
// whenever one of those changes, whoever changed it (a file transfer's
// pacing lowers the rates for a while).
#include <string>

#include "editor/EditorPage.h"
#include "gui/Bitmap.h"

namespace gui {
class TextEdit;
}  // namespace gui

class SessionController;
class Settings;

namespace editor {

class GuardedOnOffButton;
class GuardedOptionMenu;
class ShadowLabel;

class OptionsPage : public EditorPage {
public:
    static constexpr long kSyncTag = 10000;
    static constexpr long kUpstreamTag = 10001;
    static constexpr long kAudioTag = 10002;
    static constexpr long kFileTag = 10003;
    static constexpr long kPolicyTag = 10004;
    static constexpr long kRecordOffsetTag = 10005;
    static constexpr long kMonitorTag = 10006;
    static constexpr const char* kNotConnected = "(Not connected)";
    static constexpr const char* kStudioOnly = "(Studio account only!)";

    explicit OptionsPage(LinkEditor& editor);

    void open() override;
    void refresh() override;
    void idle() override;
    void valueChanged(gui::Control& control) override;

    // File speed (kbit/s) a file rate step gives at an upstream rate: what
    // is left of the upstream beside at least 64 for the media, at least
    // 32, paced at three quarters.
    static int effectiveFileSpeed(int upstream, int fileStep);
    // Entries of the file menu at an upstream rate: the file steps up to
    // the upstream, ending before the first that gives no more speed than
    // the one before.
    static int fileEntryCount(int upstream);

    // The controls, for tests.
    GuardedOptionMenu* upstreamMenu() const { return upstreamMenu_; }
    GuardedOptionMenu* audioMenu() const { return audioMenu_; }
    GuardedOptionMenu* fileMenu() const { return fileMenu_; }
    GuardedOptionMenu* policyMenu() const { return policyMenu_; }
    GuardedOnOffButton* syncButton() const { return syncButton_; }
    GuardedOnOffButton* recordOffsetBox() const { return recordOffsetBox_; }
    GuardedOnOffButton* monitorBox() const { return monitorBox_; }
    ShadowLabel* localName() const { return localName_; }
    ShadowLabel* partnerName() const { return partnerName_; }
    gui::TextEdit* fpsText() const { return fpsText_; }
    gui::TextEdit* partnerRateText() const { return partnerRateText_; }
    gui::TextEdit* partnerAudioText() const { return partnerAudioText_; }

private:
    SessionController* controller() const;
    GuardedOptionMenu* addMenu(int x, int y, int w, long tag, bool policy);
    gui::TextEdit* addDisplay(const gui::Rect& r);
    GuardedOnOffButton* addButton(const gui::Rect& r, long tag, int bitmapId);
    void buildAudioMenu(const Settings& s);
    void buildFileMenu(const Settings& s);
    // The audio rate the menu marks: what the current share gives.
    int currentAudioIndex(const Settings& s) const;
    int currentFileIndex(const Settings& s) const;
    void showNames();
    void showPartnerRates();

    gui::BitmapRef background_;
    ShadowLabel* localName_ = nullptr;
    ShadowLabel* partnerName_ = nullptr;
    GuardedOptionMenu* upstreamMenu_ = nullptr;
    GuardedOptionMenu* audioMenu_ = nullptr;
    GuardedOptionMenu* fileMenu_ = nullptr;
    gui::TextEdit* fpsText_ = nullptr;
    GuardedOnOffButton* syncButton_ = nullptr;
    GuardedOnOffButton* recordOffsetBox_ = nullptr;
    GuardedOnOffButton* monitorBox_ = nullptr;
    GuardedOptionMenu* policyMenu_ = nullptr;
    gui::TextEdit* partnerRateText_ = nullptr;
    gui::TextEdit* partnerAudioText_ = nullptr;
    bool menusDirty_ = true;
    // What the audio and file menus were built for.
    int builtUpstream_ = 0;
    int builtAudio_ = 0;
    int builtFile_ = 0;
    int builtFlags_ = 0;
};

}  // namespace editor
