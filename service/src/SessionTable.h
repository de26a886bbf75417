#pragma once
// The login sessions, keyed by the client's IPv4 address (the plug-in sends
// no cookie), and the mailbox of pending invitations.
//
// A session lives from its login until its logout, until its account is
// deleted (refreshAccounts), or until it has gone `sessionTimeoutMs` without
// a keep-alive; a dead session answers like an absent one at once and is
// removed (and reported) by the next expire().
// One address holds one session and one account is logged in at one address
// at a time. A login replaces the account's session at another address, and
// its own or a dead one at the same address; while another account's
// session at the address is alive, the login is refused. (The plug-in's
// later requests carry no name: two accounts at one address could not be
// told apart, and the newer would silently take over the other's session.)
//
// An invitation reaches the invitee only if the flags of his last keep-alive
// let it: not while he is connected with do-not-disturb set, and with
// partners-only set only from a partner.
//
// Thread-safe; every operation takes the table's lock. Times are
// milliseconds of a monotonic clock, passed in by the caller.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "Account.h"
#include "Reply.h"

namespace tarvonet {

// Keep-alive flag bits the table stores and lists.
constexpr int kFlagConnected = 1;
constexpr int kFlagPartner = 2;           // computed per viewer, never stored
constexpr int kFlagDoNotDisturb = 4;
constexpr int kFlagPartnersOnly = 8;
constexpr int kStoredKeepAliveFlags = kFlagConnected | kFlagDoNotDisturb | kFlagPartnersOnly;

struct SessionLimits {
    int64_t sessionTimeoutMs = 30000;
    int64_t invitationLifetimeMs = 5000;
    // The plug-in keeps at most 1000 online users; partners come first.
    size_t maxListedUsers = 1000;
};

struct EndedSession {
    std::string name;
    uint32_t address = 0;
};

enum class ListStatus { Listed, NotLoggedIn, MasterLoggedOut };
struct OnlineListResult {
    ListStatus status = ListStatus::NotLoggedIn;
    std::shared_ptr<const ChunkedText> list;  // when Listed
    size_t users = 0;
};

// The sessions whose accounts are to be read afresh, and where the logins
// stood then.
struct AccountQuery {
    struct Entry {
        int64_t accountId = 0;
        uint64_t session = 0;  // a new login of the account makes a new one
    };
    std::vector<Entry> sessions;
    uint64_t nextSession = 0;
};

struct AccountRefresh {
    size_t updated = 0;                // sessions whose pairs, master or flags changed
    std::vector<EndedSession> ended;   // sessions whose account is gone
    bool askAgain = false;             // logins came in between: their data may be older
};

enum class LoginStatus { Opened, AddressTaken };
struct LoginResult {
    LoginStatus status = LoginStatus::Opened;
    std::vector<EndedSession> replaced;  // Opened: the sessions the new one replaced
    std::string holder;                  // AddressTaken: the account logged in there
};

// Declined: the invitee's flags turn the invitation away; nothing is kept.
enum class InviteStatus { Registered, Declined, InviterNotLoggedIn, InviteeNotOnline };
enum class InvitationStatus { Waiting, None, NotLoggedIn };

class SessionTable {
public:
    explicit SessionTable(SessionLimits limits);

    LoginResult login(uint32_t address, Account account, uint16_t udpPort, int64_t nowMs);
    bool logout(uint32_t address, EndedSession& ended);
    // False (answered with 4006) when the address has no live session.
    bool keepAlive(uint32_t address, int flags, int64_t nowMs);
    OnlineListResult onlineList(uint32_t viewer, int64_t nowMs) const;
    InviteStatus invite(uint32_t inviter, uint32_t invitee, int64_t nowMs);
    InvitationStatus checkInvitation(uint32_t invitee, int64_t nowMs, uint32_t& inviter) const;
    // Removes dead sessions and stale invitations; returns the sessions removed.
    std::vector<EndedSession> expire(int64_t nowMs);

    // Administration changes for sessions already logged in: accountQuery()
    // names the accounts of every session, refreshAccounts() takes them read
    // afresh. A session whose account is not among them, or has another name
    // (a reused id), ends. Sessions that logged in between the two calls may
    // have read their accounts before the fresh read or after it: they are
    // left alone, and askAgain says that another round is due.
    AccountQuery accountQuery() const;
    AccountRefresh refreshAccounts(const AccountQuery& asked, std::vector<Account> found);

    size_t sessionCount() const;
    const SessionLimits& limits() const { return limits_; }

private:
    struct Session {
        uint64_t seq = 0;  // login order
        uint32_t address = 0;
        Account account;
        uint16_t udpPort = 0;
        int keepAliveFlags = 0;
        int64_t lastSeenMs = 0;
        std::string listPrefix;  // this user's fixed part of an online-list record
    };
    using SessionMap = std::map<uint64_t, Session>;
    struct Invitation {
        uint32_t inviter = 0;
        int64_t expiresMs = 0;
    };
    // The list of the first maxListedUsers live sessions, without partner
    // bits: what every viewer outside it with no partner online is shown.
    struct CommonList {
        uint64_t version = 0;
        int64_t validUntilMs = 0;  // the first of its sessions may time out then
        uint64_t lastSeq = 0;      // viewers up to this seq are in it themselves
        size_t users = 0;
        std::shared_ptr<const ChunkedText> list;
    };

    bool live(const Session& s, int64_t nowMs) const { return nowMs - s.lastSeenMs < limits_.sessionTimeoutMs; }
    const Session* liveAt(uint32_t address, int64_t nowMs) const;
    Session* liveAt(uint32_t address, int64_t nowMs);
    const Session* liveOf(int64_t accountId, int64_t nowMs) const;
    bool hasLivePartner(const Session& viewer, int64_t nowMs) const;
    static bool takesInvitation(const Session& invitee, const Session& inviter);
    void eraseLocked(SessionMap::iterator it);
    const CommonList& commonList(int64_t nowMs) const;
    OnlineListResult ownList(const Session& viewer, int64_t nowMs) const;

    const SessionLimits limits_;
    mutable std::mutex lock_;
    uint64_t nextSeq_ = 1;
    uint64_t version_ = 0;  // changes whenever something listed changes
    SessionMap sessions_;   // in login order: the list's order
    std::unordered_map<uint32_t, SessionMap::iterator> byAddress_;
    std::unordered_map<int64_t, SessionMap::iterator> byAccount_;
    std::unordered_map<uint32_t, Invitation> invitations_;  // by invitee address
    mutable CommonList common_;
};

}  // namespace tarvonet
