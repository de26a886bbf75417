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
    auto it = seqByAddress_.find(address);
    if (it == seqByAddress_.end()) return nullptr;
    const Session& s = sessions_.at(it->second);
    return live(s, nowMs) ? &s : nullptr;
}

SessionTable::Session* SessionTable::liveAt(uint32_t address, int64_t nowMs) {
    return const_cast<Session*>(static_cast<const SessionTable*>(this)->liveAt(address, nowMs));
}

const SessionTable::Session* SessionTable::liveOf(int64_t accountId, int64_t nowMs) const {
    auto it = seqByAccount_.find(accountId);
    if (it == seqByAccount_.end()) return nullptr;
    const Session& s = sessions_.at(it->second);
    return live(s, nowMs) ? &s : nullptr;
}

void SessionTable::eraseLocked(uint64_t seq) {
    auto it = sessions_.find(seq);
    if (it == sessions_.end()) return;
    seqByAddress_.erase(it->second.address);
    seqByAccount_.erase(it->second.account.id);
    invitations_.erase(it->second.address);
    sessions_.erase(it);
}

std::vector<EndedSession> SessionTable::login(uint32_t address, Account account, uint16_t udpPort,
                                              int64_t nowMs) {
    std::sort(account.partnerIds.begin(), account.partnerIds.end());
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<EndedSession> replaced;
    auto replace = [&](uint64_t seq) {
        auto it = sessions_.find(seq);
        if (it == sessions_.end()) return;
        if (live(it->second, nowMs)) replaced.push_back({it->second.account.name, it->second.address});
        eraseLocked(seq);
    };
    auto byAddress = seqByAddress_.find(address);
    if (byAddress != seqByAddress_.end()) replace(byAddress->second);
    auto byAccount = seqByAccount_.find(account.id);
    if (byAccount != seqByAccount_.end()) replace(byAccount->second);
    // Partner pairs are read at login; a partner already online learns of
    // pairs added since its own login from this one.
    for (int64_t partnerId : account.partnerIds) {
        auto it = seqByAccount_.find(partnerId);
        if (it != seqByAccount_.end()) addPartner(sessions_.at(it->second).account, account.id);
    }
    uint64_t seq = nextSeq_++;
    Session& s = sessions_[seq];
    s.address = address;
    s.udpPort = udpPort;
    s.lastSeenMs = nowMs;
    s.listPrefix = OnlineListWriter::recordPrefix(account.name, address);
    s.account = std::move(account);
    seqByAddress_[address] = seq;
    seqByAccount_[s.account.id] = seq;
    return replaced;
}

bool SessionTable::logout(uint32_t address, EndedSession& ended) {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = seqByAddress_.find(address);
    if (it == seqByAddress_.end()) return false;
    const Session& s = sessions_.at(it->second);
    ended = {s.account.name, s.address};
    eraseLocked(it->second);
    return true;
}

bool SessionTable::keepAlive(uint32_t address, int flags, int64_t nowMs) {
    std::lock_guard<std::mutex> guard(lock_);
    Session* s = liveAt(address, nowMs);
    if (!s) return false;
    s->lastSeenMs = nowMs;
    s->keepAliveFlags = flags & kStoredKeepAliveFlags;
    return true;
}

OnlineListResult SessionTable::onlineList(uint32_t viewer, int64_t nowMs) const {
    OnlineListResult result;
    std::lock_guard<std::mutex> guard(lock_);
    const Session* self = liveAt(viewer, nowMs);
    if (!self) return result;
    if (self->account.masterId != 0 && !liveOf(self->account.masterId, nowMs)) {
        result.status = ListStatus::MasterLoggedOut;
        return result;
    }
    const size_t cap = limits_.maxListedUsers;
    OnlineListWriter writer(std::min(cap, sessions_.size()));
    for (int64_t partnerId : self->account.partnerIds) {
        if (writer.count() >= cap) break;
        const Session* p = liveOf(partnerId, nowMs);
        if (p && p != self) writer.add(p->listPrefix, p->keepAliveFlags | kFlagPartner, p->udpPort);
    }
    for (const auto& entry : sessions_) {
        if (writer.count() >= cap) break;
        const Session& s = entry.second;
        if (&s == self || !live(s, nowMs) || hasPartner(self->account, s.account.id)) continue;
        writer.add(s.listPrefix, s.keepAliveFlags, s.udpPort);
    }
    result.status = ListStatus::Listed;
    result.users = writer.count();
    result.list = writer.finish();
    return result;
}

InviteStatus SessionTable::invite(uint32_t inviter, uint32_t invitee, int64_t nowMs) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!liveAt(inviter, nowMs)) return InviteStatus::InviterNotLoggedIn;
    if (inviter == invitee || !liveAt(invitee, nowMs)) return InviteStatus::InviteeNotOnline;
    invitations_[invitee] = {inviter, nowMs + limits_.invitationLifetimeMs};
    return InviteStatus::Registered;
}

InvitationStatus SessionTable::checkInvitation(uint32_t invitee, int64_t nowMs, uint32_t& inviter) const {
    std::lock_guard<std::mutex> guard(lock_);
    if (!liveAt(invitee, nowMs)) return InvitationStatus::NotLoggedIn;
    auto it = invitations_.find(invitee);
    if (it == invitations_.end() || nowMs >= it->second.expiresMs) return InvitationStatus::None;
    if (!liveAt(it->second.inviter, nowMs)) return InvitationStatus::None;
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
        eraseLocked(current->first);
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

size_t SessionTable::sessionCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return sessions_.size();
}

}  // namespace tarvonet
