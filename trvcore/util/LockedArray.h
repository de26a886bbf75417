#pragma once
// Growable array of pointers under a lock. Capacity is the count rounded up
// to a multiple of 4: push grows it by 4 slots when the count is a multiple
// of 4.
#include <cstring>
#include <new>

#include "platform/Lock.h"

template <typename T>
class LockedArray {
public:
    LockedArray() = default;
    ~LockedArray() {
        platform::ScopedLock guard(lock_);
        delete[] items_;
        items_ = nullptr;
        count_ = 0;
    }
    LockedArray(const LockedArray&) = delete;
    LockedArray& operator=(const LockedArray&) = delete;

    // False when memory for the larger array could not be had.
    bool push(T* item) {
        platform::ScopedLock guard(lock_);
        if (count_ % 4 == 0) {
            T** grown = new (std::nothrow) T*[count_ + 4];
            if (!grown) return false;
            if (count_) std::memcpy(grown, items_, sizeof(T*) * count_);
            delete[] items_;
            items_ = grown;
        }
        items_[count_++] = item;
        return true;
    }

    // Removes the first equal entry; the others keep their order.
    bool remove(T* item) {
        platform::ScopedLock guard(lock_);
        for (int i = 0; i < count_; ++i) {
            if (items_[i] != item) continue;
            std::memmove(items_ + i, items_ + i + 1, sizeof(T*) * (count_ - i - 1));
            --count_;
            return true;
        }
        return false;
    }

    int count() {
        platform::ScopedLock guard(lock_);
        return count_;
    }
    int capacity() {
        platform::ScopedLock guard(lock_);
        return (count_ + 3) / 4 * 4;
    }
    T* at(int i) {
        platform::ScopedLock guard(lock_);
        return (i >= 0 && i < count_) ? items_[i] : nullptr;
    }
    platform::RecursiveLock& lock() { return lock_; }

private:
    platform::RecursiveLock lock_;
    int count_ = 0;
    T** items_ = nullptr;
};
