#include "trvcore/audio/CycleSessions.h"

#include <cstring>

#include "trvcore/session/PartnerSession.h"

CycleSessions::~CycleSessions() {
    while (PartnerSession* s = takeLast()) s->release();
}

bool CycleSessions::add(PartnerSession& s) {
    platform::ScopedLock guard(lock_);
    if (s.closed() || count_ >= kCapacity) return false;
    for (int i = 0; i < count_; ++i)
        if (items_[i] == &s) return false;
    s.addRef();
    items_[count_++] = &s;
    return true;
}

void CycleSessions::remove(PartnerSession& s) {
    bool found = false;
    {
        platform::ScopedLock guard(lock_);
        for (int i = 0; i < count_; ++i) {
            if (items_[i] != &s) continue;
            std::memmove(items_ + i, items_ + i + 1, sizeof(items_[0]) * static_cast<size_t>(count_ - i - 1));
            items_[--count_] = nullptr;
            found = true;
            break;
        }
    }
    if (found) s.release();
}

PartnerSession* CycleSessions::takeLast() {
    platform::ScopedLock guard(lock_);
    if (count_ == 0) return nullptr;
    PartnerSession* s = items_[--count_];
    items_[count_] = nullptr;
    return s;
}

int CycleSessions::count() const {
    platform::ScopedLock guard(lock_);
    return count_;
}
