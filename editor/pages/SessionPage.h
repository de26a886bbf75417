#pragma once
// The Online page (page 1): both users side by side with their names and
// videos, the plug-in's send, receive, Thru and Mute on Play switches, the
// send and receive rates, the two trouble LEDs, the file transfer button
// with its progress bar, and value boxes that compare the partner's host
// transport with the local one (position, loop, tempo, time signature,
// sample rate); a value that differs between the two hosts shows in an
// orange box.
//
// Everything is polled from the plug-in's partner session in the editor's
// idle, which also asks the partner for its transport every 500 ms while
// the page is shown. Threads: the user-interface thread only.
#include <cstdint>
#include <string>

#include "editor/EditorPage.h"
#include "gui/Bitmap.h"
#include "trvcore/session/SessionRef.h"
#include "trvcore/trvnetwork/ControlMessages.h"

namespace gui {
class MovieBitmap;
class TextEdit;
}  // namespace gui

namespace editor {

class ActivityLed;
class ClickMovieBitmap;
class GuardedOnOffButton;
class LabelledMovieBitmap;
class ModalPopup;
class ProgressMeter;
class VideoPane;

class SessionPage : public EditorPage {
public:
    static constexpr long kSendTag = 10000;
    static constexpr long kReceiveTag = 10001;
    static constexpr long kMuteOnPlayTag = 10002;
    static constexpr long kThruTag = 10003;
    static constexpr long kSendFileTag = 10004;
    static constexpr long kTransportTag = 10005;
    static constexpr long kLocalVideoTag = 10006;
    static constexpr long kPartnerVideoTag = 10007;
    static constexpr long kSendAbortTag = 10008;
    static constexpr long kReceiveAbortTag = 10009;
    static constexpr uint32_t kSyncRequestMs = 500;
    static constexpr uint32_t kRateTextMs = 250;
    static constexpr const char* kNoPartnerYet = "(not connected)";
    static constexpr const char* kPartnerGone = "Not Connected";
    static constexpr const char* kAbortSendQuestion = "Abort current send file transfer?";
    static constexpr const char* kAbortReceiveQuestion = "Abort current receive file transfer?";

    explicit SessionPage(LinkEditor& editor);
    ~SessionPage() override;

    void open() override;
    void refresh() override;
    void close() override;
    void idle() override;
    int onKeyDown(const gui::KeyEvent& key) override;
    void valueChanged(gui::Control& control) override;

    // The texts of the value boxes and the rate lines.
    static std::string positionText(double quarterNotes, int numerator, int denominator);
    static std::string tempoText(double tempo);
    static std::string signatureText(int numerator, int denominator);
    static std::string sampleRateText(double shown, double local);
    static std::string rateText(double bitsPerSecond, int framesPerSecond);

    // The controls, for tests (null while not shown).
    GuardedOnOffButton* sendButton() const { return sendButton_; }
    GuardedOnOffButton* receiveButton() const { return receiveButton_; }
    GuardedOnOffButton* muteOnPlayButton() const { return muteOnPlayButton_; }
    GuardedOnOffButton* thruButton() const { return thruButton_; }
    GuardedOnOffButton* sendFileButton() const { return sendFileButton_; }
    ProgressMeter* progressBar() const { return progress_; }
    gui::TextEdit* localName() const { return localName_; }
    gui::TextEdit* partnerName() const { return partnerName_; }
    gui::TextEdit* sendStatus() const { return sendStatus_; }
    gui::TextEdit* receiveStatus() const { return receiveStatus_; }
    VideoPane* localVideo() const { return localVideo_; }
    VideoPane* partnerVideo() const { return partnerVideo_; }
    ActivityLed* localLed() const { return localLed_; }
    ActivityLed* partnerLed() const { return partnerLed_; }
    ClickMovieBitmap* partnerTransport() const { return transport_; }
    gui::MovieBitmap* bufferFill() const { return bufferFill_; }
    gui::MovieBitmap* loopIndicator() const { return loop_; }
    LabelledMovieBitmap* positionBox() const { return position_; }
    LabelledMovieBitmap* loopStartBox() const { return loopStart_; }
    LabelledMovieBitmap* loopEndBox() const { return loopEnd_; }
    LabelledMovieBitmap* tempoBox() const { return tempo_; }
    LabelledMovieBitmap* signatureBox() const { return signature_; }
    LabelledMovieBitmap* sampleRateBox() const { return sampleRate_; }
    ModalPopup* abortPopup() const { return abortPopup_; }

private:
    // The local host's transport as the partner is told it (defaults where
    // the host gave nothing), and its sample position.
    void localTransport(SyncInfoFields& out, double* samplePosition) const;
    // The value boxes, loop indicator and partner transport; the boxes
    // other than the position are formatted only when their inputs changed
    // (or `force`).
    void showTransport(bool force);
    void showSwitches();
    void showTransfer(PartnerSession& p);
    void showRates(PartnerSession& p);
    void showLeds(PartnerSession* p, uint32_t now);
    void sendFile();
    void answerAbort(long tag, bool yes);
    void addLocalPane();
    void addPartnerPane();
    void removePanes();
    gui::TextEdit* addDisplay(const gui::Rect& r, const std::string& text, bool name);
    GuardedOnOffButton* addButton(const gui::Rect& r, long tag, int bitmapId);
    LabelledMovieBitmap* addBox(const gui::Rect& r, int bitmapId, const char* text);

    gui::BitmapRef background_;
    SessionRef shownPartner_;
    uint32_t nextSyncRequest_ = 0;
    uint32_t lastRateText_ = 0;
    bool rateTextShown_ = false;
    ModalPopup* abortPopup_ = nullptr;
    // What the boxes were last formatted from.
    SyncInfoFields shown_;
    SyncInfoFields local_;
    bool havePartnerTransport_ = false;
    bool boxesShown_ = false;
    // Drop-outs of every session's playout, summed, at the last look.
    uint64_t dropouts_ = 0;

    gui::TextEdit* localName_ = nullptr;
    VideoPane* localVideo_ = nullptr;
    ActivityLed* localLed_ = nullptr;
    GuardedOnOffButton* sendButton_ = nullptr;
    GuardedOnOffButton* receiveButton_ = nullptr;
    gui::TextEdit* sendStatus_ = nullptr;
    gui::TextEdit* receiveStatus_ = nullptr;
    GuardedOnOffButton* muteOnPlayButton_ = nullptr;
    GuardedOnOffButton* thruButton_ = nullptr;
    GuardedOnOffButton* sendFileButton_ = nullptr;
    ProgressMeter* progress_ = nullptr;
    gui::TextEdit* partnerName_ = nullptr;
    VideoPane* partnerVideo_ = nullptr;
    ActivityLed* partnerLed_ = nullptr;
    ClickMovieBitmap* transport_ = nullptr;
    gui::MovieBitmap* bufferFill_ = nullptr;
    gui::MovieBitmap* loop_ = nullptr;
    LabelledMovieBitmap* position_ = nullptr;
    LabelledMovieBitmap* loopStart_ = nullptr;
    LabelledMovieBitmap* loopEnd_ = nullptr;
    LabelledMovieBitmap* tempo_ = nullptr;
    LabelledMovieBitmap* signature_ = nullptr;
    LabelledMovieBitmap* sampleRate_ = nullptr;
};

}  // namespace editor
