#include "tools/trvhost/EffectInfo.h"

#include <cstring>

namespace {

constexpr size_t kProbeBytes = 512;
constexpr unsigned char kUnwritten = 0x7f;
constexpr VstInt32 kMaxListed = 16;

VstIntPtr dispatch(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                   float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

struct TextAnswer {
    VstIntPtr result = 0;
    std::string text;
};

// Asks a text opcode with a large pre-filled buffer and checks that the
// plug-in stayed within `limit` bytes (NUL included).
TextAnswer askText(AEffect* e, VstInt32 opcode, VstInt32 index, size_t limit, const char* what, std::FILE* out,
                   int& warnings) {
    char buffer[kProbeBytes];
    std::memset(buffer, kUnwritten, sizeof(buffer));
    TextAnswer a;
    a.result = dispatch(e, opcode, index, 0, buffer);
    const void* nul = std::memchr(buffer, '\0', sizeof(buffer));
    if (!nul) {
        // Nothing written at all is allowed (the opcode is not answered).
        if (static_cast<unsigned char>(buffer[0]) != kUnwritten) {
            std::fprintf(out, "warning: %s is not NUL-terminated within %zu bytes\n", what, sizeof(buffer));
            ++warnings;
        }
        return a;
    }
    const size_t length = static_cast<const char*>(nul) - buffer;
    a.text.assign(buffer, length);
    if (length + 1 > limit) {
        std::fprintf(out, "warning: %s takes %zu bytes, hosts may give only %zu\n", what, length + 1, limit);
        ++warnings;
    }
    return a;
}

std::string pinFlags(VstInt32 flags) {
    std::string s;
    if (flags & kVstPinIsActive) s += " active";
    if (flags & kVstPinIsStereo) s += " stereo";
    if (flags & kVstPinUseSpeaker) s += " speaker";
    return s.empty() ? " none" : s;
}

void printPins(AEffect* e, bool input, std::FILE* out, int& warnings) {
    const VstInt32 count = input ? e->numInputs : e->numOutputs;
    const VstInt32 shown = count < kMaxListed ? count : kMaxListed;
    for (VstInt32 i = 0; i < shown; ++i) {
        VstPinProperties p;
        std::memset(&p, 0, sizeof(p));
        // Guard bytes behind the part a plug-in may write.
        std::memset(p.future, kUnwritten, sizeof(p.future));
        const VstIntPtr r = dispatch(e, input ? effGetInputProperties : effGetOutputProperties, i, 0, &p);
        const char* kind = input ? "input" : "output";
        for (unsigned char c : p.future) {
            if (c != kUnwritten) {
                std::fprintf(out, "warning: %s %d properties written past byte 80\n", kind, i);
                ++warnings;
                break;
            }
        }
        if (r == 0) {
            std::fprintf(out, "%s %d: no properties\n", kind, i);
            continue;
        }
        p.label[sizeof(p.label) - 1] = '\0';
        p.shortLabel[sizeof(p.shortLabel) - 1] = '\0';
        std::fprintf(out, "%s %d: label \"%s\" short \"%s\" flags 0x%x%s arrangement %d\n", kind, i, p.label,
                     p.shortLabel, static_cast<unsigned>(p.flags), pinFlags(p.flags).c_str(), p.arrangementType);
    }
}

const char* canDoMeaning(VstIntPtr answer) {
    if (answer > 0) return "yes";
    if (answer < 0) return "no";
    return "don't know";
}

}  // namespace

const char* const kProbedCapabilities[] = {
    "receiveVstEvents", "receiveVstMidiEvent", "sendVstEvents", "sendVstMidiEvent", "bypass",
    "receiveVstTimeInfo", "sendVstMidiEvents", "trvhostNoSuchCapability", nullptr,
};

std::string describeEffectFlags(VstInt32 flags) {
    static const struct {
        VstInt32 bit;
        const char* name;
    } kNames[] = {
        {effFlagsHasEditor, "HasEditor"},
        {effFlagsHasClip, "HasClip"},
        {effFlagsHasVu, "HasVu"},
        {effFlagsCanMono, "CanMono"},
        {effFlagsCanReplacing, "CanReplacing"},
        {effFlagsProgramChunks, "ProgramChunks"},
        {effFlagsIsSynth, "IsSynth"},
        {effFlagsNoSoundInStop, "NoSoundInStop"},
        {effFlagsExtIsAsync, "ExtIsAsync"},
        {effFlagsExtHasBuffer, "ExtHasBuffer"},
        {effFlagsCanDoubleReplacing, "CanDoubleReplacing"},
    };
    std::string s;
    VstInt32 known = 0;
    for (const auto& n : kNames) {
        known |= n.bit;
        if (flags & n.bit) {
            if (!s.empty()) s += ' ';
            s += n.name;
        }
    }
    if (flags & ~known) {
        char rest[32];
        std::snprintf(rest, sizeof(rest), "%sunknown 0x%x", s.empty() ? "" : " ",
                      static_cast<unsigned>(flags & ~known));
        s += rest;
    }
    return s.empty() ? "none" : s;
}

std::string uniqueIdText(VstInt32 id) {
    const uint32_t u = static_cast<uint32_t>(id);
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((u >> shift) & 0xff);
        s += (c >= 0x20 && c < 0x7f) ? c : '.';
    }
    return s;
}

const char* categoryName(VstIntPtr category) {
    static const char* const kNames[] = {"unknown",  "effect",          "synth",      "analysis",
                                         "mastering", "spatializer",    "room fx",    "surround fx",
                                         "restoration", "offline process", "shell",   "generator"};
    if (category < 0 || category >= kPlugCategMaxCount) return "invalid";
    return kNames[category];
}

int printEffectInfo(AEffect* e, std::FILE* out) {
    int warnings = 0;
    const TextAnswer name = askText(e, effGetEffectName, 0, kVstMaxEffectNameLen, "effect name", out, warnings);
    const TextAnswer vendor = askText(e, effGetVendorString, 0, kVstMaxVendorStrLen, "vendor", out, warnings);
    const TextAnswer product = askText(e, effGetProductString, 0, kVstMaxProductStrLen, "product", out, warnings);
    std::fprintf(out, "effect name: \"%s\"%s\n", name.text.c_str(), name.result ? "" : " (not answered)");
    std::fprintf(out, "vendor: \"%s\"%s\n", vendor.text.c_str(), vendor.result ? "" : " (not answered)");
    std::fprintf(out, "product: \"%s\"%s\n", product.text.c_str(), product.result ? "" : " (not answered)");
    std::fprintf(out, "vendor version: %ld\n", static_cast<long>(dispatch(e, effGetVendorVersion)));
    std::fprintf(out, "VST version: %ld\n", static_cast<long>(dispatch(e, effGetVstVersion)));
    std::fprintf(out, "unique ID: '%s' (0x%08x)\n", uniqueIdText(e->uniqueID).c_str(),
                 static_cast<unsigned>(e->uniqueID));
    std::fprintf(out, "version: %d\n", e->version);
    std::fprintf(out, "flags: 0x%x %s\n", static_cast<unsigned>(e->flags), describeEffectFlags(e->flags).c_str());
    std::fprintf(out, "inputs: %d outputs: %d\n", e->numInputs, e->numOutputs);
    std::fprintf(out, "programs: %d parameters: %d\n", e->numPrograms, e->numParams);
    std::fprintf(out, "initial delay: %d\n", e->initialDelay);
    const VstIntPtr category = dispatch(e, effGetPlugCategory);
    std::fprintf(out, "category: %ld (%s)\n", static_cast<long>(category), categoryName(category));
    std::fprintf(out, "tail size: %ld\n", static_cast<long>(dispatch(e, effGetTailSize)));
    printPins(e, true, out, warnings);
    printPins(e, false, out, warnings);

    const TextAnswer program = askText(e, effGetProgramName, 0, kVstMaxProgNameLen, "program name", out, warnings);
    std::fprintf(out, "current program: %ld \"%s\"\n", static_cast<long>(dispatch(e, effGetProgram)),
                 program.text.c_str());
    const VstInt32 programs = e->numPrograms < kMaxListed ? e->numPrograms : kMaxListed;
    for (VstInt32 i = 0; i < programs; ++i) {
        const TextAnswer p =
            askText(e, effGetProgramNameIndexed, i, kVstMaxProgNameLen, "indexed program name", out, warnings);
        std::fprintf(out, "program %d: \"%s\"%s\n", i, p.text.c_str(), p.result == 1 ? "" : " (not answered)");
    }
    const VstInt32 params = e->numParams < kMaxListed ? e->numParams : kMaxListed;
    for (VstInt32 i = 0; i < params; ++i) {
        const TextAnswer n = askText(e, effGetParamName, i, kVstMaxParamStrLen, "parameter name", out, warnings);
        const TextAnswer d =
            askText(e, effGetParamDisplay, i, kVstMaxParamStrLen, "parameter display", out, warnings);
        const TextAnswer l = askText(e, effGetParamLabel, i, kVstMaxParamStrLen, "parameter label", out, warnings);
        const float value = e->getParameter ? e->getParameter(e, i) : 0.0f;
        std::fprintf(out, "parameter %d: name \"%s\" display \"%s\" label \"%s\" value %g automatable %ld\n", i,
                     n.text.c_str(), d.text.c_str(), l.text.c_str(), static_cast<double>(value),
                     static_cast<long>(dispatch(e, effCanBeAutomated, i)));
    }
    for (const char* const* cap = kProbedCapabilities; *cap; ++cap) {
        char text[64];
        std::snprintf(text, sizeof(text), "%s", *cap);
        const VstIntPtr answer = dispatch(e, effCanDo, 0, 0, text);
        std::fprintf(out, "canDo %s: %ld (%s)\n", *cap, static_cast<long>(answer), canDoMeaning(answer));
    }
    return warnings;
}
