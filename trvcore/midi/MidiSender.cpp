#include "trvcore/midi/MidiSender.h"

#include "trvcore/audio/AudioStreamHost.h"
#include "trvcore/trvnetwork/MediaMessages.h"
#include "trvcore/trvnetwork/PeerConnection.h"

void MidiSender::send(const VstEvents* events) {
    if (!events || events->numEvents <= 0) return;
    const int count = events->numEvents;
    const VstEvent* const* list = events->events;
    platform::ScopedLock guard(lock_);
    // The clock of the block these events belong to: the host calls
    // processEvents before processReplacing, so the last cycle's end is
    // this block's start.
    const CycleTime& t = host_.cycleTime();
    MidiBlockHeader h;
    const double blockEnd = t.blockEnd.load(std::memory_order_relaxed);
    h.localClock = static_cast<uint32_t>(static_cast<int64_t>(blockEnd));
    h.sampleRate = static_cast<uint32_t>(t.sampleRate.load(std::memory_order_relaxed));
    h.transportFlags = static_cast<uint32_t>(t.flags.load(std::memory_order_relaxed));
    h.clockOffset = static_cast<int32_t>(static_cast<int64_t>(blockEnd) -
                                         static_cast<int64_t>(t.samplePosition.load(std::memory_order_relaxed)));
    for (int first = 0; first < count; first += kMaxEventsPerMessage) {
        const int last = first + kMaxEventsPerMessage < count ? first + kMaxEventsPerMessage : count;
        if (!beginMidiBlock(message_, h)) return;
        for (int i = first; i < last; ++i) {
            const VstEvent* e = list[i];
            if (!e || e->type != kVstMidiType) continue;
            const auto* midi = reinterpret_cast<const VstMidiEvent*>(e);
            MidiEvent out;
            for (int b = 0; b < 3; ++b) out.data[b] = static_cast<uint8_t>(midi->midiData[b]);
            out.deltaFrames = midi->deltaFrames;
            appendMidiEvent(message_, out);
        }
        // Sent even without events: the partner learns the clock.
        if (connection_.postMidi(message_)) ++messagesSent_;
    }
}
