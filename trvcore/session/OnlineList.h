#pragma once
// The controller's copy of the service's online list: up to 1000 users in
// the order they were first seen, one record per IP text. Each refresh
// merges a fetched list into it and posts one status line per change (who
// came online, who left, whose availability changed).
//
// A refresh, as the controller runs it:
//     OnlineList::Refresh refresh(list);           // skipped while another runs
//     if (!refresh.acquired()) return;
//     int n = client.fetchOnlineList(refresh.records(), OnlineList::kMaxUsers);
//     if (!loggedIn) return;                        // fetched records discarded
//     list.merge(refresh.records(), n, userName, partnerNames, partnerCount, post, context);
//
// Locking: the list is guarded by the controller's listLock, given at
// construction; merge, clear and the copy operations take it, so readers
// see either the old or the new list. The fetch runs outside it. The post
// callback is called with listLock held.
#include <atomic>
#include <memory>

#include "platform/Lock.h"
#include "trvcore/trvnetwork/OnlineUser.h"

class OnlineList {
public:
    static constexpr int kMaxUsers = 1000;
    static constexpr int kLineBytes = 256;
    using PostLine = void (*)(void* context, const char* line);

    // Holds the busy counter for one refresh and lends it the buffer the
    // fetch writes into (kMaxUsers records). A second refresh started while
    // one is under way does not acquire and must do nothing.
    class Refresh {
    public:
        explicit Refresh(OnlineList& list);
        ~Refresh();
        Refresh(const Refresh&) = delete;
        Refresh& operator=(const Refresh&) = delete;
        bool acquired() const { return acquired_; }
        // Null when not acquired.
        OnlineUser* records() const;

    private:
        OnlineList& list_;
        bool acquired_;
    };

    explicit OnlineList(platform::RecursiveLock& listLock);
    OnlineList(const OnlineList&) = delete;
    OnlineList& operator=(const OnlineList&) = delete;

    // Applies the result of one fetch: `result` records in `fetched`, or a
    // negative fetch result. A failure (-1) changes nothing and posts
    // nothing. "Master account logged out" (-2) empties the list and posts
    // its line once until a fetch succeeds again. Otherwise the fetched
    // records are merged: `ownName`'s entries are skipped, new IPs are
    // appended ("%s is online."), known IPs are updated, IPs no longer
    // fetched are removed ("%s has logged out."). Changes of the connected
    // byte of a user named in partnerNames (the partners of this user's
    // sessions) are applied without a line.
    void merge(const OnlineUser* fetched, int result, const char* ownName, const char* const* partnerNames,
               int partnerCount, PostLine post, void* context);

    int count() const;
    // Copies the i-th record; false if i is out of range.
    bool onlineUserAt(int i, OnlineUser& out) const;
    // Copies the first record whose name equals `name` exactly.
    bool findOnlineUser(const char* name, OnlineUser& out) const;
    // Empties the list (logout).
    void clear();
    bool masterAccountShown() const { return masterShown_.load(std::memory_order_relaxed); }
    // True while a refresh holds the busy counter.
    bool refreshing() const { return busy_.load(std::memory_order_relaxed) != 0; }

private:
    // Index of the listed record with the same IP text, or -1.
    int indexOf(const OnlineUser& user) const;
    void update(OnlineUser& listed, const OnlineUser& fetched, bool sessionPartner, PostLine post,
                void* context) const;
    void removeAt(int i);

    platform::RecursiveLock& lock_;
    std::unique_ptr<OnlineUser[]> users_;
    std::unique_ptr<OnlineUser[]> fetched_;
    int capacity_ = 0;
    int count_ = 0;
    std::atomic<int> busy_{0};
    std::atomic<bool> masterShown_{false};
};
