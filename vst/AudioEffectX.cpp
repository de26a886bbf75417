#include "vst/AudioEffectX.h"

#include <cmath>
#include <cstring>

#include "vst/AEffEditor.h"
#include "vst/VstStrings.h"

namespace {

// Builds the key record from effEditKeyDown/Up's arguments: character in
// index, virtual key in value, modifiers as a float in opt.
VstKeyCode keyFromArguments(VstInt32 index, VstIntPtr value, float opt) {
    VstKeyCode key{};
    key.character = index;
    key.virt = (value >= 0 && value <= 255) ? static_cast<unsigned char>(value) : 0;
    key.modifier = (std::isfinite(opt) && opt >= 0.0f && opt <= 255.0f) ? static_cast<unsigned char>(opt) : 0;
    return key;
}

bool pinInRange(VstInt32 index, VstInt32 count) { return index >= 0 && index < count; }

}  // namespace

AudioEffectX::AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : AudioEffect(audioMaster, numPrograms, numParams) {}

AudioEffectX::~AudioEffectX() = default;

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    char text[kVstTextBufferBytes];
    const bool paramInRange = index >= 0 && index < numParams;

    switch (opcode) {
    case effProcessEvents: {
        VstEvents* events = static_cast<VstEvents*>(ptr);
        if (!events || events->numEvents < 0 || events->numEvents > kMaxEvents) return 0;
        return processEvents(events) ? 1 : 0;
    }
    case effCanBeAutomated:
        return paramInRange && canParameterBeAutomated(index) ? 1 : 0;
    case effString2Parameter:
        if (!ptr || !paramInRange) return 0;
        vstTakeHostString(text, ptr);
        return string2parameter(index, text) ? 1 : 0;
    case effGetNumProgramCategories:
        return getNumCategories();
    case effGetProgramNameIndexed: {
        if (!ptr || index < 0 || index >= numPrograms) return 0;
        const VstInt32 category = (value >= -1 && value <= 0x7fffffff) ? static_cast<VstInt32>(value) : -1;
        vstClearText(text);
        if (!getProgramNameIndexed(category, index, text)) return 0;
        vstGiveHostString(ptr, text, kVstMaxProgNameLen);
        return 1;
    }
    case effCopyProgram:
        return index >= 0 && index < numPrograms && copyProgram(index) ? 1 : 0;
    case effConnectInput:
        if (!pinInRange(index, cEffect.numInputs)) return 0;
        inputConnected(index, value != 0);
        return 1;
    case effConnectOutput:
        if (!pinInRange(index, cEffect.numOutputs)) return 0;
        outputConnected(index, value != 0);
        return 1;
    case effGetInputProperties:
    case effGetOutputProperties: {
        if (!ptr) return 0;
        const bool input = opcode == effGetInputProperties;
        if (!pinInRange(index, input ? cEffect.numInputs : cEffect.numOutputs)) return 0;
        VstPinProperties local;
        std::memset(&local, 0, sizeof(local));
        const bool filled = input ? getInputProperties(index, &local) : getOutputProperties(index, &local);
        if (!filled) return 0;
        local.label[sizeof(local.label) - 1] = '\0';
        local.shortLabel[sizeof(local.shortLabel) - 1] = '\0';
        std::memcpy(ptr, &local, kVstPinPropertiesWritableBytes);
        return 1;
    }
    case effGetPlugCategory:
        return getPlugCategory();
    case effSetBypass:
        return setBypass(value != 0) ? 1 : 0;
    case effGetEffectName:
    case effGetVendorString:
    case effGetProductString: {
        if (!ptr) return 0;
        vstClearText(text);
        bool given = false;
        size_t limit = kVstMaxVendorStrLen;
        if (opcode == effGetEffectName) {
            given = getEffectName(text);
            limit = kVstMaxEffectNameLen;
        } else if (opcode == effGetVendorString) {
            given = getVendorString(text);
        } else {
            given = getProductString(text);
            limit = kVstMaxProductStrLen;
        }
        if (!given) return 0;
        vstGiveHostString(ptr, text, limit);
        return 1;
    }
    case effGetVendorVersion:
        return getVendorVersion();
    case effCanDo:
        if (!ptr) return 0;
        vstTakeHostString(text, ptr);
        return canDo(text);
    case effGetTailSize:
        return getTailSize();
    case effGetParameterProperties: {
        if (!ptr || !paramInRange) return 0;
        VstParameterProperties local;
        std::memset(&local, 0, sizeof(local));
        if (!getParameterProperties(index, &local)) return 0;
        local.label[sizeof(local.label) - 1] = '\0';
        local.shortLabel[sizeof(local.shortLabel) - 1] = '\0';
        local.categoryLabel[sizeof(local.categoryLabel) - 1] = '\0';
        std::memcpy(ptr, &local, sizeof(local));
        return 1;
    }
    case effGetVstVersion:
        return getVstVersion();
    case effEditKeyDown:
    case effEditKeyUp: {
        if (!editor) return 0;
        VstKeyCode key = keyFromArguments(index, value, opt);
        const bool used = opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
        return used ? 1 : 0;
    }
    case effBeginSetProgram:
        return beginSetProgram() ? 1 : 0;
    case effEndSetProgram:
        return endSetProgram() ? 1 : 0;
    case effStartProcess:
        return startProcess();
    case effStopProcess:
        return stopProcess();
    case effSetProcessPrecision:
        if (value != kVstProcessPrecision32 && value != kVstProcessPrecision64) return 0;
        return setProcessPrecision(static_cast<VstInt32>(value)) ? 1 : 0;
    default:
        return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

void AudioEffectX::wantEvents(VstInt32 filter) { callHost(audioMasterWantMidi, 0, filter); }

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
    return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

bool AudioEffectX::sendVstEventsToHost(VstEvents* events) {
    if (!events) return false;
    return callHost(audioMasterProcessEvents, 0, 0, events) == 1;
}

namespace {
VstInt32 latencyFrom(VstIntPtr v) { return (v > 0 && v <= 0x7fffffff) ? static_cast<VstInt32>(v) : 0; }
}  // namespace

VstInt32 AudioEffectX::getInputLatency() { return latencyFrom(callHost(audioMasterGetInputLatency)); }

VstInt32 AudioEffectX::getOutputLatency() { return latencyFrom(callHost(audioMasterGetOutputLatency)); }

VstInt32 AudioEffectX::canHostDo(char* text) {
    if (!text) return 0;
    const VstIntPtr answer = callHost(audioMasterCanDo, 0, 0, text);
    if (answer > 0) return 1;
    if (answer < 0) return -1;
    return 0;
}

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
    return callHost(audioMasterSizeWindow, width, height) != 0;
}

bool AudioEffectX::ioChanged() { return callHost(audioMasterIOChanged) != 0; }

bool AudioEffectX::updateDisplay() { return callHost(audioMasterUpdateDisplay) != 0; }

void AudioEffectX::setParameterAutomated(VstInt32 index, float value) {
    if (index < 0 || index >= numParams) return;
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

bool AudioEffectX::beginEdit(VstInt32 index) { return callHost(audioMasterBeginEdit, index) != 0; }

bool AudioEffectX::endEdit(VstInt32 index) { return callHost(audioMasterEndEdit, index) != 0; }
