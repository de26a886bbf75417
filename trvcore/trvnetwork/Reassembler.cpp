#include "trvcore/trvnetwork/Reassembler.h"

#include "trvcore/trvnetwork/LinkClock.h"
#include "trvcore/trvnetwork/PeerMessage.h"

Reassembler::Reassembler(LinkClock& clock, ReassemblySink& sink)
    : clock_(clock), sink_(sink), slots_(new ReassemblySlot[kSlotCount]) {
    // Free list as a stack through `next`.
    for (size_t i = 0; i < kSlotCount; ++i) {
        slots_[i].prev = -1;
        slots_[i].next = static_cast<int16_t>(i + 1 < kSlotCount ? i + 1 : -1);
    }
    freeHead_ = 0;
}

void Reassembler::add(const Fragment& f, const PeerAddress& from) {
    if (ReassemblySlot* s = findActive(f.messageNumber, from.ip)) {
        addTo(static_cast<int16_t>(s - slots_.get()), f);
        return;
    }
    const uint32_t now = clock_.tickMs();
    if (recent_.contains(from.ip, f.messageNumber, now)) return;
    walkActive();
    const int16_t index = takeFree();
    if (index < 0) {
        sink_.onReassemblyErrors(2);
        return;
    }
    slots_[index].take(f.messageNumber, from, now);
    addTo(index, f);
}

void Reassembler::clear() {
    while (activeHead_ >= 0) release(activeHead_);
}

ReassemblySlot* Reassembler::findActive(uint16_t number, uint32_t ip) {
    for (int16_t i = activeHead_; i >= 0; i = slots_[i].next) {
        ReassemblySlot& s = slots_[i];
        if (s.number() == number && s.source().ip == ip) return &s;
    }
    return nullptr;
}

void Reassembler::walkActive() {
    const uint32_t now = clock_.tickMs();
    for (int16_t i = activeHead_; i >= 0;) {
        const int16_t next = slots_[i].next;
        if (slots_[i].complete()) {
            deliver(i);
        } else if (now - slots_[i].takenAt() > kExpiryMs) {
            sink_.onReassemblyErrors(1);
            clear();
            return;
        }
        i = next;
    }
}

void Reassembler::addTo(int16_t index, const Fragment& f) {
    switch (slots_[index].add(f)) {
        case ReassemblySlot::AddResult::Incomplete:
            return;
        case ReassemblySlot::AddResult::Complete:
            deliver(index);
            return;
        case ReassemblySlot::AddResult::BadRange:
        case ReassemblySlot::AddResult::Overflow:
            sink_.onReassemblyErrors(1);
            release(index);
            return;
    }
}

void Reassembler::deliver(int16_t index) {
    ReassemblySlot& s = slots_[index];
    recent_.remember(s.source().ip, static_cast<uint16_t>(s.number()), clock_.tickMs());
    if (checkMessage(s.message().data(), s.totalLength()) == MessageCheck::Ok)
        sink_.onReassembled(s.message(), s.source());
    else
        sink_.onReassemblyErrors(1);
    release(index);
}

int16_t Reassembler::takeFree() {
    const int16_t index = freeHead_;
    if (index < 0) return -1;
    ReassemblySlot& s = slots_[index];
    freeHead_ = s.next;
    s.prev = -1;
    s.next = activeHead_;
    if (activeHead_ >= 0) slots_[activeHead_].prev = index;
    activeHead_ = index;
    ++activeCount_;
    return index;
}

void Reassembler::release(int16_t index) {
    ReassemblySlot& s = slots_[index];
    if (s.prev >= 0) slots_[s.prev].next = s.next;
    else activeHead_ = s.next;
    if (s.next >= 0) slots_[s.next].prev = s.prev;
    s.reset();
    s.prev = -1;
    s.next = freeHead_;
    freeHead_ = index;
    --activeCount_;
}
