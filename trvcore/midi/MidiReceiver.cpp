#include "trvcore/midi/MidiReceiver.h"

#include "trvcore/trvnetwork/MediaMessages.h"

MidiReceiver::MidiReceiver() : ring_(new Slot[kSlots]) {}

void MidiReceiver::emptyRing() {
    writeIndex_ = readIndex_ = writtenCount_ = readCount_ = 0;
}

void MidiReceiver::advance() {
    readIndex_ = readIndex_ + 1 == kSlots ? 0 : readIndex_ + 1;
    ++readCount_;
}

void MidiReceiver::onMidiBlock(const PeerMessage& message) {
    MidiBlockView v;
    if (!parseMidiBlock(MessageBytes(message.data(), message.length()), v)) return;
    const bool playing = (v.header.transportFlags & kTransportPlaying) != 0;
    platform::ScopedLock guard(lock_);
    if (transportSync_) {
        if (!aligned_ && playing) {
            aligned_ = true;
            emptyRing();
        } else if (aligned_ && !playing) {
            aligned_ = false;
            emptyRing();
        }
    }
    // A full ring: every unread message goes, the new one is kept.
    if (writtenCount_ >= readCount_ + kSlots) emptyRing();
    Slot& s = ring_[writeIndex_];
    s.localClock = v.header.localClock;
    s.transportFlags = v.header.transportFlags;
    s.seen = false;
    s.handed.reset();
    s.message.assign(message.data(), message.length());
    writeIndex_ = writeIndex_ + 1 == kSlots ? 0 : writeIndex_ + 1;
    ++writtenCount_;
}

void MidiReceiver::beginBlock(const VstTimeInfo* t, int frames) {
    block_.clear();
    if (!t) return;
    const int64_t start = static_cast<int64_t>(t->samplePos);
    const int64_t end = start + frames;
    const bool hostPlaying = (t->flags & kVstTransportPlaying) != 0;
    platform::ScopedLock guard(lock_);
    // Placed at song positions only while both transports play; a host
    // that stands gets the partner's MIDI with the sender's deltas.
    placing_ = aligned_ && hostPlaying;
    while (readIndex_ != writeIndex_) {
        Slot& m = ring_[readIndex_];
        if (block_.full()) {
            // The bound held the rest back: what is due now is not late in
            // the next block.
            for (uint32_t i = readIndex_; i != writeIndex_; i = i + 1 == kSlots ? 0 : i + 1) ring_[i].seen = true;
            break;
        }
        if (placing_) {
            MidiBlockView v;
            parseMidiBlock(MessageBytes(m.message.data(), m.message.length()), v);
            const int64_t clock = m.localClock;
            if (clock >= end) break;  // a later block's
            if (!m.seen && clock + v.header.clockOffset < start) {  // wholly before this block
                advance();
                continue;
            }
        }
        if (!convert(m, start, end)) break;
        advance();
    }
}

bool MidiReceiver::convert(Slot& m, int64_t start, int64_t end) {
    MidiBlockView v;
    if (!parseMidiBlock(MessageBytes(m.message.data(), m.message.length()), v)) return true;
    bool finished = true;
    const uint32_t count = v.header.eventCount < kMaxEvents ? v.header.eventCount : kMaxEvents;
    for (uint32_t i = 0; i < count; ++i) {
        if (m.handed[i]) continue;
        MidiEvent e;
        if (!midiEventAt(v, i, e)) break;
        int32_t delta = e.deltaFrames;
        if (placing_) {
            const int64_t at = static_cast<int64_t>(m.localClock) + e.deltaFrames;
            if (at >= end) {  // a later block's
                finished = false;
                continue;
            }
            if (at < start && !m.seen) {  // late already when it came
                m.handed[i] = true;
                continue;
            }
            delta = at < start ? 0 : static_cast<int32_t>(at - start);
        }
        if (block_.full()) {
            m.seen = true;
            return false;
        }
        block_.append(e.data[0], e.data[1], e.data[2], delta);
        m.handed[i] = true;
    }
    m.seen = true;
    return finished;
}

void MidiReceiver::setTransportSync(bool on) {
    platform::ScopedLock guard(lock_);
    transportSync_ = on;
    aligned_ = false;
    emptyRing();
}

bool MidiReceiver::aligned() const {
    platform::ScopedLock guard(lock_);
    return aligned_;
}

uint32_t MidiReceiver::waiting() const {
    platform::ScopedLock guard(lock_);
    return writtenCount_ - readCount_;
}
