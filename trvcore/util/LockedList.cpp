#include "trvcore/util/LockedList.h"

LockedList::~LockedList() { clear(false); }

LockedListNode* LockedList::first() {
    platform::ScopedLock guard(lock_);
    cursor_ = 1;
    return head_;
}

LockedListNode* LockedList::next() {
    platform::ScopedLock guard(lock_);
    LockedListNode* n = head_;
    for (int i = 0; n && i < cursor_; ++i) n = n->next;
    if (n) ++cursor_;
    return n;
}

bool LockedList::containsLocked(LockedListNode* node) const {
    for (LockedListNode* n = head_; n; n = n->next)
        if (n == node) return true;
    return false;
}

bool LockedList::contains(LockedListNode* node) {
    platform::ScopedLock guard(lock_);
    return containsLocked(node);
}

int LockedList::size() {
    platform::ScopedLock guard(lock_);
    int count = 0;
    for (LockedListNode* n = head_; n; n = n->next) ++count;
    return count;
}

void LockedList::insertBefore(LockedListNode* node, LockedListNode* anchor) {
    if (!node) return;
    platform::ScopedLock guard(lock_);
    if (containsLocked(node)) return;  // a node is linked at most once
    if (!anchor || !containsLocked(anchor)) {
        node->prev = nullptr;
        node->next = head_;
        if (head_) head_->prev = node;
        head_ = node;
        return;
    }
    node->next = anchor;
    node->prev = anchor->prev;
    if (anchor->prev) anchor->prev->next = node;
    else head_ = node;
    anchor->prev = node;
}

void LockedList::insertAfter(LockedListNode* node, LockedListNode* anchor) {
    if (!node) return;
    platform::ScopedLock guard(lock_);
    if (containsLocked(node)) return;
    if (!anchor || !containsLocked(anchor)) {
        node->next = nullptr;
        if (!head_) {
            node->prev = nullptr;
            head_ = node;
            return;
        }
        LockedListNode* tail = head_;
        while (tail->next) tail = tail->next;
        tail->next = node;
        node->prev = tail;
        return;
    }
    node->prev = anchor;
    node->next = anchor->next;
    if (anchor->next) anchor->next->prev = node;
    anchor->next = node;
}

void LockedList::remove(LockedListNode* node, bool deleteIt) {
    if (!node) return;
    {
        platform::ScopedLock guard(lock_);
        if (!containsLocked(node)) return;
        if (node->prev) node->prev->next = node->next;
        else head_ = node->next;
        if (node->next) node->next->prev = node->prev;
        node->next = node->prev = nullptr;
    }
    if (deleteIt) delete node;
}

void LockedList::clear(bool deleteAll) {
    platform::ScopedLock guard(lock_);
    while (head_) remove(head_, deleteAll);
}
