#include "editor/pages/OptionsPage.h"

#include <cstdio>
#include <memory>

#include "editor/LinkEditor.h"
#include "editor/controls/GuardedControls.h"
#include "editor/controls/ImageView.h"
#include "editor/controls/ShadowLabel.h"
#include "gui/controls/TextEdit.h"
#include "resources/EditorBitmaps.h"
#include "trvcore/plugin/LinkPlugin.h"
#include "trvcore/session/PartnerSession.h"
#include "trvcore/session/SessionController.h"
#include "trvcore/session/SessionRef.h"
#include "trvcore/settings/RateTables.h"
#include "trvcore/files/FilePacing.h"
#include "trvcore/trvnetwork/ControlMessages.h"

namespace editor {

namespace {

constexpr int kBackgroundId = 160;
constexpr int kSyncBitmapId = 161;
constexpr int kRecordOffsetBitmapId = 162;
constexpr int kMonitorBitmapId = 163;

const char* const kPolicies[] = {"Anyone", "Partners only", "Anyone, but not when connected",
                                 "Partners, but not when connected"};
constexpr int kPolicyCount = static_cast<int>(sizeof kPolicies / sizeof kPolicies[0]);

const gui::Rect kLocalNameRect(152, 64, 284, 76);
const gui::Rect kPartnerNameRect(380, 64, 512, 76);
const gui::Rect kFpsRect(230, 112, 310, 124);
const gui::Rect kSyncRect(146, 165, 238, 182);
const gui::Rect kRecordOffsetRect(146, 222, 166, 241);
const gui::Rect kMonitorRect(287, 222, 307, 241);
const gui::Rect kPartnerRateRect(380, 85, 514, 97);
const gui::Rect kPartnerAudioRect(380, 113, 514, 125);

// The first step of a ladder at or above `value`; the last step above it.
int firstStepAtLeast(const int* ladder, int count, double value) {
    for (int i = 0; i < count; ++i)
        if (ladder[i] >= value) return i;
    return count - 1;
}

// Marks entry `i` as the menu's choice (value and check mark).
void choose(gui::OptionMenu& menu, int i) {
    if (i < 0) return;
    if (menu.value() == static_cast<float>(i) && menu.menu().current() == i) return;
    menu.setValue(static_cast<float>(i));
    menu.menu().setCurrent(i);
    menu.invalid();
}

std::string format(const char* pattern, int v) {
    char s[64];
    std::snprintf(s, sizeof s, pattern, v);
    return s;
}

}  // namespace

OptionsPage::OptionsPage(LinkEditor& editor) : EditorPage(editor), background_(resources::loadBitmap(kBackgroundId)) {}

SessionController* OptionsPage::controller() const { return editor_.plugin().controller(); }

int OptionsPage::effectiveFileSpeed(int upstream, int fileStep) {
    // What the sender's pacing gives the file: about 3/4 of its share.
    return static_cast<int>(computeFilePace(upstream, fileStep).fileShare * 0.75);
}

int OptionsPage::fileEntryCount(int upstream) {
    int count = 0;
    int previous = -1;
    for (int i = 0; i < rates::kFileCount && rates::kFile[i] <= upstream; ++i) {
        const int speed = effectiveFileSpeed(upstream, rates::kFile[i]);
        if (count > 0 && speed == previous) break;
        previous = speed;
        ++count;
    }
    return count;
}

GuardedOptionMenu* OptionsPage::addMenu(int x, int y, int w, long tag, bool policy) {
    const gui::Rect r(x + 1, y + 1, x + w - 1, y + 11);
    // The fields are painted in the page bitmap: no frame of its own.
    auto menu = std::make_unique<GuardedOptionMenu>(r, this, tag, background_,
                                                    gui::OptionMenu::kCheckStyle | gui::kNoFrame, &editor_);
    menu->setBackOffset(gui::Point(r.left, r.top - LinkEditor::kPageTop));
    menu->setFont(gui::Font(gui::FontId::Smaller));
    menu->setFontColor(gui::palette::darkBlue);
    menu->setAlign(gui::Align::Center);
    menu->setShadowColor(policy ? gui::palette::midGrey : gui::palette::white);
    return editor_.frame()->add(std::move(menu));
}

gui::TextEdit* OptionsPage::addDisplay(const gui::Rect& r) {
    auto text = std::make_unique<gui::TextEdit>(r, nullptr, 0, "", nullptr, gui::kTransparent | gui::kNoFrame);
    text->setEditable(false);
    text->setMouseEnabled(false);
    text->setFont(gui::Font(gui::FontId::Smaller));
    text->setFontColor(gui::palette::darkBlue);
    text->setAlign(gui::Align::Center);
    return editor_.frame()->add(std::move(text));
}

GuardedOnOffButton* OptionsPage::addButton(const gui::Rect& r, long tag, int bitmapId) {
    return editor_.frame()->add(
        std::make_unique<GuardedOnOffButton>(r, this, tag, resources::loadBitmap(bitmapId), &editor_));
}

void OptionsPage::open() {
    gui::Frame* frame = editor_.frame();
    frame->add(std::make_unique<ImageView>(
        gui::Rect(0, LinkEditor::kPageTop, LinkEditor::kWidth, LinkEditor::kPageBottom), background_,
        gui::Point(0, 0)));
    for (ShadowLabel** label : {&localName_, &partnerName_}) {
        const gui::Rect& r = label == &localName_ ? kLocalNameRect : kPartnerNameRect;
        auto made = std::make_unique<ShadowLabel>(r, background_, "");
        made->setBackOffset(gui::Point(r.left, r.top - LinkEditor::kPageTop));
        *label = frame->add(std::move(made));
    }
    upstreamMenu_ = addMenu(150, 85, 134, kUpstreamTag, false);
    audioMenu_ = addMenu(150, 113, 84, kAudioTag, false);
    fileMenu_ = addMenu(150, 141, 134, kFileTag, false);
    fpsText_ = addDisplay(kFpsRect);
    syncButton_ = addButton(kSyncRect, kSyncTag, kSyncBitmapId);
    recordOffsetBox_ = addButton(kRecordOffsetRect, kRecordOffsetTag, kRecordOffsetBitmapId);
    monitorBox_ = addButton(kMonitorRect, kMonitorTag, kMonitorBitmapId);
    policyMenu_ = addMenu(150, 196, 182, kPolicyTag, true);
    partnerRateText_ = addDisplay(kPartnerRateRect);
    partnerAudioText_ = addDisplay(kPartnerAudioRect);

    for (int i = 0; i < rates::kUpstreamCount; ++i) upstreamMenu_->menu().add(format("%d kBit / sec", rates::kUpstream[i]));
    for (int i = 0; i < kPolicyCount; ++i) policyMenu_->menu().add(kPolicies[i]);
    menusDirty_ = true;
    refresh();
}

int OptionsPage::currentAudioIndex(const Settings& s) const {
    const int rate = s.audioRateFor(s.upstreamRate(), s.audioQuality(), false);
    const int i = firstStepAtLeast(rates::kAudio, rates::kAudioCount, rate);
    const int count = audioMenu_->menu().count();
    return i < count ? i : count - 1;
}

int OptionsPage::currentFileIndex(const Settings& s) const {
    // Every step past the last entry gives that entry's speed.
    const int i = firstStepAtLeast(rates::kFile, rates::kFileCount, s.fileRate());
    const int count = fileMenu_->menu().count();
    return i < count ? i : count - 1;
}

void OptionsPage::buildAudioMenu(const Settings& s) {
    gui::Menu& m = audioMenu_->menu();
    m.clear();
    const int largest = s.audioRateFor(s.upstreamRate(), 1.0f, true);
    const bool limited = (s.accountFlags() & rates::kAccountAudioLimitFlag) != 0;
    char entry[96];
    for (int i = 0; i < rates::kAudioCount && rates::kAudio[i] <= largest; ++i) {
        const int r = rates::kAudio[i];
        if (limited && r > rates::kLimitedAudioRate) std::snprintf(entry, sizeof entry, "-G%d kBit / s %s", r, kStudioOnly);
        else std::snprintf(entry, sizeof entry, "%d kBit / s", r);
        m.add(entry);
    }
    choose(*audioMenu_, currentAudioIndex(s));
    audioMenu_->invalid();
}

void OptionsPage::buildFileMenu(const Settings& s) {
    gui::Menu& m = fileMenu_->menu();
    m.clear();
    const int upstream = static_cast<int>(s.upstreamRate());
    const int count = fileEntryCount(upstream);
    for (int i = 0; i < count; ++i) m.add(format("%d kBit / sec", effectiveFileSpeed(upstream, rates::kFile[i])));
    choose(*fileMenu_, currentFileIndex(s));
    fileMenu_->invalid();
}

void OptionsPage::refresh() {
    SessionController* c = controller();
    if (!c || !upstreamMenu_) return;
    const Settings& s = c->settings();
    choose(*upstreamMenu_, firstStepAtLeast(rates::kUpstream, rates::kUpstreamCount, s.upstreamRate()));
    if (menusDirty_) {
        builtUpstream_ = static_cast<int>(s.upstreamRate());
        builtAudio_ = static_cast<int>(s.audioRate());
        builtFile_ = s.fileRate();
        builtFlags_ = s.accountFlags();
        menusDirty_ = false;
        buildAudioMenu(s);
        buildFileMenu(s);
    }
    choose(*audioMenu_, currentAudioIndex(s));
    choose(*fileMenu_, currentFileIndex(s));

    SessionRef partner = editor_.plugin().partnerRef();
    fpsText_->setText(format("%3d fps", partner ? partner->connection().frameRate() : 1));
    syncButton_->setValue(editor_.plugin().isSyncSource() ? 1.0f : 0.0f);
    recordOffsetBox_->setValue(editor_.plugin().compensateRecordOffset() ? 1.0f : 0.0f);
    monitorBox_->setValue(s.monitorMode() ? 1.0f : 0.0f);
    choose(*policyMenu_, s.invitationPolicy());
    showNames();
}

void OptionsPage::showNames() {
    char name[SessionController::kTextBytes];
    controller()->userName(name);
    localName_->setLabel(name);
    SessionRef partner = editor_.plugin().partnerRef();
    partnerName_->setLabel(partner ? partner->partnerName() : kNotConnected);
}

void OptionsPage::idle() {
    SessionController* c = controller();
    if (!c || !upstreamMenu_) return;
    const Settings& s = c->settings();
    // The audio menu's greyed entries follow the account as well as the rates.
    if (static_cast<int>(s.upstreamRate()) != builtUpstream_ || s.fileRate() != builtFile_ ||
        static_cast<int>(s.audioRate()) != builtAudio_ || s.accountFlags() != builtFlags_)
        menusDirty_ = true;
    refresh();
    showPartnerRates();
}

void OptionsPage::showPartnerRates() {
    SessionRef partner = editor_.plugin().partnerRef();
    if (!partner) {
        partnerRateText_->setText("");
        partnerAudioText_->setText("");
        return;
    }
    uint8_t bytes[PartnerSession::kStatusReportBytes];
    StatusReportFields f;
    if (!partner->lastStatusReport(bytes) || !parseStatusReport(MessageBytes(bytes, sizeof bytes), f) || f.scale == 0)
        return;
    const int upstream = f.upstreamRate / f.scale;
    if (upstream <= rates::kUpstreamMax) partnerRateText_->setText(format("%d kBit / sec", upstream));
    const int audio = controller()->settings().audioRateFor(upstream, static_cast<float>(f.audioShare) * 0.01f, true);
    char text[64];
    std::snprintf(text, sizeof text, "Audio %d kBs, %d fps", audio, static_cast<int>(f.videoFrameRate));
    partnerAudioText_->setText(text);
}

void OptionsPage::valueChanged(gui::Control& control) {
    SessionController* c = controller();
    if (!c) return;
    Settings& s = c->settings();
    LinkPlugin& plugin = editor_.plugin();
    const int v = static_cast<int>(control.value());
    const int upstream = static_cast<int>(s.upstreamRate());
    switch (control.tag()) {
        case kSyncTag: plugin.setSyncSource(!plugin.isSyncSource()); break;
        case kUpstreamTag: {
            const int i = v < 0 ? 0 : (v >= rates::kUpstreamCount ? rates::kUpstreamCount - 1 : v);
            s.setUpstreamRate(rates::kUpstream[i]);
            s.setAudioQuality(rates::kUpstreamShare[i]);
            break;
        }
        case kAudioTag: {
            const gui::MenuEntry* e = audioMenu_->menu().entry(v);
            if (e && !e->greyed && v < rates::kAudioCount && rates::kAudio[v] < upstream)
                s.setAudioQuality(Settings::qualityFor(s.upstreamRate(), rates::kAudio[v]));
            break;
        }
        case kFileTag:
            if (v >= 0 && v < rates::kFileCount && upstream >= rates::kFile[v]) s.setFileRate(rates::kFile[v]);
            break;
        case kPolicyTag: s.setInvitationPolicy(v); break;
        case kRecordOffsetTag: plugin.setCompensateRecordOffset(!plugin.compensateRecordOffset()); break;
        case kMonitorTag: s.setMonitorMode(!s.monitorMode()); break;
        default: return;
    }
    menusDirty_ = true;
    refresh();
    editor_.frame()->invalidateAll();
}

}  // namespace editor
