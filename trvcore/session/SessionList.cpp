#include "trvcore/session/SessionList.h"

#include <cstring>

#include "trvcore/trvnetwork/PeerConnection.h"

namespace {
void removeAt(PartnerSession** items, int& count, int i) {
    std::memmove(items + i, items + i + 1, sizeof(items[0]) * static_cast<size_t>(count - i - 1));
    items[--count] = nullptr;
}
}  // namespace

SessionSnapshot::~SessionSnapshot() {
    for (int i = 0; i < count_; ++i) items_[i]->release();
}

bool SessionSnapshot::add(PartnerSession* s) {
    if (!s || count_ == kCapacity) return false;
    s->addRef();
    items_[count_++] = s;
    return true;
}

bool SessionSnapshot::adopt(PartnerSession* s) {
    if (!s || count_ == kCapacity) return false;
    items_[count_++] = s;
    return true;
}

SessionList::SessionList(platform::RecursiveLock& listLock, platform::RecursiveLock& closingLock)
    : listLock_(listLock), closingLock_(closingLock) {}

SessionList::~SessionList() {
    platform::ScopedLock closing(closingLock_);
    platform::ScopedLock list(listLock_);
    const int n = count();
    for (int i = 0; i < n; ++i) sessions_[i]->release();
    for (int i = 0; i < parkedCount_; ++i) parked_[i]->release();
}

bool SessionList::add(PartnerSession* s) {
    if (!s) return false;
    platform::ScopedLock guard(listLock_);
    const int n = count();
    if (n >= kMaxSessions) return false;
    s->addRef();
    sessions_[n] = s;
    count_.store(n + 1, std::memory_order_relaxed);
    return true;
}

bool SessionList::retire(PartnerSession& s) {
    platform::ScopedLock closing(closingLock_);
    platform::ScopedLock list(listLock_);
    int n = count();
    int i = 0;
    while (i < n && sessions_[i] != &s) ++i;
    if (i == n) return false;
    removeAt(sessions_, n, i);
    count_.store(n, std::memory_order_relaxed);
    forgetInvitation(&s);
    if (parkedCount_ < kMaxSessions) parked_[parkedCount_++] = &s;
    else unparked_.fetch_add(1, std::memory_order_relaxed);
    return true;
}

SessionRef SessionList::at(int i) const {
    platform::ScopedLock guard(listLock_);
    if (i < 0 || i >= count()) return SessionRef();
    return SessionRef(sessions_[i]);
}

bool SessionList::contains(const PartnerSession* s) const {
    platform::ScopedLock guard(listLock_);
    const int n = count();
    for (int i = 0; i < n; ++i)
        if (sessions_[i] == s) return true;
    return false;
}

SessionRef SessionList::refOf(const PartnerSession* s) const {
    platform::ScopedLock guard(listLock_);
    const int n = count();
    for (int i = 0; i < n; ++i)
        if (sessions_[i] == s) return SessionRef(sessions_[i]);
    return SessionRef();
}

SessionRef SessionList::withIp(uint32_t ip) const {
    platform::ScopedLock guard(listLock_);
    const int n = count();
    for (int i = 0; i < n; ++i)
        if (sessions_[i]->connection().partnerAddress().ip == ip) return SessionRef(sessions_[i]);
    return SessionRef();
}

SessionRef SessionList::ofConnection(const PeerConnection* c) const {
    platform::ScopedLock guard(listLock_);
    const int n = count();
    for (int i = 0; i < n; ++i)
        if (&sessions_[i]->connection() == c) return SessionRef(sessions_[i]);
    return SessionRef();
}

SessionRef SessionList::firstAwaitingAnswer() const {
    platform::ScopedLock guard(listLock_);
    const int n = count();
    for (int i = 0; i < n; ++i)
        if (sessions_[i]->awaitingAnswer()) return SessionRef(sessions_[i]);
    return SessionRef();
}

SessionRef SessionList::firstOpenOtherThan(const PartnerSession* keep) const {
    platform::ScopedLock guard(listLock_);
    const int n = count();
    for (int i = 0; i < n; ++i)
        if (sessions_[i] != keep && !sessions_[i]->closed()) return SessionRef(sessions_[i]);
    return SessionRef();
}

bool SessionList::anyConnected() const {
    platform::ScopedLock guard(listLock_);
    const int n = count();
    for (int i = 0; i < n; ++i)
        if (sessions_[i]->connected()) return true;
    return false;
}

bool SessionList::anyWithPartnerIp(const char* ipText) const {
    if (!ipText) return false;
    platform::ScopedLock guard(listLock_);
    const int n = count();
    for (int i = 0; i < n; ++i)
        if (std::strcmp(sessions_[i]->partnerIp(), ipText) == 0) return true;
    return false;
}

void SessionList::snapshot(SessionSnapshot& out) const {
    platform::ScopedLock guard(listLock_);
    const int n = count();
    for (int i = 0; i < n; ++i) out.add(sessions_[i]);
}

int SessionList::partnerNames(const char** out, int max) const {
    platform::ScopedLock guard(listLock_);
    const int n = count();
    int k = 0;
    for (int i = 0; i < n && k < max; ++i) out[k++] = sessions_[i]->partnerName();
    return k;
}

void SessionList::setOutgoing(PartnerSession* s) {
    platform::ScopedLock guard(listLock_);
    outgoing_ = s;
}

void SessionList::setIncoming(PartnerSession* s) {
    platform::ScopedLock guard(listLock_);
    incoming_ = s;
}

SessionRef SessionList::outgoing() const {
    platform::ScopedLock guard(listLock_);
    return SessionRef(outgoing_);
}

SessionRef SessionList::incoming() const {
    platform::ScopedLock guard(listLock_);
    return SessionRef(incoming_);
}

void SessionList::forgetInvitation(const PartnerSession* s) {
    platform::ScopedLock guard(listLock_);
    if (outgoing_ == s) outgoing_ = nullptr;
    if (incoming_ == s) incoming_ = nullptr;
}

int SessionList::parkedCount() const {
    platform::ScopedLock guard(closingLock_);
    return parkedCount_;
}

bool SessionList::isParked(const PartnerSession* s) const {
    platform::ScopedLock guard(closingLock_);
    for (int i = 0; i < parkedCount_; ++i)
        if (parked_[i] == s) return true;
    return false;
}

void SessionList::takeEnded(SessionSnapshot& out) {
    platform::ScopedLock guard(closingLock_);
    for (int i = 0; i < parkedCount_;) {
        if (parked_[i]->threadEnded() && out.adopt(parked_[i])) removeAt(parked_, parkedCount_, i);
        else ++i;
    }
}
