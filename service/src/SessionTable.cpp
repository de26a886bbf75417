#include "SessionTable.h"

#include <algorithm>

#include "OnlineListWriter.h"

namespace tarvonet {

namespace {

bool hasPartner(const Account& account, int64_t id) {
    return std::binary_search(account.partnerIds.begin(), account.partnerIds.end(), id);
}

void addPartner(Account& account, int64_t id) {
    auto it = std::lower_bound(account.partnerIds.begin(), account.partnerIds.end(), id);
    if (it == account.partnerIds.end() || *it != id) account.partnerIds.insert(it, id);
}

}  // namespace

SessionTable::SessionTable(SessionLimits limits) : limits_(limits) {}

const SessionTable::Session* SessionTable::liveAt(uint32_t address, int64_t nowMs) const {
    auto it = byAddress_.find(address);
    if (it == byAddress_.end()) return nullptr;
    const Session& s = it->second->second;
    return live(s, nowMs) ? &s : nullptr;
}

SessionTable::Session* SessionTable::liveAt(uint32_t address, int64_t nowMs) {
    return const_cast<Session*>(static_cast<const SessionTable*>(this)->liveAt(address, nowMs));
}

const SessionTable::Session* SessionTable::liveOf(int64_t accountId, int64_t nowMs) const {
    auto it = byAccount_.find(accountId);
    if (it == byAccount_.end()) return nullptr;
    const Session& s = it->second->second;
    return live(s, nowMs) ? &s : nullptr;
}

bool SessionTable::hasLivePartner(const Session& viewer, int64_t nowMs) const {
    for (int64_t partnerId : viewer.account.partnerIds) {
        if (liveOf(partnerId, nowMs)) return true;
    }
    return false;
}

void SessionTable::eraseLocked(SessionMap::iterator it) {
    byAddress_.erase(it->second.address);
    byAccount_.erase(it->second.account.id);
    invitations_.erase(it->second.address);
    sessions_.erase(it);
    ++version_;
}

LoginResult SessionTable::login(uint32_t address, Account account, uint16_t udpPort, int64_t nowMs) {
    std::sort(account.partnerIds.begin(), account.partnerIds.end());
    std::lock_guard<std::mutex> guard(lock_);
    LoginResult result;
    auto byAddress = byAddress_.find(address);
    if (byAddress != byAddress_.end()) {
        const Session& there = byAddress->second->second;
        if (there.account.id != account.id && live(there, nowMs)) {
            result.status = LoginStatus::AddressTaken;
            result.holder = there.account.name;
            return result;
        }
    }
    auto replace = [&](SessionMap::iterator it) {
        if (live(it->second, nowMs)) result.replaced.push_back({it->second.account.name, it->second.address});
        eraseLocked(it);
    };
    if (byAddress != byAddress_.end()) replace(byAddress->second);
    auto byAccount = byAccount_.find(account.id);
    if (byAccount != byAccount_.end()) replace(byAccount->second);
    // A partner already online learns of a pair added since the last
    // refreshAccounts() from this login at once.
    for (int64_t partnerId : account.partnerIds) {
        auto it = byAccount_.find(partnerId);
        if (it != byAccount_.end()) addPartner(it->second->second.account, account.id);
    }
    uint64_t seq = nextSeq_++;
    auto it = sessions_.emplace_hint(sessions_.end(), seq, Session{});
    Session& s = it->second;
    s.seq = seq;
    s.address = address;
    s.udpPort = udpPort;
    s.lastSeenMs = nowMs;
    s.listPrefix = OnlineListWriter::recordPrefix(account.name, address);
    s.account = std::move(account);
    byAddress_[address] = it;
    byAccount_[s.account.id] = it;
    ++version_;
    return result;
}

bool SessionTable::logout(uint32_t address, EndedSession& ended) {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = byAddress_.find(address);
    if (it == byAddress_.end()) return false;
    ended = {it->second->second.account.name, address};
    eraseLocked(it->second);
    return true;
}

bool SessionTable::keepAlive(uint32_t address, int flags, int64_t nowMs) {
    std::lock_guard<std::mutex> guard(lock_);
    Session* s = liveAt(address, nowMs);
    if (!s) return false;
    s->lastSeenMs = nowMs;
    int stored = flags & kStoredKeepAliveFlags;
    if (stored != s->keepAliveFlags) {
        s->keepAliveFlags = stored;
        ++version_;
    }
    return true;
}

const SessionTable::CommonList& SessionTable::commonList(int64_t nowMs) const {
    if (common_.list && common_.version == version_ && nowMs < common_.validUntilMs) return common_;
    const size_t cap = limits_.maxListedUsers;
    OnlineListWriter writer(std::min(cap, sessions_.size()));
    common_.lastSeq = 0;
    common_.validUntilMs = INT64_MAX;
    for (const auto& entry : sessions_) {
        if (writer.count() >= cap) break;
        const Session& s = entry.second;
        if (!live(s, nowMs)) continue;
        writer.add(s.listPrefix, s.keepAliveFlags, s.udpPort);
        common_.lastSeq = s.seq;
        common_.validUntilMs = std::min(common_.validUntilMs, s.lastSeenMs + limits_.sessionTimeoutMs);
    }
    common_.users = writer.count();
    common_.list = writer.finish();
    common_.version = version_;
    return common_;
}

OnlineListResult SessionTable::ownList(const Session& viewer, int64_t nowMs) const {
    const size_t cap = limits_.maxListedUsers;
    OnlineListWriter writer(std::min(cap, sessions_.size()));
    for (int64_t partnerId : viewer.account.partnerIds) {
        if (writer.count() >= cap) break;
        const Session* p = liveOf(partnerId, nowMs);
        if (p && p != &viewer) writer.add(p->listPrefix, p->keepAliveFlags | kFlagPartner, p->udpPort);
    }
    for (const auto& entry : sessions_) {
        if (writer.count() >= cap) break;
        const Session& s = entry.second;
        if (&s == &viewer || !live(s, nowMs) || hasPartner(viewer.account, s.account.id)) continue;
        writer.add(s.listPrefix, s.keepAliveFlags, s.udpPort);
    }
    OnlineListResult result;
    result.status = ListStatus::Listed;
    result.users = writer.count();
    result.list = writer.finish();
    return result;
}

OnlineListResult SessionTable::onlineList(uint32_t viewer, int64_t nowMs) const {
    std::lock_guard<std::mutex> guard(lock_);
    const Session* self = liveAt(viewer, nowMs);
    if (!self) return OnlineListResult{};
    if (self->account.masterId != 0 && !liveOf(self->account.masterId, nowMs)) {
        OnlineListResult result;
        result.status = ListStatus::MasterLoggedOut;
        return result;
    }
    if (hasLivePartner(*self, nowMs)) return ownList(*self, nowMs);
    const CommonList& common = commonList(nowMs);
    if (self->seq <= common.lastSeq) return ownList(*self, nowMs);
    OnlineListResult result;
    result.status = ListStatus::Listed;
    result.users = common.users;
    result.list = common.list;
    return result;
}

bool SessionTable::takesInvitation(const Session& invitee, const Session& inviter) {
    int flags = invitee.keepAliveFlags;
    if ((flags & kFlagConnected) && (flags & kFlagDoNotDisturb)) return false;
    if ((flags & kFlagPartnersOnly) && !hasPartner(invitee.account, inviter.account.id)) return false;
    return true;
}

InviteStatus SessionTable::invite(uint32_t inviter, uint32_t invitee, int64_t nowMs) {
    std::lock_guard<std::mutex> guard(lock_);
    const Session* from = liveAt(inviter, nowMs);
    if (!from) return InviteStatus::InviterNotLoggedIn;
    const Session* to = inviter == invitee ? nullptr : liveAt(invitee, nowMs);
    if (!to) return InviteStatus::InviteeNotOnline;
    if (!takesInvitation(*to, *from)) return InviteStatus::Declined;
    invitations_[invitee] = {inviter, nowMs + limits_.invitationLifetimeMs};
    return InviteStatus::Registered;
}

InvitationStatus SessionTable::checkInvitation(uint32_t invitee, int64_t nowMs, uint32_t& inviter) const {
    std::lock_guard<std::mutex> guard(lock_);
    const Session* self = liveAt(invitee, nowMs);
    if (!self) return InvitationStatus::NotLoggedIn;
    auto it = invitations_.find(invitee);
    if (it == invitations_.end() || nowMs >= it->second.expiresMs) return InvitationStatus::None;
    const Session* from = liveAt(it->second.inviter, nowMs);
    // The flags may have changed since the invitation came.
    if (!from || !takesInvitation(*self, *from)) return InvitationStatus::None;
    inviter = it->second.inviter;
    return InvitationStatus::Waiting;
}

std::vector<EndedSession> SessionTable::expire(int64_t nowMs) {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<EndedSession> ended;
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        auto current = it++;
        if (live(current->second, nowMs)) continue;
        ended.push_back({current->second.account.name, current->second.address});
        eraseLocked(current);
    }
    for (auto it = invitations_.begin(); it != invitations_.end();) {
        if (nowMs >= it->second.expiresMs) {
            it = invitations_.erase(it);
        } else {
            ++it;
        }
    }
    return ended;
}

AccountQuery SessionTable::accountQuery() const {
    std::lock_guard<std::mutex> guard(lock_);
    AccountQuery query;
    query.sessions.reserve(sessions_.size());
    for (const auto& entry : sessions_) query.sessions.push_back({entry.second.account.id, entry.first});
    query.nextSession = nextSeq_;
    return query;
}

AccountRefresh SessionTable::refreshAccounts(const AccountQuery& asked, std::vector<Account> found) {
    auto byId = [](const Account& a, const Account& b) { return a.id < b.id; };
    std::sort(found.begin(), found.end(), byId);
    for (Account& account : found) std::sort(account.partnerIds.begin(), account.partnerIds.end());
    AccountRefresh refresh;
    std::lock_guard<std::mutex> guard(lock_);
    refresh.askAgain = nextSeq_ != asked.nextSession;
    for (const AccountQuery::Entry& ref : asked.sessions) {
        auto at = byAccount_.find(ref.accountId);
        if (at == byAccount_.end()) continue;  // logged out meanwhile
        SessionMap::iterator it = at->second;
        if (it->first != ref.session) continue;  // logged in again meanwhile
        Account probe;
        probe.id = ref.accountId;
        auto fresh = std::lower_bound(found.begin(), found.end(), probe, byId);
        Account& current = it->second.account;
        if (fresh == found.end() || fresh->id != ref.accountId || fresh->name != current.name) {
            refresh.ended.push_back({current.name, it->second.address});
            eraseLocked(it);
            continue;
        }
        if (fresh->flags == current.flags && fresh->masterId == current.masterId &&
            fresh->partnerIds == current.partnerIds) {
            continue;
        }
        current.flags = fresh->flags;
        current.masterId = fresh->masterId;
        current.partnerIds = fresh->partnerIds;
        ++refresh.updated;
        ++version_;
    }
    return refresh;
}

size_t SessionTable::sessionCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return sessions_.size();
}

}  // namespace tarvonet
