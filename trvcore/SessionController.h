#pragma once
// The one process-wide controller that holds the plug-in's networked state.
// The first LinkPlugin creates it, later ones count themselves in, the last
// one to go deletes it. Its thread makes one pass every 100 ms and runs the
// periodic web-service and session work on pass counters.
#include <atomic>
#include <cstdint>

#include "platform/Lock.h"
#include "trvcore/LoopSchedule.h"
#include "trvcore/MessageLog.h"
#include "trvcore/OnlineList.h"
#include "trvcore/Settings.h"
#include "trvcore/WorkerThread.h"
#include "trvcore/trvnetwork/NewsDownload.h"
#include "trvcore/trvnetwork/NewsPictureSource.h"
#include "trvcore/trvnetwork/PeerLinkListener.h"
#include "trvcore/trvnetwork/ServiceClient.h"

class PeerLink;
class SessionListener;

class SessionController : public WorkerThread, private SettingsObserver, private PeerLinkListener {
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
    // How long destruction waits past the join bound for a pass that is
    // inside a web request.
    static constexpr int kExitGraceMs = 15000;

    // The process-wide controller, or null.
    static SessionController* instance();
    // Adds one instance reference, creating the controller for the first.
    static SessionController* acquire();
    // Drops one instance reference; the last one deletes the controller.
    void release();
    int instanceCount() const { return instanceCount_.load(std::memory_order_relaxed); }

    // Status lines.
    void postMessage(const char* text);
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

    // Host audio values.
    void setSampleRate(double rate);
    double sampleRate() const { return sampleRate_.load(std::memory_order_relaxed); }
    void setBlockSize(int frames);
    int blockSize() const { return blockSize_.load(std::memory_order_relaxed); }

    // Transport sync source: `on` makes `object` the source and turns sync on;
    // off turns sync off only when `object` is the source.
    void setSyncSource(void* object, bool on);
    void* syncSource() const { return syncSource_.load(std::memory_order_relaxed); }
    bool syncOn() const { return settings_.syncOn(); }

    // Block cycle of the host's audio thread.
    void beginProcess(void* plugin, int frames);
    void endProcess(void* plugin);

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
    int sessionCount() const { return sessionCount_.load(std::memory_order_relaxed); }
    // True if any partner session is connected.
    bool anyConnected() const;
    uint16_t localPort() const { return localPort_.load(std::memory_order_relaxed); }
    void setLocalPort(uint16_t port) { localPort_.store(port, std::memory_order_relaxed); }

    void openWebPage(const char* url);

    // The process's UDP link to the partners (null if it could not be made).
    PeerLink* peerLink() const { return link_; }

    platform::RecursiveLock& processLock() { return processLock_; }
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
    void invitationPollPass();
    bool loginOnce();
    bool sendPortQuery(const char* ip);
    bool sendHolePunch(const char* ip);
    static void postLine(void* self, const char* line);

    // From the peer link's network thread.
    void onPeerPacket(const PeerMessage& message, const PeerAddress& from) override;
    void onPeerTick() override;
    void onLocalPort(uint16_t port) override { localPort_.store(port, std::memory_order_relaxed); }
    void onLinkStatus(const char* text) override { postMessage(text); }
    double videoBudgetKbps() override { return settings_.videoRate(); }

    void onAudioRateChanged() override {}
    void onFileRateChanged() override {}
    void onMonitorModeChanged() override {}

    Settings settings_;
    ServiceClient service_;
    std::atomic<double> sampleRate_{48000.0};
    std::atomic<int> blockSize_{1024};

    platform::RecursiveLock processLock_;
    platform::RecursiveLock listLock_;
    platform::RecursiveLock closingLock_;
    mutable platform::RecursiveLock listenerLock_;
    mutable platform::RecursiveLock textLock_;

    MessageLog log_;
    std::atomic<int> instanceCount_{1};
    std::atomic<int> sessionCount_{0};

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
    std::atomic<bool> awaitingInvitation_{false};
    std::atomic<uint32_t> awaitingSince_{0};

    LoopSchedule schedule_;
    std::atomic<uint64_t> passes_{0};
};
