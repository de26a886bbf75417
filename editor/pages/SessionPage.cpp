#include "editor/pages/SessionPage.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <memory>

#include "editor/LinkEditor.h"
#include "editor/controls/ActivityLed.h"
#include "editor/controls/GuardedControls.h"
#include "editor/controls/ImageView.h"
#include "editor/controls/ModalPopup.h"
#include "editor/controls/MovieControls.h"
#include "editor/controls/ProgressMeter.h"
#include "editor/pages/VideoPane.h"
#include "gui/controls/MovieBitmap.h"
#include "gui/controls/TextEdit.h"
#include "platform/Clock.h"
#include "resources/EditorBitmaps.h"
#include "trvcore/plugin/LinkPlugin.h"
#include "trvcore/session/SessionController.h"
#include "trvcore/trvnetwork/PeerLink.h"
#include "vst/VstAbi.h"

namespace editor {

namespace {

constexpr int kBackgroundId = 140;
constexpr int kMuteOnPlayBitmapId = 141;
constexpr int kThruBitmapId = 142;
constexpr int kSendBitmapId = 143;
constexpr int kReceiveBitmapId = 144;
constexpr int kTransportBitmapId = 145;
constexpr int kSendFileBitmapId = 146;
constexpr int kProgressOffBitmapId = 147;
constexpr int kProgressOnBitmapId = 149;
constexpr int kLoopBitmapId = 150;
constexpr int kFillBitmapId = 156;
constexpr int kLedBitmapId = 158;
constexpr int kProgressSteps = 33;

constexpr uint32_t kPlaying = kVstTransportPlaying;
constexpr uint32_t kLoopActive = kVstTransportCycleActive;
constexpr uint32_t kRecording = kVstTransportRecording;

const gui::Rect kLocalNameRect(47, 50, 237, 62);
const gui::Rect kLocalVideoRect(55, 76, 231, 220);
const gui::Rect kLocalLedRect(38, 56, 49, 67);
const gui::Rect kSendRect(277, 74, 346, 96);
const gui::Rect kReceiveRect(277, 174, 346, 196);
const gui::Rect kSendStatusRect(254, 105, 366, 117);
const gui::Rect kReceiveStatusRect(254, 202, 366, 214);
const gui::Rect kMuteOnPlayRect(102, 259, 178, 277);
const gui::Rect kThruRect(102, 240, 178, 258);
const gui::Rect kSendFileRect(274, 273, 341, 290);
const gui::Rect kProgressRect(274, 294, 341, 306);
const gui::Rect kPartnerNameRect(381, 50, 571, 62);
const gui::Rect kPartnerVideoRect(386, 76, 562, 220);
const gui::Rect kPartnerLedRect(569, 56, 580, 67);
const gui::Rect kTransportRect(393, 242, 429, 279);
const gui::Rect kFillRect(393, 281, 427, 317);
const gui::Rect kLoopRect(481, 259, 505, 276);
const gui::Rect kPositionRect(432, 240, 555, 257);
const gui::Rect kLoopStartRect(432, 259, 481, 276);
const gui::Rect kLoopEndRect(505, 259, 555, 276);
const gui::Rect kTempoRect(432, 278, 505, 295);
const gui::Rect kSignatureRect(505, 278, 555, 295);
const gui::Rect kSampleRateRect(432, 299, 555, 316);

const char* const kNoRate = "0 kBit 0 fps";

// Values from the partner may be anything: a buffer long enough for any
// double in %f (the value boxes take at most 255 characters).
std::string format(const char* pattern, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
std::string format(const char* pattern, ...) {
    char text[512];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}

// The page bitmap's point under a control's top-left corner.
gui::Point pageOffset(const gui::Rect& r) { return gui::Point(r.left, r.top - LinkEditor::kPageTop); }

// A whole part that fits an int (0 for what is not a number).
int wholePart(double v) {
    if (!(v == v)) return 0;
    if (v > 2e9) return 2000000000;
    if (v < -2e9) return -2000000000;
    return static_cast<int>(v);
}

float fraction(uint64_t done, uint64_t total) {
    if (total == 0) return 0.0f;
    const double f = static_cast<double>(done) / static_cast<double>(total);
    return static_cast<float>(f > 1.0 ? 1.0 : f);
}

bool sameTransport(const SyncInfoFields& a, const SyncInfoFields& b) {
    return a.sampleRate == b.sampleRate && a.tempo == b.tempo && a.cycleStart == b.cycleStart &&
           a.cycleEnd == b.cycleEnd && a.timeSignatureNumerator == b.timeSignatureNumerator &&
           a.timeSignatureDenominator == b.timeSignatureDenominator && a.transportFlags == b.transportFlags;
}

}  // namespace

SessionPage::SessionPage(LinkEditor& editor) : EditorPage(editor), background_(resources::loadBitmap(kBackgroundId)) {}

SessionPage::~SessionPage() = default;

// ---- Texts ------------------------------------------------------------------

std::string SessionPage::positionText(double q, int numerator, int denominator) {
    if (q == 0.0) return "1.1.0";
    double beat = 1.0;
    switch (denominator) {
        case 2: beat = 2.0; break;
        case 8: beat = 0.5; break;
        case 16: beat = 0.25; break;
        case 32: beat = 0.125; break;
        case 64: beat = 0.0625; break;
        default: break;
    }
    // A partner's signature of 0 beats a bar is no bar length to divide by.
    const double barLength = beat * (numerator > 0 ? numerator : 4);
    const int bar = wholePart(q / barLength);
    const int beatInBar = wholePart((q - barLength * bar) / beat);
    return format("%4d.%2d", bar + 1, beatInBar + 1);
}

std::string SessionPage::tempoText(double tempo) { return format("%3.2f", tempo); }

std::string SessionPage::signatureText(int numerator, int denominator) {
    return format("%2d / %2d", numerator, denominator);
}

std::string SessionPage::sampleRateText(double shown, double local) {
    if (shown != local) return format("RATE MISMATCH: %3.1f", shown / 1000.0);
    if (shown == 44100.0 || shown == 88200.0 || shown == 176400.0) return format("Sample Rate: %3.1f", shown / 1000.0);
    return format("Sample Rate: %6.0f", shown);
}

std::string SessionPage::rateText(double bitsPerSecond, int framesPerSecond) {
    double v = bitsPerSecond * 0.001;
    const char* unit = "kBit";
    if (v > 1000.0) {
        v *= 0.001;
        unit = "MBit";
    }
    return format("%3d %s/sec  %2d fps", wholePart(std::floor(v + 0.5)), unit, framesPerSecond);
}

// ---- Building ---------------------------------------------------------------

gui::TextEdit* SessionPage::addDisplay(const gui::Rect& r, const std::string& text, bool name) {
    auto display = std::make_unique<gui::TextEdit>(r, this, 0, text, background_, gui::kNoFrame);
    display->setBackOffset(pageOffset(r));
    display->setEditable(false);
    display->setMouseEnabled(false);
    display->setAlign(gui::Align::Center);
    if (name) {
        display->setFont(gui::Font(gui::FontId::Normal, true));
        display->setFontColor(gui::palette::darkGreen);
    } else {
        display->setFont(gui::Font(gui::FontId::Smaller));
        display->setFontColor(gui::palette::darkBlue);
    }
    return editor_.frame()->add(std::move(display));
}

GuardedOnOffButton* SessionPage::addButton(const gui::Rect& r, long tag, int bitmapId) {
    return editor_.frame()->add(
        std::make_unique<GuardedOnOffButton>(r, this, tag, resources::loadBitmap(bitmapId), &editor_));
}

LabelledMovieBitmap* SessionPage::addBox(const gui::Rect& r, int bitmapId, const char* text) {
    auto box = std::make_unique<LabelledMovieBitmap>(r, resources::loadBitmap(bitmapId));
    box->setFont(gui::Font(gui::FontId::Smaller));
    box->setFontColor(gui::palette::darkBlue);
    box->setLabel(text);
    return editor_.frame()->add(std::move(box));
}

void SessionPage::addLocalPane() {
    auto pane = std::make_unique<VideoPane>(kLocalVideoRect, background_, kLocalVideoTag, this);
    pane->setBackOffset(pageOffset(kLocalVideoRect));
    localVideo_ = editor_.frame()->add(std::move(pane));
    if (SessionController* c = editor_.plugin().controller()) localVideo_->update(c->videoCapture());
}

void SessionPage::addPartnerPane() {
    if (!shownPartner_) return;
    auto pane = std::make_unique<VideoPane>(kPartnerVideoRect, background_, kPartnerVideoTag, this);
    pane->setBackOffset(pageOffset(kPartnerVideoRect));
    partnerVideo_ = editor_.frame()->add(std::move(pane));
    partnerVideo_->update(shownPartner_->videoReceiver());
}

void SessionPage::removePanes() {
    if (localVideo_) editor_.frame()->removeView(localVideo_);
    if (partnerVideo_) editor_.frame()->removeView(partnerVideo_);
    localVideo_ = nullptr;
    partnerVideo_ = nullptr;
}

void SessionPage::open() {
    gui::Frame* frame = editor_.frame();
    SessionController* c = editor_.plugin().controller();
    SessionRef p = editor_.plugin().partnerRef();

    frame->add(std::make_unique<ImageView>(
        gui::Rect(0, LinkEditor::kPageTop, LinkEditor::kWidth, LinkEditor::kPageBottom), background_,
        gui::Point(0, 0)));
    char name[SessionController::kTextBytes] = {};
    if (c) c->userName(name);
    localName_ = addDisplay(kLocalNameRect, name, true);
    addLocalPane();
    localLed_ = frame->add(std::make_unique<ActivityLed>(kLocalLedRect, resources::loadBitmap(kLedBitmapId)));
    localLed_->setMouseEnabled(false);
    sendButton_ = addButton(kSendRect, kSendTag, kSendBitmapId);
    receiveButton_ = addButton(kReceiveRect, kReceiveTag, kReceiveBitmapId);
    sendStatus_ = addDisplay(kSendStatusRect, kNoRate, false);
    receiveStatus_ = addDisplay(kReceiveStatusRect, kNoRate, false);
    muteOnPlayButton_ = addButton(kMuteOnPlayRect, kMuteOnPlayTag, kMuteOnPlayBitmapId);
    thruButton_ = addButton(kThruRect, kThruTag, kThruBitmapId);
    sendFileButton_ = addButton(kSendFileRect, kSendFileTag, kSendFileBitmapId);
    progress_ = frame->add(std::make_unique<ProgressMeter>(kProgressRect, resources::loadBitmap(kProgressOnBitmapId),
                                                           resources::loadBitmap(kProgressOffBitmapId),
                                                           kProgressSteps));
    partnerName_ = addDisplay(kPartnerNameRect, p ? p->partnerName() : kNoPartnerYet, true);
    if (p) {
        shownPartner_ = p;
        addPartnerPane();
    }
    partnerLed_ = frame->add(std::make_unique<ActivityLed>(kPartnerLedRect, resources::loadBitmap(kLedBitmapId)));
    partnerLed_->setMouseEnabled(false);
    transport_ = frame->add(
        std::make_unique<ClickMovieBitmap>(kTransportRect, this, kTransportTag, resources::loadBitmap(kTransportBitmapId)));
    bufferFill_ = frame->add(
        std::make_unique<gui::MovieBitmap>(kFillRect, nullptr, 0, resources::loadBitmap(kFillBitmapId)));
    bufferFill_->setMouseEnabled(false);
    loop_ = frame->add(std::make_unique<gui::MovieBitmap>(kLoopRect, nullptr, 0, resources::loadBitmap(kLoopBitmapId)));
    loop_->setMouseEnabled(false);
    position_ = addBox(kPositionRect, 154, "    1. 1. 1.  0");
    loopStart_ = addBox(kLoopStartRect, 151, "1.1");
    loopEnd_ = addBox(kLoopEndRect, 152, "1.1");
    tempo_ = addBox(kTempoRect, 155, "120.0");
    signature_ = addBox(kSignatureRect, 153, "4 / 4");
    sampleRate_ = addBox(kSampleRateRect, 157, "Sample Rate: 48 kHz");
    refresh();
}

void SessionPage::close() {
    // The controls went with the frame's views.
    abortPopup_ = nullptr;
    localVideo_ = nullptr;
    partnerVideo_ = nullptr;
    shownPartner_.reset();
    background_.reset();
}

// ---- What is shown ----------------------------------------------------------

void SessionPage::localTransport(SyncInfoFields& f, double* samplePosition) const {
    VstTimeInfo t{};
    if (SessionController* c = editor_.plugin().controller()) c->copyTimeInfo(t);
    if (samplePosition) *samplePosition = t.samplePos;
    SessionController::syncFieldsFrom(t, f);
}

void SessionPage::showTransport(bool force) {
    if (!position_) return;
    SyncInfoFields local;
    localTransport(local, nullptr);
    SyncInfoFields shown = local;
    SessionRef p = editor_.plugin().partnerRef();
    // Until the partner has told its transport, the boxes show the local one.
    const bool partner = p && p->partnerTransport(shown);
    if (!partner) shown = local;

    const int n = shown.timeSignatureNumerator;
    const int d = shown.timeSignatureDenominator;
    const bool bothPlaying = (shown.transportFlags & kPlaying) && (local.transportFlags & kPlaying);
    const double at = partner && !bothPlaying ? shown.ppqPosition : local.ppqPosition;
    position_->setLabel(positionText(at, n, d));
    position_->setValue(at != local.ppqPosition ? 1.0f : 0.0f);

    if (!force && boxesShown_ && partner == havePartnerTransport_ && sameTransport(shown, shown_) &&
        sameTransport(local, local_))
        return;
    boxesShown_ = true;
    havePartnerTransport_ = partner;
    shown_ = shown;
    local_ = local;

    loopStart_->setLabel(positionText(shown.cycleStart, n, d));
    loopStart_->setValue(shown.cycleStart != local.cycleStart ? 1.0f : 0.0f);
    loopEnd_->setLabel(positionText(shown.cycleEnd, n, d));
    loopEnd_->setValue(shown.cycleEnd != local.cycleEnd ? 1.0f : 0.0f);
    tempo_->setLabel(tempoText(shown.tempo));
    tempo_->setValue(!(std::fabs(shown.tempo - local.tempo) <= 0.001) ? 1.0f : 0.0f);
    signature_->setLabel(signatureText(n, d));
    signature_->setValue(n != local.timeSignatureNumerator || d != local.timeSignatureDenominator ? 1.0f : 0.0f);
    sampleRate_->setLabel(sampleRateText(shown.sampleRate, local.sampleRate));
    sampleRate_->setValue(shown.sampleRate != local.sampleRate ? 1.0f : 0.0f);

    // Loop frames: 0 none, 1 only the local loop, 2 both, 3 only the partner's.
    const bool shownLoop = (shown.transportFlags & kLoopActive) != 0;
    const bool localLoop = (local.transportFlags & kLoopActive) != 0;
    float loop = shownLoop ? 0.5f : 0.0f;
    if (shownLoop != localLoop) loop = shownLoop ? 1.0f : 0.25f;
    loop_->setValue(loop);

    float state = 0.0f;
    if (partner) {
        const bool playing = (shown.transportFlags & kPlaying) != 0;
        const bool recording = (shown.transportFlags & kRecording) != 0;
        if (playing && recording) state = 1.0f;
        else if (playing) state = 0.4f;
        else if (recording) state = 0.7f;
    }
    transport_->setValue(state);
}

void SessionPage::showSwitches() {
    if (!sendButton_) return;
    const LinkPlugin& plugin = editor_.plugin();
    sendButton_->setValue(plugin.sendEnabled() ? 1.0f : 0.0f);
    receiveButton_->setValue(plugin.receiveEnabled() ? 1.0f : 0.0f);
    muteOnPlayButton_->setValue(plugin.muteOnPlay() ? 1.0f : 0.0f);
    thruButton_->setValue(plugin.thru() ? 1.0f : 0.0f);
}

void SessionPage::refresh() {
    showTransport(true);
    showSwitches();
}

void SessionPage::showTransfer(PartnerSession& p) {
    uint64_t total = 0, done = 0;
    if (p.fileReceiver().isActive()) {
        p.fileReceiver().progress(total, done);
        sendFileButton_->setValue(1.0f);
        progress_->setValue(fraction(done, total));
    } else if (p.fileSender().isActive()) {
        p.fileSender().progress(total, done);
        sendFileButton_->setValue(1.0f);
        progress_->setValue(fraction(done, total));
    } else {
        sendFileButton_->setValue(0.0f);
        progress_->setValue(0.0f);
    }
}

void SessionPage::showRates(PartnerSession& p) {
    PeerConnection& connection = p.connection();
    sendStatus_->setText(rateText(connection.rate(kRateSentTotal), connection.frameRate()));
    int partnerFps = 0;
    uint8_t bytes[PartnerSession::kStatusReportBytes];
    StatusReportFields report;
    if (p.lastStatusReport(bytes) && parseStatusReport(MessageBytes(bytes, sizeof bytes), report))
        partnerFps = report.videoFrameRate;
    receiveStatus_->setText(rateText(connection.rate(kRateReceivedTotal), partnerFps));
}

void SessionPage::showLeds(PartnerSession* p, uint32_t now) {
    SessionController* c = editor_.plugin().controller();
    uint64_t errors = 0;
    if (c && c->peerLink()) errors = uint64_t(c->peerLink()->receiveErrors(true)) + c->peerLink()->sendErrors(false);
    // The playouts count drop-outs without clearing: what is new since the
    // last look lights the LED (sessions that went take their counts along).
    if (c) {
        uint64_t dropouts = 0;
        for (int i = 0;; ++i) {
            SessionRef s = c->sessionAt(i);
            if (!s) break;
            dropouts += s->receiveStream().playout().underruns();
        }
        if (dropouts > dropouts_) errors += dropouts - dropouts_;
        dropouts_ = dropouts;
    }
    if (errors > 0) localLed_->light(1.0f, now);
    localLed_->tick(now);
    if (!p) return;
    // Both flags are read (and so cleared) every time.
    const bool lost = p->connection().takePartnerLostData();
    const bool failed = p->connection().takePartnerSendFailed();
    if (lost || failed) partnerLed_->light(1.0f, now);
    partnerLed_->tick(now);
}

void SessionPage::idle() {
    if (!position_) return;
    const uint32_t now = platform::tickCount();
    SessionController* c = editor_.plugin().controller();
    SessionRef p = editor_.plugin().partnerRef();
    if (p.get() != shownPartner_.get()) {
        if (partnerVideo_) editor_.frame()->removeView(partnerVideo_);
        partnerVideo_ = nullptr;
        shownPartner_ = p;
        if (p) {
            partnerName_->setText(p->partnerName());
            // While an abort question is up the panes wait for its answer.
            if (!abortPopup_) addPartnerPane();
        } else {
            partnerLed_->light(0.0f, now);
            partnerName_->setText(kPartnerGone);
            sendStatus_->setText(kNoRate);
            receiveStatus_->setText(kNoRate);
            sendFileButton_->setValue(0.0f);
            progress_->setValue(0.0f);
            bufferFill_->setValue(0.0f);
        }
        refresh();
        return;
    }
    showLeds(p.get(), now);
    if (c && localVideo_) localVideo_->update(c->videoCapture());
    if (p) {
        if (partnerVideo_) partnerVideo_->update(p->videoReceiver());
        showTransfer(*p);
        if (p->takeTransportChanged()) refresh();
        // Every 500 ms, and at once when the next time lies too far ahead
        // (the tick count wrapped).
        if (static_cast<int32_t>(now - nextSyncRequest_) >= 0 ||
            static_cast<int32_t>(nextSyncRequest_ - now) > static_cast<int32_t>(kSyncRequestMs)) {
            p->requestPartnerTransport();
            nextSyncRequest_ = now + kSyncRequestMs;
        }
        if (!rateTextShown_ || now - lastRateText_ > kRateTextMs) {
            showRates(*p);
            lastRateText_ = now;
            rateTextShown_ = true;
        }
        // The backlog against the longest the free-running playout allows.
        const PlayoutBuffer& playout = p->receiveStream().playout();
        const double limit = playout.maxLatency() * playout.partnerRate();
        double fill = limit > 0.0 ? playout.queuedFrames() / limit : 0.0;
        if (!(fill >= 0.0)) fill = 0.0;
        bufferFill_->setValue(static_cast<float>(fill > 1.0 ? 1.0 : fill));
    }
    showTransport(false);
    showSwitches();
}

// ---- Actions ----------------------------------------------------------------

void SessionPage::valueChanged(gui::Control& control) {
    LinkPlugin& plugin = editor_.plugin();
    switch (control.tag()) {
        case kSendTag: plugin.toggleSend(); break;
        case kReceiveTag: plugin.toggleReceive(); break;
        case kMuteOnPlayTag: plugin.toggleMuteOnPlay(); break;
        case kThruTag: plugin.toggleThru(); break;
        case kSendFileTag: sendFile(); break;
        case kLocalVideoTag: editor_.openLocalVideoWindow(); break;
        case kPartnerVideoTag: editor_.openPartnerVideoWindow(); break;
        case kTransportTag: {
            SessionRef p = plugin.partnerRef();
            if (p && p->connected()) {
                double samplePosition = 0.0;
                SyncInfoFields ignored;
                localTransport(ignored, &samplePosition);
                p->sendRemoteLocate(samplePosition);
            }
            break;
        }
        case kSendAbortTag:
        case kReceiveAbortTag:
            answerAbort(control.tag(), control.value() < 1.0f);
            break;
        default: break;
    }
    refresh();
}

void SessionPage::sendFile() {
    SessionRef p = editor_.plugin().partnerRef();
    if (!p) {
        sendFileButton_->setValue(0.0f);
        return;
    }
    const bool sending = p->fileSender().isActive();
    if (sending || p->fileReceiver().isActive()) {
        removePanes();
        abortPopup_ = ModalPopup::show(*editor_.frame(), this, sending ? kSendAbortTag : kReceiveAbortTag,
                                       sending ? kAbortSendQuestion : kAbortReceiveQuestion, "Yes", "No");
        return;
    }
    // Asks for the WAV file (the plug-in is the file chooser) and starts.
    p->fileSender().offerFile(editor_.plugin());
    showTransfer(*p);
}

void SessionPage::answerAbort(long tag, bool yes) {
    abortPopup_ = nullptr;
    SessionRef p = editor_.plugin().partnerRef();
    // Only what still runs is aborted: the transfer may have ended while
    // the question was up.
    if (p && yes) {
        if (tag == kSendAbortTag && p->fileSender().isActive()) p->abortFileSend();
        if (tag == kReceiveAbortTag && p->fileReceiver().isActive()) p->abortFileReceive();
    }
    if (!partnerVideo_ && p && p.get() == shownPartner_.get()) addPartnerPane();
    if (!localVideo_) addLocalPane();
}

int SessionPage::onKeyDown(const gui::KeyEvent& key) {
    // Return and Escape answer an abort question, as on the invitation.
    if (abortPopup_) return abortPopup_->onKeyDown(key);
    return -1;
}

}  // namespace editor
