#pragma once
// The one process-wide controller that holds the plug-in's networked state.
// The first LinkPlugin creates it, later ones count themselves in, the last
// one to go deletes it. It is the wiring of four parts, each one concept:
//   InstanceRegistry  the plug-in instances: listeners, the cycle's
//                     instances, the sync source
//   BlockCycle        the per-block audio cycle of all instances
//   ServiceSession    the login at the community service
//   PartnerDirectory  the partner sessions
// and of the process's UDP link, the settings and the message log. Its
// thread makes one pass every 100 ms and runs the periodic work on pass
// counters (LoopSchedule).
//
// Locks, outermost first (a thread holding one may take those below it,
// never one above):
//   answerLock (PartnerDirectory)   one answer to an invitation at a time
//   a session's lock (PartnerSession) its handshake state; never held
//                                   across rounds, pauses or I/O
//   closingLock, then listLock      the session list, the parked sessions,
//                                   the online list; only looked at under
//                                   them, no session lock taken inside
//   processLock (BlockCycle)        one instance's part of a block cycle;
//                                   taken briefly by others to swap what
//                                   the cycle uses
//   a stream's configuration lock   one reconfiguration at a time
//   a pause gate (streams)          workers never wait on it
//   the listener lock (InstanceRegistry), an instance's own lock,
//   the connection's queueLock, the link's send lock, a queue's or a
//   list's own lock, the message log's lock: innermost, held for copies
// The audio thread takes only processLock (held by others only to swap
// pointers), pause gates and innermost locks.
#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/Lock.h"
#include "trvcore/audio/BlockCycle.h"
#include "trvcore/files/FilePacing.h"
#include "trvcore/session/InstanceRegistry.h"
#include "trvcore/session/LoopSchedule.h"
#include "trvcore/session/MessageLog.h"
#include "trvcore/session/PartnerDirectory.h"
#include "trvcore/session/ServiceSession.h"
#include "trvcore/session/SessionHost.h"
#include "trvcore/session/SessionList.h"
#include "trvcore/session/SessionRef.h"
#include "trvcore/settings/Settings.h"
#include "trvcore/sync/MtcGenerator.h"
#include "platform/WorkerThread.h"
#include "trvcore/trvnetwork/PeerLinkListener.h"
#include "trvcore/video/VideoCapture.h"

class DatagramSocket;
class PeerConnection;
class PeerLink;
class ProcessInstance;
struct NewsPicture;

class SessionController : public WorkerThread,
                          private SettingsObserver,
                          private PeerLinkListener,
                          private SessionHost,
                          private VideoCaptureListener,
                          private FilePacingSettings {
public:
    static constexpr int kPassMs = 100;
    static constexpr int kTextBytes = ServiceSession::kTextBytes;
    // A service time-out is handled by the loop when no editor idle did
    // within this long.
    static constexpr uint32_t kTimeoutIdleGraceMs = 1000;
    static constexpr const char* kSessionTimeoutText = "Session timeout - please login again!";
    static constexpr VstInt32 kTimeInfoFilter = BlockCycle::kTimeInfoFilter;
    static constexpr const char* kNoTimeInfoText = BlockCycle::kNoTimeInfoText;

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
    // The same for the camera (a synthetic one for tests and demos). Without
    // one the controller opens the first capture device it finds.
    using CameraFactory = platform::Camera* (*)();
    static void setCameraFactory(CameraFactory factory);

    // The local camera and its preview picture (the local video pane's
    // source). Never null once constructed.
    VideoCapture& videoCapture() { return *capture_; }

    // Status lines.
    void postMessage(const char* text) override { log_.post(text); }
    bool message(int k, char* out) const { return log_.message(k, out); }
    MessageLog& messageLog() { return log_; }

    void setUserName(const char* text) { service_.setUserName(text); }
    void setPassword(const char* text) { service_.setPassword(text); }
    // Copies into out[kTextBytes].
    void userName(char* out) const { service_.userName(out); }
    void password(char* out) const { service_.password(out); }

    // Listeners (at most 256, each once).
    void addListener(SessionListener* l) { instances_.addListener(l); }
    void removeListener(SessionListener* l) { instances_.removeListener(l); }
    void notifyListeners(PartnerSession* session, SessionEvent event) { instances_.notify(session, event); }
    int listenerCount() const { return instances_.listenerCount(); }

    // Instances taking part in the per-block cycle.
    void registerInstance(ProcessInstance* instance) { instances_.registerInstance(instance); }
    void unregisterInstance(ProcessInstance* instance);
    int registeredCount() const { return instances_.registeredCount(); }
    bool isRegistered(const ProcessInstance* instance) const { return instances_.isRegistered(instance); }

    // Host audio values. A new block size resizes every session's audio
    // streams; a new sample rate restarts their encoders.
    void setSampleRate(double rate);
    double sampleRate() const override { return sampleRate_.load(std::memory_order_relaxed); }
    void setBlockSize(int frames);
    int blockSize() const override { return blockSize_.load(std::memory_order_relaxed); }
    int codec() const override { return settings_.codec(); }
    double audioRate() const override { return settings_.audioRate(); }

    // Transport sync source: `on` makes `instance` the source and turns sync
    // on; off turns sync off only when `instance` is the source. Under the
    // cycle's lock, so a cycle never uses a source that is going.
    void setSyncSource(ProcessInstance* instance, bool on);
    ProcessInstance* syncSource() const { return instances_.syncSource(); }
    bool syncOn() const { return settings_.syncOn(); }

    // Block cycle of the host's audio thread (BlockCycle).
    void beginProcess(ProcessInstance* instance, int frames) { cycle_.begin(instance, frames); }
    void endProcess(ProcessInstance* instance) { cycle_.end(instance); }
    AlertChime* alertChime() { return cycle_.alertChime(); }
    void startChime() override { cycle_.startChime(); }
    const VstTimeInfo& cycleTimeInfo() const override { return cycle_.timeInfo(); }
    const CycleTime& cycleTime() const override { return cycle_.cycleTime(); }
    int cycleFrames() const { return cycle_.frames(); }
    double blockEndPosition() const { return cycle_.blockEndPosition(); }
    ProcessInstance* cycleLeader() const { return cycle_.leader(); }
    int cycleSessionCount() const { return cycle_.sessionCount(); }
    // The last host time info of the block cycle (a copy).
    void copyTimeInfo(VstTimeInfo& out) const { cycle_.copyTimeInfo(out); }

    // MIDI time code to the host through the sync source (MtcGenerator).
    // stopTimeCode and locateTimeCode take the cycle's lock.
    MtcGenerator* timeCodeGenerator() override { return syncSource() ? &timeCode_ : nullptr; }
    const MtcGenerator& timeCode() const { return timeCode_; }
    void stopTimeCode();
    void locateTimeCode(int64_t position);

    Settings& settings() { return settings_; }
    const Settings& settings() const { return settings_; }

    // Logs in to the web service and discovers the external UDP port; true
    // on success. Runs its requests on the calling thread.
    bool login();
    // Ends all sessions and logs out of the web service; nothing when logged out.
    void logout();
    // Fetches the online list and posts a line for every change.
    void refreshOnlineList() { service_.refreshOnlineList(); }
    bool onlineUserAt(int i, OnlineUser& out) const { return service_.onlineList().onlineUserAt(i, out); }
    bool findOnlineUser(const char* name, OnlineUser& out) const {
        return service_.onlineList().findOnlineUser(name, out);
    }
    int onlineCount() const { return service_.onlineList().count(); }
    bool awaitingInvitation() const { return service_.awaitingInvitation(); }
    int accountFlags() const { return settings_.accountFlags(); }
    // The news text (downloaded on first demand; null until that succeeds).
    const char* newsText() { return service_.newsText(); }
    // News picture 0 or 1; false for other indices or without data.
    bool newsPicture(int i, NewsPicture& out) { return service_.newsPicture(i, out); }
    bool loggedIn() const { return service_.loggedIn(); }
    // The reaction to a service time-out (listener event 3): log out and
    // post "Session timeout - please login again!". Done once per time-out,
    // by the first editor idle that asks, or by the loop itself when no
    // idle asked within kTimeoutIdleGraceMs (a host calls editor idle only
    // while the editor is open). True if this call did it.
    bool endTimedOutSession();

    // Partner sessions (PartnerDirectory).
    bool invite(const OnlineUser& user) { return directory_.invite(user); }
    // Ends the session (and the time code it may drive).
    void disconnect(PartnerSession* session);
    void acceptInvitation(PartnerSession* session, bool accept) { directory_.acceptInvitation(session, accept); }
    int sessionCount() const { return sessions_.count(); }
    // Closed sessions whose threads have not been seen to end yet.
    int parkedSessionCount() const { return sessions_.parkedCount(); }
    SessionRef sessionAt(int i) const { return sessions_.at(i); }
    // The first session whose user is being asked to accept, or none.
    SessionRef pendingInvitation() const { return sessions_.firstAwaitingAnswer(); }
    bool hasSessionWith(const OnlineUser& user) const { return sessions_.anyWithPartnerIp(user.ip); }
    bool isSession(const PartnerSession* s) const { return sessions_.contains(s); }
    // A reference to `s` while it is listed, else none.
    SessionRef sessionRef(const PartnerSession* s) const { return sessions_.refOf(s); }
    SessionRef sessionOfPeer(const PeerConnection* c) const { return sessions_.ofConnection(c); }
    // True if any partner session is connected.
    bool anyConnected() const { return sessions_.anyConnected(); }
    uint16_t localPort() const { return service_.localPort(); }
    void setLocalPort(uint16_t port) { service_.setLocalPort(port); }

    void openWebPage(const char* url);
    // The transport fields of a SyncInfo from a host time record (defaults
    // where the host gave none).
    static void syncFieldsFrom(const VstTimeInfo& t, SyncInfoFields& fields);

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

    // SessionHost, for the sessions.
    void sessionConnected(PartnerSession& session) override;
    void sessionClosed(PartnerSession& session) override;
    void disconnectOthers(PartnerSession& keep) override { directory_.disconnectOthers(keep); }
    void statusValues(StatusReportFields& fields) override;
    void onRemoteSetting(PartnerSession& session, const RemoteSettingFields& fields) override;
    void transportSnapshot(SyncInfoFields& fields) override;
    void fileOffered(PartnerSession& session) override { instances_.tellFileWaiting(&session); }
    FilePacingSettings* filePacing() override { return this; }

    // FilePacingSettings, on the options.
    double upstreamRate() const override { return settings_.upstreamRate(); }
    float audioShare() const override { return settings_.audioQuality(); }
    int fileRate() const override { return settings_.fileRate(); }
    void applyMediaRates(double upstream, float share) override { settings_.applyMediaRates(upstream, share); }
    void showUserRates(double upstream, float share, int fileRate) override {
        settings_.showUserRates(upstream, share, fileRate);
    }
    void restoreUserRates(double upstream, float share, int fileRate) override;
    // Every session's send stream started afresh (codec or rate change).
    void restartSendStreams();

    // From the peer link's network thread.
    void onPeerPacket(const PeerMessage& message, const PeerAddress& from) override {
        directory_.onPeerPacket(message, from);
    }
    void onPeerTick() override { directory_.flushAll(); }
    void onLocalPort(uint16_t port) override { service_.setLocalPort(port); }
    void onLinkStatus(const char* text) override { postMessage(text); }
    double videoBudgetKbps() override { return settings_.videoRate(); }

    // From the camera's thread: the preview picture for every connected
    // partner, while logged in.
    void onCameraFrame(const uint8_t* picture, int width, int height, int stride) override;

    void onAudioRateChanged() override;
    // Every sending file sender paces again.
    void onFileRateChanged() override;
    void onMonitorModeChanged() override;

    MessageLog log_;
    Settings settings_;
    std::atomic<double> sampleRate_{48000.0};
    std::atomic<int> blockSize_{1024};
    std::atomic<int> instanceCount_{1};

    platform::RecursiveLock processLock_;
    platform::RecursiveLock listLock_;
    platform::RecursiveLock closingLock_;
    InstanceRegistry instances_{processLock_};
    MtcGenerator timeCode_;  // under processLock
    BlockCycle cycle_{processLock_, instances_, timeCode_, log_};
    SessionList sessions_{listLock_, closingLock_};
    ServiceSession service_{log_, settings_, listLock_, sessions_};
    PartnerDirectory directory_{*this, service_, settings_, instances_, log_, sessions_, listLock_};
    PeerLink* link_ = nullptr;
    std::unique_ptr<VideoCapture> capture_;

    LoopSchedule schedule_;
    std::atomic<uint64_t> passes_{0};
};
