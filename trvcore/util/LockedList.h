#pragma once
// Doubly linked list of intrusive nodes under a lock, with an iteration
// cursor. first()/next() are each locked, but iteration between the calls is
// not protected: callers that need a stable walk hold lock() themselves.
#include "platform/Lock.h"

struct LockedListNode {
    LockedListNode* next = nullptr;
    LockedListNode* prev = nullptr;
    virtual ~LockedListNode() = default;
};

class LockedList {
public:
    LockedList() = default;
    ~LockedList();
    LockedList(const LockedList&) = delete;
    LockedList& operator=(const LockedList&) = delete;

    LockedListNode* first();
    LockedListNode* next();
    // No anchor: the node becomes the new head.
    void insertBefore(LockedListNode* node, LockedListNode* anchor);
    // No anchor: the node is appended at the tail.
    void insertAfter(LockedListNode* node, LockedListNode* anchor);
    // Unlinks the node if it is in the list; frees it when deleteIt.
    void remove(LockedListNode* node, bool deleteIt);
    void clear(bool deleteAll);
    bool contains(LockedListNode* node);
    int size();

    platform::RecursiveLock& lock() { return lock_; }

private:
    bool containsLocked(LockedListNode* node) const;

    LockedListNode* head_ = nullptr;
    platform::RecursiveLock lock_;
    int cursor_ = 0;
};
