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
    s.resumeAt = 0;
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
    while (readIndex_ != writeIndex_ && !block_.full()) {
        Slot& m = ring_[readIndex_];
        if (aligned_) {
            if (!hostPlaying) break;
            MidiBlockView v;
            parseMidiBlock(MessageBytes(m.message.data(), m.message.length()), v);
            const int64_t clock = m.localClock;
            if (clock >= end) break;  // a later block's
            if (clock + v.header.clockOffset < start) {  // wholly before this block
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
    for (uint32_t i = 0; i < v.header.eventCount; ++i) {
        MidiEvent e;
        if (!midiEventAt(v, i, e)) break;
        const bool cutBefore = i >= m.resumeAt && m.resumeAt > 0;  // did not fit last time
        if (!aligned_ && i < m.resumeAt) continue;  // handed over already
        int32_t delta = e.deltaFrames;
        if (aligned_) {
            const int64_t at = static_cast<int64_t>(m.localClock) + e.deltaFrames;
            if (at >= end) {  // a later block's
                finished = false;
                continue;
            }
            if (at < start && !cutBefore) continue;  // handed over, or too late
            delta = at < start ? 0 : static_cast<int32_t>(at - start);
        }
        if (block_.full()) {
            m.resumeAt = i;
            return false;
        }
        block_.append(e.data[0], e.data[1], e.data[2], delta);
    }
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
