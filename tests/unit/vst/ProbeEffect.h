#pragma once
// An effect for the dispatcher tests: answers with configurable texts and
// records what reaches it.
#include <cstring>
#include <string>
#include <vector>

#include "vst/AudioEffectX.h"
#include "vst/VstStrings.h"

class ProbeEffect : public AudioEffectX {
public:
    static constexpr VstInt32 kPrograms = 3;
    static constexpr VstInt32 kParams = 4;

    explicit ProbeEffect(audioMasterCallback host = nullptr, std::vector<std::string>* log = nullptr)
        : AudioEffectX(host, kPrograms, kParams), log_(log) {
        setNumInputs(2);
        setNumOutputs(2);
        canProcessReplacing();
    }
    ~ProbeEffect() override { note("destroyed"); }

    // What the text getters write (up to 255 characters), and whether the
    // bool-returning ones answer at all.
    std::string reply = "probe";
    bool answer = true;
    // Write kVstTextBufferBytes non-NUL bytes, as a careless effect might.
    bool fillWholeBuffer = false;

    int suspends = 0;
    int resumes = 0;
    int textCalls = 0;
    int processCalls = 0;
    VstInt32 lastFrames = -1;
    float** lastInputs = nullptr;
    float** lastOutputs = nullptr;
    std::vector<VstInt32> setParameterIndexes;
    bool lastChunkWasPreset = false;
    std::vector<char> chunkBytes{'c', 'h', 'u', 'n', 'k'};
    void* setChunkData = nullptr;
    VstInt32 setChunkSize = -1;
    bool setChunkPreset = false;
    std::string receivedText;
    int eventCalls = 0;
    VstPinProperties pinReply{};
    bool pinAnswer = true;
    int pinCalls = 0;

    void close() override { note("close"); }
    void suspend() override { ++suspends; }
    void resume() override { ++resumes; }
    void setProgramName(char* name) override { receivedText = name; }
    void getProgramName(char* name) override { produce(name); }
    void getParameterLabel(VstInt32, char* text) override { produce(text); }
    void getParameterDisplay(VstInt32, char* text) override { produce(text); }
    void getParameterName(VstInt32, char* text) override { produce(text); }
    bool getProgramNameIndexed(VstInt32, VstInt32, char* text) override { return answerWith(text); }
    bool getEffectName(char* text) override { return answerWith(text); }
    bool getVendorString(char* text) override { return answerWith(text); }
    bool getProductString(char* text) override { return answerWith(text); }
    bool string2parameter(VstInt32, char* text) override {
        receivedText = text;
        return true;
    }
    VstInt32 canDo(char* text) override {
        receivedText = text;
        text[0] = '#';  // must not reach the host's string
        return receivedText == "yes" ? 1 : -1;
    }
    VstInt32 processEvents(VstEvents*) override {
        ++eventCalls;
        return 1;
    }
    bool getInputProperties(VstInt32, VstPinProperties* p) override { return pin(p); }
    bool getOutputProperties(VstInt32, VstPinProperties* p) override { return pin(p); }
    VstInt32 getChunk(void** data, bool isPreset) override {
        lastChunkWasPreset = isPreset;
        *data = chunkBytes.empty() ? nullptr : chunkBytes.data();
        return static_cast<VstInt32>(chunkBytes.size());
    }
    VstInt32 setChunk(void* data, VstInt32 size, bool isPreset) override {
        setChunkData = data;
        setChunkSize = size;
        setChunkPreset = isPreset;
        return 1;
    }
    void setParameter(VstInt32 index, float) override { setParameterIndexes.push_back(index); }
    float getParameter(VstInt32 index) override { return 0.5f + static_cast<float>(index); }
    void process(float** in, float** out, VstInt32 frames) override { record(in, out, frames); }
    void processReplacing(float** in, float** out, VstInt32 frames) override { record(in, out, frames); }

    VstInt32 currentProgram() const { return curProgram; }
    using AudioEffect::cEffect;

private:
    void note(const char* what) {
        if (log_) log_->push_back(what);
    }
    void produce(char* text) {
        ++textCalls;
        if (fillWholeBuffer) {
            std::memset(text, 'w', kVstTextBufferBytes);
            return;
        }
        vstStringCopy(text, reply.c_str(), kVstTextBufferBytes);
    }
    bool answerWith(char* text) {
        if (!answer) return false;
        produce(text);
        return true;
    }
    bool pin(VstPinProperties* p) {
        ++pinCalls;
        if (!pinAnswer) return false;
        *p = pinReply;
        return true;
    }
    void record(float** in, float** out, VstInt32 frames) {
        ++processCalls;
        lastInputs = in;
        lastOutputs = out;
        lastFrames = frames;
    }

    std::vector<std::string>* log_;
};

// Calls the effect the way a host does: through its record.
inline VstIntPtr hostDispatch(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                              void* ptr = nullptr, float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}
