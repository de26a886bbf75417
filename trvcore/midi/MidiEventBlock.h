#pragma once
// A block of MIDI events the plug-in hands its host: a VstEvents header
// with room for a fixed number of short MIDI events, all allocated when
// the block is made, each of type kVstMidiType and byte size 24. Filling
// and handing it over allocate nothing.
#include <cstdint>
#include <memory>

#include "vst/VstAbi.h"

class MidiEventBlock {
public:
    explicit MidiEventBlock(int capacity);
    MidiEventBlock(const MidiEventBlock&) = delete;
    MidiEventBlock& operator=(const MidiEventBlock&) = delete;

    int capacity() const { return capacity_; }
    int count() const { return count_; }
    bool full() const { return count_ >= capacity_; }
    // False when full.
    bool append(uint8_t status, uint8_t data1, uint8_t data2, int32_t deltaFrames);
    void clear() { count_ = 0; }
    // The block as the host takes it, holding count() events.
    VstEvents* events();
    const VstMidiEvent& at(int i) const { return midi_[static_cast<size_t>(i)]; }

private:
    int capacity_;
    int count_ = 0;
    std::unique_ptr<VstMidiEvent[]> midi_;
    std::unique_ptr<unsigned char[]> bytes_;  // the VstEvents header and its pointers
    VstEvents* block_ = nullptr;
};
