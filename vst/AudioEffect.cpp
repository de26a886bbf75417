#include "vst/AudioEffect.h"

#include <cmath>
#include <cstring>

#include "vst/AEffEditor.h"
#include "vst/VstStrings.h"

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : audioMaster(audioMaster),
      numPrograms(numPrograms > 0 ? numPrograms : 0),
      numParams(numParams > 0 ? numParams : 0) {
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = &AudioEffect::hostDispatcher;
    cEffect.process = &AudioEffect::hostProcess;
    cEffect.setParameter = &AudioEffect::hostSetParameter;
    cEffect.getParameter = &AudioEffect::hostGetParameter;
    cEffect.numPrograms = this->numPrograms;
    cEffect.numParams = this->numParams;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.processReplacing = &AudioEffect::hostProcessReplacing;
    cEffect.processDoubleReplacing = nullptr;
}

AudioEffect::~AudioEffect() {
    delete editor;
    editor = nullptr;
}

void AudioEffect::setProgram(VstInt32 program) {
    if (program >= 0 && program < numPrograms) curProgram = program;
}

void AudioEffect::setEditor(AEffEditor* newEditor) {
    if (editor != newEditor) delete editor;
    editor = newEditor;
    setFlag(effFlagsHasEditor, newEditor != nullptr);
}

VstInt32 AudioEffect::getMasterVersion() {
    VstIntPtr v = callHost(audioMasterVersion);
    if (v <= 0 || v > 0x7fffffff) return 1;
    return static_cast<VstInt32>(v);
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (!audioMaster) return 0;
    return audioMaster(&cEffect, opcode, index, value, ptr, opt);
}

void AudioEffect::setFlag(VstInt32 flag, bool state) {
    if (state) cEffect.flags |= flag;
    else cEffect.flags &= ~flag;
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    char text[kVstTextBufferBytes];
    const bool paramInRange = index >= 0 && index < numParams;

    switch (opcode) {
    case effOpen:
        open();
        return 0;
    case effClose:
        close();
        return 0;
    case effSetProgram:
        if (value >= 0 && value < numPrograms) setProgram(static_cast<VstInt32>(value));
        return 0;
    case effGetProgram:
        return getProgram();
    case effSetProgramName:
        if (!ptr) return 0;
        vstTakeHostString(text, ptr);
        setProgramName(text);
        return 0;
    case effGetProgramName:
        if (!ptr) return 0;
        vstClearText(text);
        getProgramName(text);
        vstGiveHostString(ptr, text, kVstMaxProgNameLen);
        return 0;
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
        if (!ptr) return 0;
        vstClearText(text);
        if (paramInRange) {
            if (opcode == effGetParamLabel) getParameterLabel(index, text);
            else if (opcode == effGetParamDisplay) getParameterDisplay(index, text);
            else getParameterName(index, text);
        }
        vstGiveHostString(ptr, text, kVstMaxParamStrLen);
        return 0;
    case effGetVu: {
        const float vu = getVu();
        if (!(vu > 0.0f)) return 0;
        return static_cast<VstIntPtr>((vu < 2.0f ? vu : 2.0f) * 32767.0f);
    }
    case effSetSampleRate:
        if (std::isfinite(opt) && opt > 0.0f) setSampleRate(opt);
        return 0;
    case effSetBlockSize:
        if (value > 0 && value <= kMaxBlockSize) setBlockSize(static_cast<VstInt32>(value));
        return 0;
    case effMainsChanged:
        if (value == 0) suspend();
        else resume();
        return 0;
    case effEditGetRect: {
        if (!ptr || !editor) return 0;
        ERect** out = static_cast<ERect**>(ptr);
        *out = nullptr;
        ERect* rect = nullptr;
        if (!editor->getRect(&rect) || !rect) return 0;
        *out = rect;
        return 1;
    }
    case effEditOpen:
        if (!editor) return 0;
        return editor->open(ptr) ? 1 : 0;
    case effEditClose:
        if (!editor) return 0;
        editor->close();
        return 1;
    case effEditIdle:
        // Hosts idle plug-ins whose editor is closed too: the plug-in's own
        // idle work runs then (an open editor runs it in its idle).
        if (!editor || !editor->isOpen()) {
            idleWithoutEditor();
            return 0;
        }
        editor->idle();
        return 1;
    case effIdentify:
        return kEffectIdentify;
    case effGetChunk: {
        if (!ptr) return 0;
        void** out = static_cast<void**>(ptr);
        void* data = nullptr;
        const VstInt32 size = getChunk(&data, index != 0);
        if (size <= 0 || !data) {
            *out = nullptr;
            return 0;
        }
        *out = data;
        return size;
    }
    case effSetChunk:
        if (!ptr || value <= 0 || value > 0x7fffffff) return 0;
        return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default:
        return 0;
    }
}

AudioEffect* AudioEffect::fromRecord(AEffect* e) {
    if (!e || e->magic != kEffectMagic || !e->object) return nullptr;
    AudioEffect* effect = static_cast<AudioEffect*>(e->object);
    // A record that is not the object's own is not ours to forward.
    if (&effect->cEffect != e) return nullptr;
    return effect;
}

VstIntPtr VSTCALLBACK AudioEffect::hostDispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                                  void* ptr, float opt) {
    AudioEffect* effect = fromRecord(e);
    if (!effect) return 0;
    if (opcode == effClose) {
        effect->dispatcher(effClose, index, value, ptr, opt);
        delete effect;
        return 0;
    }
    return effect->dispatcher(opcode, index, value, ptr, opt);
}

bool AudioEffect::buffersUsable(AEffect* e, float** inputs, float** outputs, VstInt32 frames) {
    if (frames <= 0) return false;
    if (e->numInputs > 0 && !inputs) return false;
    if (e->numOutputs > 0 && !outputs) return false;
    return true;
}

void VSTCALLBACK AudioEffect::hostProcess(AEffect* e, float** inputs, float** outputs, VstInt32 frames) {
    AudioEffect* effect = fromRecord(e);
    if (!effect || !buffersUsable(e, inputs, outputs, frames)) return;
    effect->process(inputs, outputs, frames);
}

void VSTCALLBACK AudioEffect::hostProcessReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 frames) {
    AudioEffect* effect = fromRecord(e);
    if (!effect || !buffersUsable(e, inputs, outputs, frames)) return;
    effect->processReplacing(inputs, outputs, frames);
}

void VSTCALLBACK AudioEffect::hostSetParameter(AEffect* e, VstInt32 index, float value) {
    AudioEffect* effect = fromRecord(e);
    if (!effect || index < 0 || index >= effect->numParams) return;
    effect->setParameter(index, value);
}

float VSTCALLBACK AudioEffect::hostGetParameter(AEffect* e, VstInt32 index) {
    AudioEffect* effect = fromRecord(e);
    if (!effect || index < 0 || index >= effect->numParams) return 0.0f;
    return effect->getParameter(index);
}
