#include "trvcore/audio/MediaQueue.h"

#include <cstddef>
#include <limits>
#include <new>

namespace {

bool intersects(int a, int aLength, int b, int bLength) {
    return aLength > 0 && bLength > 0 && a < b + bLength && b < a + aLength;
}

}  // namespace

MediaQueue* MediaQueue::create(int slotCount, int arenaSize) {
    MediaQueue* q = new (std::nothrow) MediaQueue(slotCount, arenaSize);
    if (q && !q->valid()) {
        delete q;
        q = nullptr;
    }
    return q;
}

MediaQueue::MediaQueue(int slotCount, int arenaSize) {
    if (slotCount >= 1 && arenaSize >= 1) {
        slots_ = new (std::nothrow) MediaSlot[static_cast<size_t>(slotCount)]();
        arena_ = new (std::nothrow) uint8_t[static_cast<size_t>(arenaSize)];
    }
    if (!valid()) {
        delete[] slots_;
        delete[] arena_;
        slots_ = nullptr;
        arena_ = nullptr;
        return;
    }
    slotCount_ = slotCount;
    arenaSize_ = arenaSize;
    for (int i = 0; i < slotCount_; ++i) slots_[i].data = arena_;
    reset();
}

MediaQueue::~MediaQueue() {
    delete[] slots_;
    delete[] arena_;
}

void MediaQueue::reset() {
    platform::ScopedLock guard(lock_);
    resetLocked();
}

void MediaQueue::resetLocked() {
    writeClock_ = 0;
    readClock_ = 0;
    readIndex_ = 0;
    writeIndex_ = 0;
    pushedCount_ = 0;
    poppedCount_ = 0;
    arenaWriteOffset_ = 0;
    bytesReleased_ = 0;
    bytesCommitted_ = 0;
    ++generation_;
    reserved_ = false;
    // The held slot stays protected: the consumer may be reading it while
    // the producer resets on overflow.
}

void MediaQueue::setDelay(int32_t delay) {
    platform::ScopedLock guard(lock_);
    delay_ = delay;
    resetLocked();
}

// True when [offset, offset + length) touches neither unread payload nor
// the held slot.
bool MediaQueue::isFree(int offset, int length) const {
    if (bytesCommitted_ > bytesReleased_) {
        const int r = offsetOf(slots_[readIndex_]);
        const int w = arenaWriteOffset_;
        if (r < w) {
            if (intersects(offset, length, r, w - r)) return false;
        } else if (intersects(offset, length, r, arenaSize_ - r) ||
                   intersects(offset, length, 0, w)) {
            return false;
        }
    }
    if (heldIndex_ >= 0) {
        const MediaSlot& h = slots_[heldIndex_];
        if (intersects(offset, length, offsetOf(h), h.length)) return false;
    }
    return true;
}

MediaSlot* MediaQueue::reserve(int32_t length) {
    if (length < 0) return nullptr;
    platform::ScopedLock guard(lock_);
    if (!valid()) return nullptr;
    int offset = arenaWriteOffset_;
    if (length > arenaSize_ - offset) offset = 0;  // the payload never wraps
    const bool placed = length <= arenaSize_ && unreadLocked() < slotCount_ &&
                        writeIndex_ != heldIndex_ && isFree(offset, length);
    if (!placed) {
        resetLocked();
        return nullptr;
    }
    MediaSlot& s = slots_[writeIndex_];
    s.queueClock = writeClock_;
    s.stamp = 0;
    s.userWord = 0;
    s.duration = 0;
    s.data = arena_ + offset;
    s.length = length;
    arenaWriteOffset_ = offset + length;
    reserved_ = true;
    reservedGeneration_ = generation_;
    return &s;
}

bool MediaQueue::commit(int32_t duration) {
    platform::ScopedLock guard(lock_);
    if (!reserved_ || reservedGeneration_ != generation_) return false;
    reserved_ = false;
    MediaSlot& s = slots_[writeIndex_];
    writeIndex_ = next(writeIndex_);
    ++pushedCount_;
    bytesCommitted_ += s.length;
    s.queueClock = writeClock_;
    s.duration = duration;
    writeClock_ += static_cast<int64_t>(duration);
    return true;
}

void MediaQueue::endHold() { heldIndex_ = -1; }

void MediaQueue::finishRead() {
    platform::ScopedLock guard(lock_);
    endHold();
}

void MediaQueue::hold(int index, bool fromPeek) {
    heldIndex_ = index;
    heldFromPeek_ = fromPeek;
    heldGeneration_ = generation_;
}

MediaSlot* MediaQueue::peekLocked() {
    endHold();
    if (!valid() || unreadLocked() == 0) return nullptr;
    if (readClock_ + delay_ > writeClock_) return nullptr;
    hold(readIndex_, true);
    return &slots_[readIndex_];
}

void MediaQueue::releaseLocked() {
    const bool peekedSlotDropped = heldIndex_ >= 0 && heldFromPeek_ && heldGeneration_ != generation_;
    endHold();
    if (peekedSlotDropped || !valid() || unreadLocked() == 0) return;
    const MediaSlot& s = slots_[readIndex_];
    readClock_ += s.duration;
    bytesReleased_ += s.length;
    hold(readIndex_, false);
    readIndex_ = next(readIndex_);
    ++poppedCount_;
}

MediaSlot* MediaQueue::peek() {
    platform::ScopedLock guard(lock_);
    return peekLocked();
}

MediaSlot* MediaQueue::pop() {
    platform::ScopedLock guard(lock_);
    MediaSlot* s = peekLocked();
    if (s) releaseLocked();
    return s;
}

void MediaQueue::release() {
    platform::ScopedLock guard(lock_);
    releaseLocked();
}

MediaSlot* MediaQueue::takeLatest() {
    platform::ScopedLock guard(lock_);
    endHold();
    if (!valid() || unreadLocked() == 0) return nullptr;
    const int newest = writeIndex_ == 0 ? slotCount_ - 1 : writeIndex_ - 1;
    readIndex_ = writeIndex_;
    poppedCount_ = pushedCount_;
    bytesReleased_ = bytesCommitted_;
    readClock_ = writeClock_;
    hold(newest, false);
    return &slots_[newest];
}

int32_t MediaQueue::queuedDuration() const {
    platform::ScopedLock guard(lock_);
    int64_t sum = 0;
    int index = readIndex_;
    for (int n = unreadLocked(); n > 0; --n) {
        sum += slots_[index].duration;
        index = next(index);
    }
    if (sum > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (sum < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(sum);
}

int MediaQueue::unreadCount() const {
    platform::ScopedLock guard(lock_);
    return unreadLocked();
}

int64_t MediaQueue::writeClock() const {
    platform::ScopedLock guard(lock_);
    return writeClock_;
}

int64_t MediaQueue::readClock() const {
    platform::ScopedLock guard(lock_);
    return readClock_;
}

int32_t MediaQueue::delay() const {
    platform::ScopedLock guard(lock_);
    return delay_;
}

uint32_t MediaQueue::pushedCount() const {
    platform::ScopedLock guard(lock_);
    return pushedCount_;
}

uint32_t MediaQueue::poppedCount() const {
    platform::ScopedLock guard(lock_);
    return poppedCount_;
}

int64_t MediaQueue::bytesCommitted() const {
    platform::ScopedLock guard(lock_);
    return bytesCommitted_;
}

int64_t MediaQueue::bytesReleased() const {
    platform::ScopedLock guard(lock_);
    return bytesReleased_;
}
