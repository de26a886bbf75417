#include "trvcore/midi/MidiEventBlock.h"

#include <cstddef>
#include <new>

namespace {
constexpr int32_t kMidiEventByteSize = 24;

// The header, then as many event pointers as asked for (the declared array
// of two is only the customary declaration).
size_t blockBytes(int capacity) {
    const size_t pointers = offsetof(VstEvents, events) + sizeof(VstEvent*) * static_cast<size_t>(capacity);
    return pointers > sizeof(VstEvents) ? pointers : sizeof(VstEvents);
}
}  // namespace

MidiEventBlock::MidiEventBlock(int capacity)
    : capacity_(capacity > 0 ? capacity : 1),
      midi_(new VstMidiEvent[static_cast<size_t>(capacity_)]()),
      bytes_(new unsigned char[blockBytes(capacity_)]()) {
    block_ = new (bytes_.get()) VstEvents();
    VstEvent** pointers = reinterpret_cast<VstEvent**>(bytes_.get() + offsetof(VstEvents, events));
    for (int i = 0; i < capacity_; ++i) {
        VstMidiEvent& e = midi_[static_cast<size_t>(i)];
        e.type = kVstMidiType;
        e.byteSize = kMidiEventByteSize;
        pointers[i] = reinterpret_cast<VstEvent*>(&e);
    }
}

bool MidiEventBlock::append(uint8_t status, uint8_t data1, uint8_t data2, int32_t deltaFrames) {
    if (full()) return false;
    VstMidiEvent& e = midi_[static_cast<size_t>(count_++)];
    e.deltaFrames = deltaFrames;
    e.midiData[0] = static_cast<char>(status);
    e.midiData[1] = static_cast<char>(data1);
    e.midiData[2] = static_cast<char>(data2);
    e.midiData[3] = 0;
    return true;
}

VstEvents* MidiEventBlock::events() {
    block_->numEvents = count_;
    block_->reserved = 0;
    return block_;
}
