#pragma once
// This user's login at the community service: name and password, the
// login itself with the discovery of the UDP port partners reach us at,
// the keep-alive, the online list, the invitation poll with its hole
// punches, the news, and the note of a login the service no longer knows.
//
// Threads: the web requests run on the caller's thread: login, logout and
// invite checks on the editor's, the keep-alive, list refreshes and the
// invitation poll on the controller's. The loop's requests go through one
// client (which serialises them); login and logout use a client of their
// own so they do not wait behind the loop. The network thread only reads
// the online list and asks for a refresh (requestRefresh).
#include <atomic>
#include <cstdint>

#include "platform/Lock.h"
#include "trvcore/session/OnlineList.h"
#include "trvcore/trvnetwork/NewsDownload.h"
#include "trvcore/trvnetwork/NewsPictureSource.h"
#include "trvcore/trvnetwork/ServiceClient.h"

class MessageLog;
class PeerLink;
class SessionList;
class Settings;

// The availability flags a keep-alive publishes.
enum KeepAliveFlag : int {
    kKeepAliveConnected = 1,         // some session is connected
    kKeepAliveNotWhileConnected = 4, // no invitations while connected
    kKeepAlivePartnersOnly = 8,      // invitations from partners only
};

class ServiceSession {
public:
    static constexpr int kTextBytes = 256;
    static constexpr int kServiceReadDelayMs = 250;
    static constexpr int kTemporaryReadDelayMs = 300;
    static constexpr int kNewsReadDelayMs = 500;
    static constexpr int kPortQueryGapMs = 50;
    static constexpr int kPortReplyWaitMs = 500;
    static constexpr int kHolePunchRounds = 3;
    static constexpr int kHolePunchGapMs = 75;
    // An Invite from an address missing from the online list has the loop
    // refresh the list, at most this often.
    static constexpr uint32_t kWantedRefreshGapMs = 1000;

    // The online list is guarded by listLock; `sessions` gives the partner
    // names its changes are judged by.
    ServiceSession(MessageLog& log, Settings& settings, platform::RecursiveLock& listLock, const SessionList& sessions);
    ServiceSession(const ServiceSession&) = delete;
    ServiceSession& operator=(const ServiceSession&) = delete;

    // The link for port queries and hole punches (null: none are sent).
    void setLink(PeerLink* link) { link_ = link; }

    void setUserName(const char* text);
    void setPassword(const char* text);
    // Copies into out[kTextBytes].
    void userName(char* out) const;
    void password(char* out) const;

    bool loggedIn() const { return loggedIn_.load(std::memory_order_relaxed); }
    // One login action (nothing when logged in): true on success, else the
    // service's or the client's text is posted.
    bool loginOnce();
    // Asks the online users' plug-ins which port they see this one at and
    // waits for a reply: the port found, or kPeerUdpPort.
    uint16_t discoverPort();
    // The first half of logging out: no new session may start from here on.
    // False when not logged in.
    bool beginLogout();
    // The second half, once the sessions are closed: the logout action and
    // an empty online list.
    void endLogout();
    // Ends the request the loop may be inside, and every later one (the
    // controller is going away).
    void cancel() { client_.cancel(); }

    uint16_t localPort() const { return localPort_.load(std::memory_order_relaxed); }
    void setLocalPort(uint16_t port) { localPort_.store(port, std::memory_order_relaxed); }

    // The loop's work. keepAlive is true when the service says the login
    // is over (noted for timeoutDue).
    bool keepAlive(bool anyConnected);
    void refreshOnlineList();
    void invitationPoll();
    // Network thread: the list lacks an inviter; the loop refreshes it.
    void requestRefresh() { refreshWanted_.store(true, std::memory_order_relaxed); }
    void wantedRefresh();

    // A service time-out not yet acted on: takeTimeout() hands it to one
    // caller; timeoutDue tells whether one waits longer than `graceMs`.
    bool takeTimeout() { return timeoutNotedAt_.exchange(0, std::memory_order_relaxed) != 0; }
    bool timeoutDue(uint32_t graceMs) const;

    // invite()'s checks and announcement.
    bool invitationPending() { return client_.checkInvitation(); }
    void announceInvitation(const char* ip) { client_.invite(ip); }
    bool awaitingInvitation() const { return awaitingInvitation_.load(std::memory_order_relaxed); }
    uint32_t awaitingSince() const { return awaitingSince_.load(std::memory_order_relaxed); }

    const OnlineList& onlineList() const { return onlineList_; }
    bool findOnlineUserByIp(const char* ip, OnlineUser& out) const;

    // The news text (downloaded on first demand; null until that succeeds).
    const char* newsText();
    bool newsPicture(int i, NewsPicture& out);

private:
    static void postLine(void* self, const char* line);
    bool sendPortQuery(const char* ip);

    MessageLog& log_;
    Settings& settings_;
    platform::RecursiveLock& listLock_;
    const SessionList& sessions_;
    PeerLink* link_ = nullptr;
    ServiceClient client_;
    mutable platform::RecursiveLock textLock_;
    char userName_[kTextBytes] = {};
    char password_[kTextBytes] = {};
    std::atomic<uint16_t> localPort_;
    std::atomic<bool> loggedIn_{false};
    std::atomic<bool> awaitingInvitation_{false};
    std::atomic<uint32_t> awaitingSince_{0};
    std::atomic<uint32_t> timeoutNotedAt_{0};
    std::atomic<bool> refreshWanted_{false};
    uint32_t wantedRefreshAt_ = 0;  // controller thread
    OnlineList onlineList_;
    NewsDownload newsText_{NewsDownload::kNewsTextPath, kNewsReadDelayMs};
    NewsPictureSource newsPictures_[2] = {NewsPictureSource(NewsDownload::kPicturePath1),
                                          NewsPictureSource(NewsDownload::kPicturePath2)};
};
