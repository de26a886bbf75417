#include "trvcore/session/OnlineList.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

void postf(OnlineList::PostLine post, void* context, const char* format, const char* name) {
    if (!post) return;
    char text[OnlineUser::kNameBytes];
    std::memcpy(text, name, sizeof text);
    text[sizeof text - 1] = '\0';
    char line[OnlineList::kLineBytes];
    std::snprintf(line, sizeof line, format, text);
    post(context, line);
}

// Compares a record's name with a text, never reading past the field.
bool sameName(const OnlineUser& user, const char* name) {
    return name && std::strncmp(user.name, name, sizeof user.name) == 0;
}

bool sameIp(const OnlineUser& a, const OnlineUser& b) { return std::strncmp(a.ip, b.ip, sizeof a.ip) == 0; }

bool named(const OnlineUser& user, const char* const* names, int count) {
    for (int i = 0; names && i < count; ++i)
        if (sameName(user, names[i])) return true;
    return false;
}

// Takes the new value; true if it differs from the old one.
bool change(uint8_t& byte, uint8_t value) {
    if (byte == value) return false;
    byte = value;
    return true;
}

}  // namespace

OnlineList::Refresh::Refresh(OnlineList& list) : list_(list), acquired_(false) {
    int idle = 0;
    acquired_ = list_.busy_.compare_exchange_strong(idle, 1, std::memory_order_acquire);
}

OnlineList::Refresh::~Refresh() {
    if (acquired_) list_.busy_.store(0, std::memory_order_release);
}

OnlineUser* OnlineList::Refresh::records() const { return acquired_ ? list_.fetched_.get() : nullptr; }

OnlineList::OnlineList(platform::RecursiveLock& listLock)
    : lock_(listLock),
      users_(new (std::nothrow) OnlineUser[kMaxUsers]),
      fetched_(new (std::nothrow) OnlineUser[kMaxUsers]) {
    capacity_ = (users_ && fetched_) ? kMaxUsers : 0;
}

void OnlineList::merge(const OnlineUser* fetched, int result, const char* ownName, const char* const* partnerNames,
                       int partnerCount, PostLine post, void* context) {
    if (result < 0) {
        if (result == -2 && !masterShown_.exchange(true, std::memory_order_relaxed)) {
            platform::ScopedLock guard(lock_);
            if (post) post(context, "Master account logged out!");
            count_ = 0;
        }
        return;
    }
    masterShown_.store(false, std::memory_order_relaxed);
    if (!fetched) result = 0;
    if (result > kMaxUsers) result = kMaxUsers;

    platform::ScopedLock guard(lock_);
    for (int f = 0; f < result; ++f) {
        const OnlineUser& user = fetched[f];
        if (sameName(user, ownName)) continue;
        const int i = indexOf(user);
        if (i >= 0) {
            OnlineUser& listed = users_[i];
            update(listed, user, named(listed, partnerNames, partnerCount), post, context);
        } else if (count_ < capacity_) {
            OnlineUser& added = users_[count_++];
            added = user;
            added.name[sizeof added.name - 1] = '\0';
            added.ip[sizeof added.ip - 1] = '\0';
            postf(post, context, "%s is online.", user.name);
        }
    }
    // This user's own entries do not keep someone else behind the same IP
    // listed.
    for (int i = 0; i < count_;) {
        bool fetchedAgain = false;
        for (int f = 0; f < result && !fetchedAgain; ++f)
            fetchedAgain = !sameName(fetched[f], ownName) && sameIp(fetched[f], users_[i]);
        if (fetchedAgain) {
            ++i;
            continue;
        }
        char name[OnlineUser::kNameBytes];
        std::memcpy(name, users_[i].name, sizeof name);
        removeAt(i);
        postf(post, context, "%s has logged out.", name);
    }
}

void OnlineList::update(OnlineUser& listed, const OnlineUser& fetched, bool sessionPartner, PostLine post,
                        void* context) const {
    const char* name = listed.name;
    listed.port = fetched.port;
    if (change(listed.partner, fetched.partner))
        postf(post, context, listed.partner ? "%s has become your partner" : "%s is no longer your partner", name);
    if (change(listed.connected, fetched.connected) && !sessionPartner)
        postf(post, context, listed.connected ? "%s is connected" : "%s is disconnected", name);
    if (change(listed.doNotDisturb, fetched.doNotDisturb) && listed.connected)
        postf(post, context,
              listed.doNotDisturb ? "%s does not want not to be disturbed" : "%s is allowing connections now", name);
    if (change(listed.partnersOnly, fetched.partnersOnly))
        postf(post, context,
              listed.partnersOnly ? "%s only wants Invitations from partners" : "%s allows Invitations from anyone",
              name);
}

int OnlineList::indexOf(const OnlineUser& user) const {
    for (int i = 0; i < count_; ++i)
        if (sameIp(users_[i], user)) return i;
    return -1;
}

void OnlineList::removeAt(int i) {
    for (int j = i; j + 1 < count_; ++j) users_[j] = users_[j + 1];
    --count_;
}

int OnlineList::count() const {
    platform::ScopedLock guard(lock_);
    return count_;
}

bool OnlineList::onlineUserAt(int i, OnlineUser& out) const {
    platform::ScopedLock guard(lock_);
    if (i < 0 || i >= count_) return false;
    out = users_[i];
    return true;
}

bool OnlineList::findOnlineUser(const char* name, OnlineUser& out) const {
    if (!name) return false;
    platform::ScopedLock guard(lock_);
    for (int i = 0; i < count_; ++i) {
        if (sameName(users_[i], name)) {
            out = users_[i];
            return true;
        }
    }
    return false;
}

void OnlineList::clear() {
    platform::ScopedLock guard(lock_);
    count_ = 0;
}
