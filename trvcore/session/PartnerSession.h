#pragma once
// One partner relation: the invitation handshake with one other plug-in and,
// once connected, the link to it. Created by the SessionController when this
// user invites someone (outgoing) or when an Invite arrives from a user on
// the online list (incoming).
//
// Handshake (control packets, kind 18, the step in subKind; each sent in
// several rounds because UDP may drop them, repeats ignored by the state):
//   inviter                      invitee
//   Invite  ------------------>  (controller creates the incoming session)
//           <------------------  Ringing          "Invitation from %s."
//   Ask     ------------------>  asks its user    (pendingInvitation)
//           <------------------  Accept or Reject
//   Connected ---------------->                   both "Connected to %s"
// A Bye (kind 13) ends the session on either side. The state and what each
// step does in each state are Handshake.h's.
//
// Threads and locks:
// - The network thread hands every packet of this partner to the
//   connection, whose listener is this session (onPeerMessage): audio goes
//   to the receive stream, media and file messages to their sinks, the
//   rest is queued for the session thread, which is woken.
// - The session thread handles the queued packets one at a time.
// - startInvitation, acceptInvitation and close run on the caller's thread
//   (the editor's, or the network thread for an incoming invitation).
// - The session lock guards the state: it changes in one place
//   (changeState), under the lock, together with what must not be
//   separated from it (starting the media). Rounds of packets and their
//   pauses, status lines, closing the connection and calls into the
//   controller run after the lock is let go. Queries read the state
//   without it.
//
// References: 1 at creation, held by the creator; every holder (the
// controller's list, a plug-in instance's partner, an operation in
// progress) holds one. The last release deletes the session; the
// controller makes sure that happens only after the session thread ended.
#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/Lock.h"
#include "trvcore/audio/AudioReceiveStream.h"
#include "trvcore/audio/AudioSendStream.h"
#include "trvcore/files/FileReceiver.h"
#include "trvcore/files/FileSender.h"
#include "trvcore/midi/MidiReceiver.h"
#include "trvcore/midi/MidiSender.h"
#include "trvcore/session/Handshake.h"
#include "trvcore/session/SessionMediaSink.h"
#include "trvcore/session/SessionPacketQueue.h"
#include "platform/WorkerThread.h"
#include "trvcore/trvnetwork/ControlMessages.h"
#include "trvcore/trvnetwork/OnlineUser.h"
#include "trvcore/trvnetwork/PeerConnection.h"
#include "trvcore/trvnetwork/PeerMessage.h"
#include "trvcore/trvnetwork/PeerProtocol.h"
#include "trvcore/video/VideoReceiver.h"
#include "trvcore/video/VideoSender.h"

class PeerLink;
class SessionHost;

class PartnerSession : public WorkerThread, private PeerConnectionListener, private FileTransferListener {
public:
    static constexpr uint32_t kDeadlineMs = 8000;
    static constexpr int kRounds = 5;
    static constexpr unsigned kRoundGapMs = 100;
    static constexpr unsigned kAnswerGapMs = 150;
    // Steps of 100 ms an Invite waits for Ringing before it is sent once
    // more to the partner's registered port.
    static constexpr int kRegisteredPortSteps = 10;
    static constexpr double kMaxRoundTripSeconds = 20.0;
    static constexpr size_t kStatusReportBytes = kStatusReportSize;

    using State = HandshakeState;

    // A session with `partner`, its connection aimed at the partner's IP and
    // port 58116, its thread started. One reference, the caller's. Null when
    // memory is short.
    static PartnerSession* create(SessionHost& host, PeerLink& link, const OnlineUser& partner);

    void addRef();
    // Drops one reference; the last one deletes the session.
    void release();

    // Starts the handshake (once). Outgoing: posts "Inviting %s...", sets
    // the 8 s deadline and sends Invite rounds until Ringing arrives
    // (blocks up to about 5.5 s). Incoming: only resets the statistics and
    // the connection.
    void startInvitation(bool outgoing);
    // The user's answer to the Ask of an incoming invitation. Accept ends
    // every other session first and sends Accept (blocks about 750 ms);
    // reject sends Reject and closes without a Bye. Nothing once closed.
    void acceptInvitation(bool accept);
    // Ends the session (once): sends Bye rounds first if the partner is to
    // be told, gives queued messages up to 1000 ms to leave, and lets the
    // host take the session off its list.
    void close(bool tellPartner);
    // Connected: sends a Ping; the partner's StatusReport gives the round trip.
    void heartbeat();
    // Monitor mode plays the partner's audio and MIDI as they arrive, never
    // aligned to the transports.
    void setMonitorMode(bool on);
    bool monitorMode() const { return monitorMode_.load(std::memory_order_relaxed); }

    // Tick count (ms) at which the controller ends an unanswered invitation;
    // 0 for none.
    void setDeadline(uint32_t tickMs);
    uint32_t deadline() const { return deadline_.load(std::memory_order_relaxed); }
    bool deadlinePassed(uint32_t nowMs) const;

    // Fixed from creation on.
    const char* partnerName() const { return name_; }
    const char* partnerIp() const { return ip_; }
    uint16_t partnerPort() const { return port_; }

    State state() const { return state_.load(std::memory_order_acquire); }
    bool outgoing() const { return direction_.load(std::memory_order_relaxed) == HandshakeDirection::Outgoing; }
    // The partner answered the first step: Ringing came (outgoing) or the
    // Invite was handled (incoming).
    bool acknowledged() const;
    // This user is being asked to accept.
    bool awaitingAnswer() const { return state() == State::Asking; }
    bool connected() const { return state() == State::Connected; }
    bool closed() const { return state() == State::Closed; }
    // The session thread has ended (or never ran): the session may go.
    bool threadEnded() const { return isFinished() || !threadCreated(); }

    // Last round trip and the largest one, in seconds (0 before the first).
    double roundTrip() const { return roundTrip_.load(std::memory_order_relaxed); }
    double maxRoundTrip() const { return maxRoundTrip_.load(std::memory_order_relaxed); }
    // Performance-counter nanoseconds when this side last queued a Ping, and
    // when the partner's last Ping arrived (0 before the first).
    double pingSentAt() const { return pingNotedAt_.load(std::memory_order_relaxed); }
    double pingArrivedAt() const { return pingArrivedAt_.load(std::memory_order_relaxed); }
    // The partner's last StatusReport; false before the first.
    bool lastStatusReport(uint8_t (&out)[kStatusReportBytes]) const;

    // The partner's audio, both ways. Null only for a session whose
    // creation failed (create() never hands one out).
    AudioSendStream& sendStream() { return *sendStream_; }
    AudioReceiveStream& receiveStream() { return *receiveStream_; }
    // MIDI, both ways.
    MidiSender& midiSender() { return *midiSender_; }
    MidiReceiver& midiReceiver() { return *midiReceiver_; }
    // Video, both ways: the receiver is the partner pane's picture source.
    VideoSender& videoSender() { return *videoSender_; }
    VideoReceiver& videoReceiver() { return *videoReceiver_; }
    const VideoReceiver& videoReceiver() const { return *videoReceiver_; }
    // Files, both ways. Their status texts with a level go to the message
    // log. The session page's aborts: the sender tells the partner and
    // stops; the receiver stops (telling the partner) and says so.
    FileSender& fileSender() { return *fileSender_; }
    FileReceiver& fileReceiver() { return *fileReceiver_; }
    void abortFileSend();
    void abortFileReceive();
    // Camera thread: one preview picture for the partner, coded if the
    // connection's video budget allows it. Connected sessions only.
    void offerCameraFrame(const uint8_t* picture, int width, int height, int stride);

    // The partner's transport: asks for its SyncInfo (the partner answers
    // with its host's time info); the latest answer (false before the
    // first; the defaults of an empty record then) and whether it differs
    // from the one before in more than its position (read and cleared).
    void requestPartnerTransport();
    bool partnerTransport(SyncInfoFields& out) const;
    bool takeTransportChanged() { return transportChanged_.exchange(false, std::memory_order_relaxed); }
    // Connected only: asks the partner to locate its time code generator at
    // `position` (samples), or to stop it if it runs.
    bool sendRemoteLocate(double position);
    PeerConnection& connection() { return *connection_; }
    const PeerConnection& connection() const { return *connection_; }
    uint64_t droppedPackets() const { return queue_.dropped(); }

    // The sink of one media or file kind (null: those messages are dropped
    // and counted). Messages of the media lane go to it on the network
    // thread as they arrive, never through the session thread's queue.
    // The sink must stay valid while the session lives or until replaced.
    void setMediaSink(MessageKind kind, SessionMediaSink* sink);
    uint64_t droppedMedia() const { return droppedMedia_.load(std::memory_order_relaxed); }

    // Sessions created and not yet deleted, in this process.
    static int liveCount();

    void run() override;

private:
    PartnerSession(SessionHost& host, PeerLink& link, const OnlineUser& partner);
    ~PartnerSession() override;

    // Network thread.
    void onPeerMessage(PeerConnection& connection, const PeerMessage& message) override;
    // A file sender's or receiver's status text for the log.
    void onFileEvent(int level, FileTransfer& transfer) override;
    void measureRoundTrip(const PeerMessage& message);

    // Session thread.
    void handle(const PeerMessage& message);
    // One step from the partner, as Handshake.h decides it.
    void onHandshakeStep(HandshakeStep step);
    // Under the session lock: the only place the state changes.
    void changeState(State next);
    void runRounds(HandshakeRounds rounds);
    void answerPing(const PeerMessage& ping);
    void keepStatusReport(const PeerMessage& report);
    void answerSyncRequest();
    void keepTransport(const PeerMessage& info);

    // Connecting: the audio streams start (under the session lock).
    void startStreams();
    // The Invite rounds, outside the lock, until the partner answers or the
    // session closes.
    void inviteRounds();
    void send(InvitationStep step);
    void sendTo(const PeerAddress& to, InvitationStep step);
    void postLine(const char* pattern);

    SessionHost& host_;
    PeerLink& link_;
    char name_[OnlineUser::kNameBytes] = {};
    char ip_[OnlineUser::kIpBytes] = {};
    uint16_t port_ = kPeerUdpPort;

    std::atomic<int> refs_{1};
    platform::RecursiveLock lock_;  // the session lock
    std::atomic<uint32_t> deadline_{0};
    std::atomic<State> state_{State::New};  // written by changeState only
    std::atomic<HandshakeDirection> direction_{HandshakeDirection::Incoming};
    std::atomic<bool> monitorMode_{false};

    std::unique_ptr<PeerConnection> connection_;
    std::unique_ptr<AudioSendStream> sendStream_;
    std::unique_ptr<AudioReceiveStream> receiveStream_;
    std::unique_ptr<MidiSender> midiSender_;
    std::unique_ptr<MidiReceiver> midiReceiver_;
    std::unique_ptr<VideoSender> videoSender_;
    std::unique_ptr<VideoReceiver> videoReceiver_;
    std::unique_ptr<FileSender> fileSender_;
    std::unique_ptr<FileReceiver> fileReceiver_;
    SessionPacketQueue queue_;
    PeerMessage current_;  // session thread: the packet being handled
    // Media-lane sinks, indexed by kind.
    static constexpr size_t kSinkSlots = 32;
    std::atomic<SessionMediaSink*> mediaSinks_[kSinkSlots] = {};
    std::atomic<uint64_t> droppedMedia_{0};

    std::atomic<double> pingNotedAt_{0.0};     // ns, when the last Ping was queued
    std::atomic<double> pingArrivedAt_{0.0};   // ns, when the partner's last Ping arrived
    std::atomic<double> roundTrip_{0.0};
    std::atomic<double> maxRoundTrip_{0.0};
    mutable platform::RecursiveLock reportLock_;  // innermost
    uint8_t report_[kStatusReportBytes] = {};
    bool haveReport_ = false;
    SyncInfoFields transport_;  // under reportLock
    bool haveTransport_ = false;
    std::atomic<bool> transportChanged_{false};
};
