#pragma once
// The community web service's six form actions, each an HTTP POST to one
// path on the service host. Each action holds the request lock for its
// whole exchange, so the controller thread and the editor's thread take
// turns on a shared client; login and logout are meant for a temporary
// client so they do not wait behind the loop's requests.
//
// The connection is kept open between the chunked replies (online list,
// keep-alive, invitation check) and reused by the next action. A reused
// connection that the service has meanwhile closed is noticed before the
// request (or, failing that, by an empty reply) and replaced by a fresh
// one, once per action.
//
// Texts for the user are left in replyText (copy it out with replyText()).
#include <atomic>
#include <cstddef>

#include "platform/Lock.h"
#include "trvcore/trvnetwork/HttpClient.h"
#include "trvcore/trvnetwork/OnlineUser.h"

class ServiceClient : public HttpClient {
public:
    static constexpr const char* kServicePath = "/sys/interface/trv/index.php4";
    static constexpr int kReplyTextBytes = 1024;
    static constexpr int kDefaultAccountFlags = 16;
    // Keep-alive replies with 4006 in a row tolerated before the login
    // session counts as timed out.
    static constexpr int kTolerated4006 = 3;
    // fetchOnlineList results besides a count.
    static constexpr int kFetchFailed = -1;
    static constexpr int kMasterLoggedOut = -2;

    ServiceClient();
    ~ServiceClient() override;

    // True if the service accepted the login ("1001"); flagsOut gets the
    // account flags ("PLXFLAGS", else 16). `port` is the UDP port this
    // plug-in is reached at. On success one keep-alive with flags 0 follows.
    bool login(const char* user, const char* password, int port, int extra, int& flagsOut);
    // True whenever a reply was read.
    bool logout();
    // Reads up to `max` records into out. Returns the count, kFetchFailed,
    // or kMasterLoggedOut.
    int fetchOnlineList(OnlineUser* out, int max);
    // True if the login session is alive ("1003"). timedOut is set from the
    // fourth "4006" reply in a row on.
    bool keepAlive(int flags, bool& timedOut);
    // True if the service registered the invitation.
    bool invite(const char* ip);
    // True if an invitation is waiting; the inviter's dotted quad is kept
    // (inviterAddress) and, when inviterOut is given, copied into
    // inviterOut[OnlineUser::kIpBytes] before the lock is released.
    bool checkInvitation(char* inviterOut = nullptr);

    void replyText(char* out, size_t size) const;
    void inviterAddress(char* out) const;  // out[OnlineUser::kIpBytes]
    int failedKeepAlives() const;

    // Reuses the open connection when there is one, else connects.
    bool connect() override;

private:
    enum class Framing { ContentLength, EndMarker };

    // Connects, sends `body` to the service path and reads the reply.
    bool exchange(const char* body, Framing framing, bool keepOpen);
    // The reply body as received (empty when no header was read).
    const char* replyData() const;
    size_t replySize() const;
    bool replyHolds(const char* text) const;
    void setReplyText(const char* text, size_t length);

    mutable platform::RecursiveLock lock_;
    char replyText_[kReplyTextBytes] = {};
    char inviterAddress_[OnlineUser::kIpBytes] = {};
    int failedKeepAlives_ = 0;
    std::atomic<bool> connectedOnce_{false};
    bool reused_ = false;
};
