#pragma once
// The effect base with the 2.x extensions: events, pins, identity strings,
// capabilities, and the host calls an effect makes while it runs.
#include "vst/AudioEffect.h"

class AudioEffectX : public AudioEffect {
public:
    // Largest event count accepted in one effProcessEvents.
    static constexpr VstInt32 kMaxEvents = 1 << 16;

    AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    ~AudioEffectX() override;

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

    // Audio thread, just before processReplacing. numEvents is within
    // 0..kMaxEvents; the events belong to the host and are reused after the
    // call. Returns 1 if the events were taken.
    virtual VstInt32 processEvents(VstEvents* events) { return 0; }
    // Indexes below are within 0..numParams-1 / 0..numPrograms-1 / the pin
    // counts of the record; texts are NUL-terminated, at most 255 characters,
    // into buffers of 256 bytes.
    virtual bool canParameterBeAutomated(VstInt32 index) { return true; }
    virtual bool string2parameter(VstInt32 index, char* text) { return false; }
    virtual float getChannelParameter(VstInt32 channel, VstInt32 index) { return 0.0f; }
    virtual VstInt32 getNumCategories() { return 1; }
    virtual bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) { return false; }
    virtual bool copyProgram(VstInt32 destination) { return false; }
    virtual void inputConnected(VstInt32 index, bool state) {}
    virtual void outputConnected(VstInt32 index, bool state) {}
    // `properties` starts zeroed; only its first 80 bytes reach the host.
    virtual bool getInputProperties(VstInt32 index, VstPinProperties* properties) { return false; }
    virtual bool getOutputProperties(VstInt32 index, VstPinProperties* properties) { return false; }
    virtual bool getParameterProperties(VstInt32 index, VstParameterProperties* properties) { return false; }
    virtual VstInt32 getPlugCategory() { return kPlugCategUnknown; }
    virtual bool getEffectName(char* name) { return false; }
    virtual bool getVendorString(char* text) { return false; }
    virtual bool getProductString(char* text) { return false; }
    virtual VstInt32 getVendorVersion() { return 0; }
    // 1 yes, -1 no, 0 don't know.
    virtual VstInt32 canDo(char* text) { return 0; }
    // 0 unknown, 1 no tail, else samples.
    virtual VstInt32 getTailSize() { return 0; }
    virtual VstInt32 getVstVersion() { return 2300; }
    // True only when the effect really bypasses itself; hosts then use it.
    virtual bool setBypass(bool onOff) { return false; }
    virtual bool setProcessPrecision(VstInt32 precision) { return precision == kVstProcessPrecision32; }
    virtual VstInt32 startProcess() { return 0; }
    virtual VstInt32 stopProcess() { return 0; }
    virtual bool beginSetProgram() { return false; }
    virtual bool endSetProgram() { return false; }

    // Calls to the host.
    // Asks for MIDI input (audioMasterWantMidi).
    void wantEvents(VstInt32 filter = 1);
    // The host's time record with at least the fields of `filter`
    // (kVst...Valid bits) filled, or null. Host-owned; read only through its
    // flags.
    VstTimeInfo* getTimeInfo(VstInt32 filter);
    // Hands events to the host; call only from processReplacing. True when
    // the host reports them taken (some hosts take them and answer 0).
    bool sendVstEventsToHost(VstEvents* events);
    VstInt32 getInputLatency();
    VstInt32 getOutputLatency();
    // 1 yes, 0 no or unknown, -1 no.
    VstInt32 canHostDo(char* text);
    // Asks the host to resize the editor window.
    bool sizeWindow(VstInt32 width, VstInt32 height);
    // Tells the host that the pin counts or the initial delay changed.
    bool ioChanged();
    // Tells the host to re-read program and parameter texts.
    bool updateDisplay();
    // A parameter changed through the editor: sets it and tells the host.
    void setParameterAutomated(VstInt32 index, float value);
    bool beginEdit(VstInt32 index);
    bool endEdit(VstInt32 index);
};
