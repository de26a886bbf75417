#pragma once
// Base of an effect: owns the AEffect record handed to the host and routes
// the host's calls on it to virtual functions.
//
// The record's five functions are static trampolines that check the record
// and its object before forwarding. The host frees the effect with effClose:
// the trampoline calls close() through the dispatcher, then deletes the
// object (the record is part of it, so the host must not touch it after).
//
// Threads: the dispatcher is called from the host's main or user-interface
// threads, processReplacing, process and (often) setParameter from its audio
// thread. The base keeps no state shared between them beyond what the
// subclass writes.
#include "vst/VstAbi.h"

class AEffEditor;

class AudioEffect {
public:
    // Largest block size accepted from a host.
    static constexpr VstInt32 kMaxBlockSize = 1 << 20;

    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    virtual ~AudioEffect();  // deletes the editor
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // Answers one dispatcher opcode. Strings are produced into a local
    // buffer and copied to the host's truncated to the customary lengths.
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

    virtual void open() {}
    virtual void close() {}
    virtual void setProgram(VstInt32 program);
    virtual VstInt32 getProgram() { return curProgram; }
    // `name` is NUL-terminated and at most 255 characters.
    virtual void setProgramName(char* name) {}
    // The buffers passed to the get...Name/Label/Display functions hold 256
    // bytes; what reaches the host is truncated.
    virtual void getProgramName(char* name) { name[0] = '\0'; }
    virtual void getParameterLabel(VstInt32 index, char* label) { label[0] = '\0'; }
    virtual void getParameterDisplay(VstInt32 index, char* text) { text[0] = '\0'; }
    virtual void getParameterName(VstInt32 index, char* text) { text[0] = '\0'; }
    virtual float getVu() { return 0.0f; }
    // Stores a pointer to plug-in-owned bytes that stay valid until the next
    // call; returns their count (0: no chunk). isPreset: one program rather
    // than the whole bank.
    virtual VstInt32 getChunk(void** data, bool isPreset) { return 0; }
    virtual VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) { return 0; }
    // Called only with an index in 0..numParams-1.
    virtual void setParameter(VstInt32 index, float value) {}
    virtual float getParameter(VstInt32 index) { return 0.0f; }
    // Accumulating process (deprecated): adds to the outputs. Default: adds
    // nothing.
    virtual void process(float** inputs, float** outputs, VstInt32 sampleFrames) {}
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
    // Called only with a rate > 0 and a block size in 1..kMaxBlockSize.
    virtual void setSampleRate(float newSampleRate) { sampleRate = newSampleRate; }
    virtual void setBlockSize(VstInt32 newBlockSize) { blockSize = newBlockSize; }
    virtual void suspend() {}
    virtual void resume() {}
    // effEditIdle while the effect has no editor: the idle work that does
    // not draw.
    virtual void idleWithoutEditor() {}

    AEffect* getAeffect() { return &cEffect; }
    // Takes ownership (a previous editor is deleted); marks the record as
    // having an editor when non-null.
    void setEditor(AEffEditor* newEditor);
    AEffEditor* getEditor() const { return editor; }
    void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
    void setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
    void setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }
    void setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }
    void setVersion(VstInt32 version) { cEffect.version = version; }
    void canProcessReplacing(bool state = true) { setFlag(effFlagsCanReplacing, state); }
    void programsAreChunks(bool state = true) { setFlag(effFlagsProgramChunks, state); }
    float getSampleRate() const { return sampleRate; }
    VstInt32 getBlockSize() const { return blockSize; }
    // The host's VST version (audioMasterVersion); 1 for a host that answers 0.
    VstInt32 getMasterVersion();
    audioMasterCallback getHostCallback() const { return audioMaster; }

protected:
    // Calls the host with this effect's record; 0 without a host.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);
    void setFlag(VstInt32 flag, bool state);

    audioMasterCallback audioMaster;
    AEffEditor* editor = nullptr;
    float sampleRate = 44100.0f;
    VstInt32 blockSize = 1024;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 curProgram = 0;
    AEffect cEffect;

private:
    static AudioEffect* fromRecord(AEffect* e);
    static VstIntPtr VSTCALLBACK hostDispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                                void* ptr, float opt);
    static void VSTCALLBACK hostProcess(AEffect* e, float** inputs, float** outputs, VstInt32 frames);
    static void VSTCALLBACK hostProcessReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 frames);
    static void VSTCALLBACK hostSetParameter(AEffect* e, VstInt32 index, float value);
    static float VSTCALLBACK hostGetParameter(AEffect* e, VstInt32 index);
    static bool buffersUsable(AEffect* e, float** inputs, float** outputs, VstInt32 frames);
};
