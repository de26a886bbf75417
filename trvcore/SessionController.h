#pragma once
// The one process-wide controller that holds the plug-in's networked state.
// The first LinkPlugin creates it, later ones count themselves in, the last
// one to go deletes it. Its thread makes one pass every 100 ms and runs the
// periodic web-service and session work on pass counters.
#include <atomic>
#include <cstdint>

#include "platform/Lock.h"
#include "trvcore/AlertChime.h"
#include "trvcore/CycleSessions.h"
#include "trvcore/LoopSchedule.h"
#include "trvcore/MessageLog.h"
#include "trvcore/OnlineList.h"
#include "trvcore/SessionHost.h"
#include "trvcore/SessionList.h"
#include "trvcore/SessionRef.h"
#include "trvcore/Settings.h"
#include "trvcore/WorkerThread.h"
#include "trvcore/trvnetwork/NewsDownload.h"
#include "trvcore/trvnetwork/NewsPictureSource.h"
#include "trvcore/trvnetwork/PeerLinkListener.h"
#include "trvcore/trvnetwork/ServiceClient.h"

class DatagramSocket;
class LinkPlugin;
class PeerConnection;
class PeerLink;
class SessionListener;

class SessionController : public WorkerThread,
                          private SettingsObserver,
                          private PeerLinkListener,
                          private SessionHost {
public:
    static constexpr int kMaxListeners = 256;
    static constexpr int kMaxInstances = 256;
    static constexpr int kMaxSessions = 1000;
    static constexpr int kPassMs = 100;
    static constexpr uint16_t kDefaultPort = 58116;
    static constexpr int kTextBytes = 256;
    static constexpr int kServiceReadDelayMs = 250;
    static constexpr int kTemporaryReadDelayMs = 300;
    static constexpr int kNewsReadDelayMs = 500;
    static constexpr int kPortQueryGapMs = 50;
    static constexpr int kPortReplyWaitMs = 500;
    static constexpr int kHolePunchRounds = 3;
    static constexpr int kHolePunchGapMs = 75;
    // invite(): the web announcement, and how recent a noted invitation
    // must be to refuse inviting.
    static constexpr int kAnnounceRounds = 7;
    static constexpr int kAnnounceGapMs = 250;
    static constexpr uint32_t kAnnounceForMs = 1750;
    static constexpr uint32_t kExpectingWindowMs = 2000;
    // Ending another session: how long to wait for it to go, and how often
    // to look.
    static constexpr int kSessionGoneWaitMs = 1000;
    static constexpr int kSessionGoneCheckMs = 50;
    // An Invite from an address missing from the online list has the loop
    // refresh the list, at most this often.
    static constexpr uint32_t kInviteRefreshGapMs = 1000;
    static constexpr uint32_t kTimeoutIdleGraceMs = 1000;
    static constexpr const char* kSessionTimeoutText = "Session timeout - please login again!";

    // The process-wide controller, or null.
    static SessionController* instance();
    // Adds one instance reference, creating the controller for the first.
    static SessionController* acquire();
    // Drops one instance reference; the last one deletes the controller.
    void release();
    int instanceCount() const { return instanceCount_.load(std::memory_order_relaxed); }

    // The test host's way to put a layer between the peer link and the
    // wire (set before the first plug-in instance is made). Without one, the
    // plug-in's normal case, the link opens a plain UDP socket.
    using LinkSocketFactory = DatagramSocket* (*)();
    static void setLinkSocketFactory(LinkSocketFactory factory);

    // The time info asked of the host every block: positions, tempo, bars,
    // cycle and time signature.
    static constexpr VstInt32 kTimeInfoFilter = 0x3E00;
    static constexpr const char* kNoTimeInfoText = "No VSTTimeInfo : TRV can\x92t work with this application!";

    // Status lines.
    void postMessage(const char* text) override;
    void postMessagef(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    bool message(int k, char* out) const { return log_.message(k, out); }
    MessageLog& messageLog() { return log_; }

    void setUserName(const char* text);
    void setPassword(const char* text);
    // Copies into out[kTextBytes].
    void userName(char* out) const;
    void password(char* out) const;

    // Listeners (at most 256, each once).
    void addListener(SessionListener* l);
    void removeListener(SessionListener* l);
    void notifyListeners(void* object, int kind);
    int listenerCount() const;

    // Instances taking part in the per-block cycle.
    void registerInstance(void* plugin);
    void unregisterInstance(void* plugin);
    int registeredCount() const;
    bool isRegistered(void* plugin) const;

    // Host audio values. A new block size resizes every session's audio
    // streams; a new sample rate restarts their encoders.
    void setSampleRate(double rate);
    double sampleRate() const override { return sampleRate_.load(std::memory_order_relaxed); }
    void setBlockSize(int frames);
    int blockSize() const override { return blockSize_.load(std::memory_order_relaxed); }
    int codec() const override { return settings_.codec(); }
    double audioRate() const override { return settings_.audioRate(); }

    // Transport sync source: `on` makes `object` the source and turns sync on;
    // off turns sync off only when `object` is the source.
    void setSyncSource(void* object, bool on);
    void* syncSource() const { return syncSource_.load(std::memory_order_relaxed); }
    bool syncOn() const { return settings_.syncOn(); }

    // Block cycle of the host's audio thread: the calls of all instances in
    // one host block make one cycle. The first instance asks the host for
    // time info and opens every connected session's send and receive
    // blocks; the last one closes them. processLock is held from
    // beginProcess to the matching endProcess.
    void beginProcess(LinkPlugin* plugin, int frames);
    void endProcess(LinkPlugin* plugin);
    // The chime while it plays, to the cycle leader only; else null.
    AlertChime* alertChime();
    // Rings the chime (an invitation is asking). Any thread.
    void startChime() override { chime_.start(); }
    // The current cycle's host time info (all zero when the host gave none).
    const VstTimeInfo& cycleTimeInfo() const override { return *currentTimeInfo_; }
    const CycleTime& cycleTime() const override { return cycleTime_; }
    int cycleFrames() const { return cycleFrames_; }
    // The instance leading the current host block, or null.
    LinkPlugin* cycleLeader() const;
    double blockEndPosition() const { return blockEndPosition_; }
    // Sessions taking part in the block cycle (the connected ones).
    int cycleSessionCount() const;

    Settings& settings() { return settings_; }
    const Settings& settings() const { return settings_; }

    // Logs in to the web service and discovers the external UDP port; true
    // on success. Runs its requests on the calling thread.
    bool login();
    // Ends all sessions and logs out of the web service; nothing when logged out.
    void logout();
    // Fetches the online list and posts a line for every change.
    void refreshOnlineList();
    bool onlineUserAt(int i, OnlineUser& out) const { return onlineList_.onlineUserAt(i, out); }
    bool findOnlineUser(const char* name, OnlineUser& out) const {
        return onlineList_.findOnlineUser(name, out);
    }
    int onlineCount() const { return onlineList_.count(); }
    bool awaitingInvitation() const { return awaitingInvitation_.load(std::memory_order_relaxed); }
    int accountFlags() const { return settings_.accountFlags(); }
    // The news text (downloaded on first demand; null until that succeeds).
    const char* newsText();
    // News picture 0 or 1; false for other indices or without data.
    bool newsPicture(int i, NewsPicture& out);
    bool loggedIn() const { return loggedIn_.load(std::memory_order_relaxed); }
    // The reaction to a service time-out (listener event 3): log out and
    // post "Session timeout - please login again!". Done once per time-out,
    // by the first editor idle that asks, or by the loop itself when no
    // idle asked within kTimeoutIdleGraceMs (a host calls editor idle only
    // while the editor is open). True if this call did it.
    bool endTimedOutSession();

    // Partner sessions (SessionControllerSessions.cpp).
    //
    // Starts an invitation to `user`, on the calling thread (blocks for the
    // web announcement, about 1.75 s, and the Invite rounds). True when an
    // invitation was started or a session with that user already exists.
    bool invite(const OnlineUser& user);
    // Ends one session with "Disconnected from %s", telling the partner.
    void disconnect(PartnerSession* session);
    // The user's answer to the session pendingInvitation gave.
    void acceptInvitation(PartnerSession* session, bool accept);
    int sessionCount() const { return sessions_.count(); }
    // Closed sessions whose threads have not been seen to end yet.
    int parkedSessionCount() const { return sessions_.parkedCount(); }
    SessionRef sessionAt(int i) const { return sessions_.at(i); }
    // The first session whose user is being asked to accept, or none.
    SessionRef pendingInvitation() const { return sessions_.firstAwaitingAnswer(); }
    bool hasSessionWith(const OnlineUser& user) const { return sessions_.anyWithPartnerIp(user.ip); }
    bool isSession(const PartnerSession* s) const { return sessions_.contains(s); }
    SessionRef sessionOfPeer(const PeerConnection* c) const { return sessions_.ofConnection(c); }
    // True if any partner session is connected.
    bool anyConnected() const { return sessions_.anyConnected(); }
    uint16_t localPort() const { return localPort_.load(std::memory_order_relaxed); }
    void setLocalPort(uint16_t port) { localPort_.store(port, std::memory_order_relaxed); }

    void openWebPage(const char* url);

    // The process's UDP link to the partners (null if it could not be made).
    PeerLink* peerLink() const { return link_; }

    platform::RecursiveLock& processLock() override { return processLock_; }
    platform::RecursiveLock& listLock() { return listLock_; }
    platform::RecursiveLock& closingLock() { return closingLock_; }

    // Passes of the loop so far.
    uint64_t passCount() const { return passes_.load(std::memory_order_relaxed); }

    void run() override;

private:
    SessionController();
    ~SessionController() override;

    // One pass of the loop; `pass` counts from 1.
    void runPass(uint64_t pass);
    void keepAlivePass();
    void wantedRefreshPass();
    void timeoutPass();
    void invitationPollPass();
    bool loginOnce();
    bool sendPortQuery(const char* ip);
    bool sendHolePunch(const char* ip);
    static void postLine(void* self, const char* line);

    // Partner sessions (SessionControllerSessions.cpp).
    void heartbeatPass();
    void releaseEndedSessions();
    // Closes every session, each with "Disconnected from %s"; sessions that
    // arrive meanwhile are closed too.
    void closeAllSessions();
    // Disconnects `s` and waits up to 1000 ms for it to leave the list and
    // for its thread to end.
    void endSession(PartnerSession& s);
    void onIncomingInvitation(const PeerMessage& message, const PeerAddress& from);
    bool findOnlineUserByIp(const char* ip, OnlineUser& out) const;
    void routePacket(const PeerMessage& message, const PeerAddress& from);

    // SessionHost, for the sessions.
    void sessionConnected(PartnerSession& session) override;
    void sessionClosed(PartnerSession& session) override;
    void disconnectOthers(PartnerSession& keep) override;
    void statusValues(StatusReportFields& fields) override;
    void onRemoteSetting(PartnerSession& session, const RemoteSettingFields& fields) override;
    // Every session's send stream started afresh (codec or rate change).
    void restartSendStreams();

    // From the peer link's network thread.
    void onPeerPacket(const PeerMessage& message, const PeerAddress& from) override;
    void onPeerTick() override;
    void onLocalPort(uint16_t port) override { localPort_.store(port, std::memory_order_relaxed); }
    void onLinkStatus(const char* text) override { postMessage(text); }
    double videoBudgetKbps() override { return settings_.videoRate(); }

    void onAudioRateChanged() override;
    void onFileRateChanged() override {}
    void onMonitorModeChanged() override;

    Settings settings_;
    ServiceClient service_;
    std::atomic<double> sampleRate_{48000.0};
    std::atomic<int> blockSize_{1024};

    platform::RecursiveLock processLock_;
    // Block cycle; the audio thread's, under processLock.
    int cycleRemaining_ = 0;
    LinkPlugin* cycleLeader_ = nullptr;
    int cycleFrames_ = 0;
    const VstTimeInfo* currentTimeInfo_ = &defaultTimeInfo_;
    VstTimeInfo defaultTimeInfo_{};
    double blockEndPosition_ = 0.0;
    CycleTime cycleTime_;
    bool noTimeInfoPosted_ = false;
    AlertChime chime_;
    // Connected sessions, each holding a reference; changed under processLock.
    CycleSessions cycleSessions_{processLock_};
    platform::RecursiveLock listLock_;
    platform::RecursiveLock closingLock_;
    // Serialises the answers to invitations: an accept holds its session's
    // lock while it ends the others, so two at once could wait on each other.
    platform::RecursiveLock answerLock_;
    mutable platform::RecursiveLock listenerLock_;
    mutable platform::RecursiveLock textLock_;

    MessageLog log_;
    std::atomic<int> instanceCount_{1};

    SessionListener* listeners_[kMaxListeners] = {};
    int listenerCount_ = 0;
    void* instances_[kMaxInstances] = {};
    int instanceRegistered_ = 0;
    std::atomic<void*> syncSource_{nullptr};

    char userName_[kTextBytes] = {};
    char password_[kTextBytes] = {};
    std::atomic<uint16_t> localPort_{kDefaultPort};
    std::atomic<bool> loggedIn_{false};

    OnlineList onlineList_{listLock_};
    NewsDownload newsText_{NewsDownload::kNewsTextPath, kNewsReadDelayMs};
    NewsPictureSource newsPictures_[2] = {NewsPictureSource(NewsDownload::kPicturePath1),
                                          NewsPictureSource(NewsDownload::kPicturePath2)};
    PeerLink* link_ = nullptr;
    SessionList sessions_{listLock_, closingLock_};
    // Counts the outgoing sessions made. With the network thread's note of
    // the last "ignoring" line, a burst of Invite rounds posts it once.
    std::atomic<uint32_t> outgoingSerial_{0};
    uint32_t ignoredSerial_ = 0;  // network thread only, like the two below
    uint32_t ignoredIp_ = 0;
    // An Invite came from an address missing from the online list: the
    // loop refreshes the list (at most once a second).
    std::atomic<bool> onlineRefreshWanted_{false};
    // Tick count of a service time-out not yet acted on (0: none).
    std::atomic<uint32_t> timeoutNotedAt_{0};
    uint32_t wantedRefreshAt_ = 0;  // controller thread
    std::atomic<bool> awaitingInvitation_{false};
    std::atomic<uint32_t> awaitingSince_{0};

    LoopSchedule schedule_;
    std::atomic<uint64_t> passes_{0};
};
