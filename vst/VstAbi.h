#pragma once
// The VST 2 plug-in binary interface as hosts see it: the AEffect record, the
// function-pointer shapes, the opcode numbers in both directions and the
// structures passed through them. Natural alignment on every target (8-byte
// packing gives the same layout for all of these), little-endian. Every field
// offset and every size is pinned below for 32-bit and 64-bit targets.
#include <cstddef>
#include <cstdint>

// Calling convention of the entry point, the five AEffect functions and the
// host callback: cdecl on 32-bit Windows, the only convention elsewhere.
#if defined(_WIN32) && !defined(_WIN64)
#  if defined(_MSC_VER)
#    define VSTCALLBACK __cdecl
#  else
#    define VSTCALLBACK __attribute__((__cdecl__))
#  endif
#else
#  define VSTCALLBACK
#endif

typedef int32_t VstInt32;
typedef intptr_t VstIntPtr;
typedef int16_t VstInt16;

// Four-character code, first character in the most significant byte (so the
// bytes of 'VstP' read "PtsV" in memory).
constexpr VstInt32 fourCC(char a, char b, char c, char d) {
    return static_cast<VstInt32>((static_cast<uint32_t>(static_cast<uint8_t>(a)) << 24) |
                                 (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 16) |
                                 (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 8) |
                                 static_cast<uint32_t>(static_cast<uint8_t>(d)));
}

constexpr VstInt32 kEffectMagic = fourCC('V', 's', 't', 'P');     // 0x56737450
constexpr VstInt32 kEffectIdentify = fourCC('N', 'v', 'E', 'f');  // answer to effIdentify

struct AEffect;

typedef VstIntPtr(VSTCALLBACK* audioMasterCallback)(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                                    VstIntPtr value, void* ptr, float opt);
typedef VstIntPtr(VSTCALLBACK* AEffectDispatcherProc)(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                                      VstIntPtr value, void* ptr, float opt);
typedef void(VSTCALLBACK* AEffectProcessProc)(AEffect* effect, float** inputs, float** outputs,
                                              VstInt32 sampleFrames);
typedef void(VSTCALLBACK* AEffectProcessDoubleProc)(AEffect* effect, double** inputs, double** outputs,
                                                    VstInt32 sampleFrames);
typedef void(VSTCALLBACK* AEffectSetParameterProc)(AEffect* effect, VstInt32 index, float parameter);
typedef float(VSTCALLBACK* AEffectGetParameterProc)(AEffect* effect, VstInt32 index);

// The exported entry point ("VSTPluginMain", also exported as "main").
typedef AEffect*(VSTCALLBACK* VstPluginMainProc)(audioMasterCallback host);

// ---------------------------------------------------------------------------
// The record the plug-in allocates and hands to the host.

struct AEffect {
    VstInt32 magic;  // kEffectMagic
    AEffectDispatcherProc dispatcher;
    AEffectProcessProc process;  // deprecated accumulating process; must be valid
    AEffectSetParameterProc setParameter;
    AEffectGetParameterProc getParameter;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 numInputs;
    VstInt32 numOutputs;
    VstInt32 flags;  // effFlags*; the 4 bytes after it on 64-bit stay zero
    VstIntPtr resvd1;  // host-owned
    VstIntPtr resvd2;  // host-owned
    VstInt32 initialDelay;  // latency in samples
    VstInt32 realQualities;  // deprecated
    VstInt32 offQualities;   // deprecated
    float ioRatio;           // deprecated, 1.0
    void* object;            // the plug-in's instance
    void* user;              // free for the plug-in
    VstInt32 uniqueID;
    VstInt32 version;
    AEffectProcessProc processReplacing;
    AEffectProcessDoubleProc processDoubleReplacing;
    char future[56];
};

enum VstAEffectFlags : VstInt32 {
    effFlagsHasEditor = 1 << 0,
    effFlagsHasClip = 1 << 1,  // deprecated
    effFlagsHasVu = 1 << 2,    // deprecated
    effFlagsCanMono = 1 << 3,  // deprecated
    effFlagsCanReplacing = 1 << 4,
    effFlagsProgramChunks = 1 << 5,
    effFlagsIsSynth = 1 << 8,
    effFlagsNoSoundInStop = 1 << 9,
    effFlagsExtIsAsync = 1 << 10,    // deprecated
    effFlagsExtHasBuffer = 1 << 11,  // deprecated
    effFlagsCanDoubleReplacing = 1 << 12,
};

// ---------------------------------------------------------------------------
// Host -> plug-in (dispatcher) opcodes.

enum AEffectOpcodes : VstInt32 {
    effOpen = 0,
    effClose = 1,
    effSetProgram = 2,
    effGetProgram = 3,
    effSetProgramName = 4,
    effGetProgramName = 5,
    effGetParamLabel = 6,
    effGetParamDisplay = 7,
    effGetParamName = 8,
    effGetVu = 9,  // deprecated
    effSetSampleRate = 10,
    effSetBlockSize = 11,
    effMainsChanged = 12,
    effEditGetRect = 13,
    effEditOpen = 14,
    effEditClose = 15,
    effEditDraw = 16,   // deprecated
    effEditMouse = 17,  // deprecated
    effEditKey = 18,    // deprecated
    effEditIdle = 19,
    effEditTop = 20,    // deprecated
    effEditSleep = 21,  // deprecated
    effIdentify = 22,   // deprecated
    effGetChunk = 23,
    effSetChunk = 24,
    effProcessEvents = 25,
    effCanBeAutomated = 26,
    effString2Parameter = 27,
    effGetNumProgramCategories = 28,  // deprecated
    effGetProgramNameIndexed = 29,
    effCopyProgram = 30,    // deprecated
    effConnectInput = 31,   // deprecated
    effConnectOutput = 32,  // deprecated
    effGetInputProperties = 33,
    effGetOutputProperties = 34,
    effGetPlugCategory = 35,
    effGetCurrentPosition = 36,
    effGetDestinationBuffer = 37,
    effOfflineNotify = 38,
    effOfflinePrepare = 39,
    effOfflineRun = 40,
    effProcessVarIo = 41,
    effSetSpeakerArrangement = 42,
    effSetBlockSizeAndSampleRate = 43,  // deprecated
    effSetBypass = 44,
    effGetEffectName = 45,
    effGetErrorText = 46,  // deprecated
    effGetVendorString = 47,
    effGetProductString = 48,
    effGetVendorVersion = 49,
    effVendorSpecific = 50,
    effCanDo = 51,
    effGetTailSize = 52,
    effIdle = 53,               // deprecated
    effGetIcon = 54,            // deprecated
    effSetViewPosition = 55,    // deprecated
    effGetParameterProperties = 56,
    effKeysRequired = 57,       // deprecated
    effGetVstVersion = 58,
    effEditKeyDown = 59,
    effEditKeyUp = 60,
    effSetEditKnobMode = 61,
    effGetMidiProgramName = 62,
    effGetCurrentMidiProgram = 63,
    effGetMidiProgramCategory = 64,
    effHasMidiProgramsChanged = 65,
    effGetMidiKeyName = 66,
    effBeginSetProgram = 67,
    effEndSetProgram = 68,
    effGetSpeakerArrangement = 69,
    effShellGetNextPlugin = 70,
    effStartProcess = 71,
    effStopProcess = 72,
    effSetTotalSampleToProcess = 73,
    effSetPanLaw = 74,
    effBeginLoadBank = 75,
    effBeginLoadProgram = 76,
    effSetProcessPrecision = 77,
    effGetNumMidiInputChannels = 78,
    effGetNumMidiOutputChannels = 79,
};

// ---------------------------------------------------------------------------
// Plug-in -> host (callback) opcodes.

enum AudioMasterOpcodes : VstInt32 {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterPinConnected = 4,  // deprecated; 0 means connected
    // 5 unused
    audioMasterWantMidi = 6,  // deprecated
    audioMasterGetTime = 7,
    audioMasterProcessEvents = 8,
    audioMasterSetTime = 9,   // deprecated
    audioMasterTempoAt = 10,  // deprecated
    audioMasterGetNumAutomatableParameters = 11,  // deprecated
    audioMasterGetParameterQuantization = 12,     // deprecated
    audioMasterIOChanged = 13,
    audioMasterNeedIdle = 14,  // deprecated
    audioMasterSizeWindow = 15,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetInputLatency = 18,
    audioMasterGetOutputLatency = 19,
    audioMasterGetPreviousPlug = 20,          // deprecated
    audioMasterGetNextPlug = 21,              // deprecated
    audioMasterWillReplaceOrAccumulate = 22,  // deprecated
    audioMasterGetCurrentProcessLevel = 23,
    audioMasterGetAutomationState = 24,
    audioMasterOfflineStart = 25,
    audioMasterOfflineRead = 26,
    audioMasterOfflineWrite = 27,
    audioMasterOfflineGetCurrentPass = 28,
    audioMasterOfflineGetCurrentMetaPass = 29,
    audioMasterSetOutputSampleRate = 30,          // deprecated
    audioMasterGetOutputSpeakerArrangement = 31,  // deprecated
    audioMasterGetVendorString = 32,
    audioMasterGetProductString = 33,
    audioMasterGetVendorVersion = 34,
    audioMasterVendorSpecific = 35,
    audioMasterSetIcon = 36,  // deprecated
    audioMasterCanDo = 37,
    audioMasterGetLanguage = 38,
    audioMasterOpenWindow = 39,   // deprecated
    audioMasterCloseWindow = 40,  // deprecated
    audioMasterGetDirectory = 41,
    audioMasterUpdateDisplay = 42,
    audioMasterBeginEdit = 43,
    audioMasterEndEdit = 44,
    audioMasterOpenFileSelector = 45,
    audioMasterCloseFileSelector = 46,
    audioMasterEditFile = 47,                    // deprecated
    audioMasterGetChunkFile = 48,                // deprecated
    audioMasterGetInputSpeakerArrangement = 49,  // deprecated
};

// ---------------------------------------------------------------------------
// String lengths. Whether a length counts the terminating NUL is read both
// ways by hosts; writing at most length - 1 characters plus NUL is safe.

enum VstStringConstants : VstInt32 {
    kVstMaxProgNameLen = 24,
    kVstMaxParamStrLen = 8,
    kVstMaxVendorStrLen = 64,
    kVstMaxProductStrLen = 64,
    kVstMaxEffectNameLen = 32,
    kVstMaxNameLen = 64,
    kVstMaxLabelLen = 64,
    kVstMaxShortLabelLen = 8,
    kVstMaxCategLabelLen = 24,
    kVstMaxFileNameLen = 100,
};

// Plug-in categories (effGetPlugCategory).
enum VstPlugCategory : VstInt32 {
    kPlugCategUnknown = 0,
    kPlugCategEffect = 1,
    kPlugCategSynth = 2,
    kPlugCategAnalysis = 3,
    kPlugCategMastering = 4,
    kPlugCategSpacializer = 5,
    kPlugCategRoomFx = 6,
    kPlugSurroundFx = 7,
    kPlugCategRestoration = 8,
    kPlugCategOfflineProcess = 9,
    kPlugCategShell = 10,
    kPlugCategGenerator = 11,
    kPlugCategMaxCount = 12,
};

// ---------------------------------------------------------------------------
// Transport and time.

struct VstTimeInfo {
    double samplePos;      // always valid
    double sampleRate;     // always valid
    double nanoSeconds;    // kVstNanosValid
    double ppqPos;         // kVstPpqPosValid; quarter notes
    double tempo;          // kVstTempoValid; BPM
    double barStartPos;    // kVstBarsValid; quarter-note position of the last bar start
    double cycleStartPos;  // kVstCyclePosValid
    double cycleEndPos;    // kVstCyclePosValid
    VstInt32 timeSigNumerator;    // kVstTimeSigValid
    VstInt32 timeSigDenominator;  // kVstTimeSigValid
    VstInt32 smpteOffset;         // kVstSmpteValid; 1/80 frame units
    VstInt32 smpteFrameRate;      // kVstSmpteValid; VstSmpteFrameRate
    VstInt32 samplesToNextClock;  // kVstClockValid
    VstInt32 flags;               // VstTimeInfoFlags
};

enum VstTimeInfoFlags : VstInt32 {
    kVstTransportChanged = 1,
    kVstTransportPlaying = 1 << 1,
    kVstTransportCycleActive = 1 << 2,
    kVstTransportRecording = 1 << 3,
    kVstAutomationWriting = 1 << 6,
    kVstAutomationReading = 1 << 7,
    kVstNanosValid = 1 << 8,
    kVstPpqPosValid = 1 << 9,
    kVstTempoValid = 1 << 10,
    kVstBarsValid = 1 << 11,
    kVstCyclePosValid = 1 << 12,
    kVstTimeSigValid = 1 << 13,
    kVstSmpteValid = 1 << 14,
    kVstClockValid = 1 << 15,
};

enum VstSmpteFrameRate : VstInt32 {
    kVstSmpte24fps = 0,
    kVstSmpte25fps = 1,
    kVstSmpte2997fps = 2,
    kVstSmpte30fps = 3,
    kVstSmpte2997dfps = 4,
    kVstSmpte30dfps = 5,
    kVstSmpteFilm16mm = 6,
    kVstSmpteFilm35mm = 7,
    kVstSmpte239fps = 10,
    kVstSmpte249fps = 11,
    kVstSmpte599fps = 12,
    kVstSmpte60fps = 13,
};

// ---------------------------------------------------------------------------
// Events. Read events by `type`, never by byteSize (24 and 32 are both seen);
// write byteSize = sizeof the struct.

enum VstEventTypes : VstInt32 {
    kVstMidiType = 1,
    kVstAudioType = 2,      // unused
    kVstVideoType = 3,      // unused
    kVstParameterType = 4,  // unused
    kVstTriggerType = 5,    // unused
    kVstSysExType = 6,
};

enum VstMidiEventFlags : VstInt32 {
    kVstMidiEventIsRealtime = 1,
};

struct VstEvent {
    VstInt32 type;
    VstInt32 byteSize;
    VstInt32 deltaFrames;  // sample offset into the coming block
    VstInt32 flags;
    char data[16];
};

// Header of a host- or plug-in-allocated block: numEvents pointers follow
// `reserved`; the two-element array is only the customary declaration.
struct VstEvents {
    VstInt32 numEvents;
    VstIntPtr reserved;  // 0
    VstEvent* events[2];
};

struct VstMidiEvent {
    VstInt32 type;  // kVstMidiType
    VstInt32 byteSize;
    VstInt32 deltaFrames;
    VstInt32 flags;
    VstInt32 noteLength;  // 0 if unknown
    VstInt32 noteOffset;
    char midiData[4];  // up to 3 bytes; midiData[3] reserved, 0
    char detune;       // cents
    char noteOffVelocity;
    char reserved1;
    char reserved2;
};

struct VstMidiSysexEvent {
    VstInt32 type;  // kVstSysExType
    VstInt32 byteSize;
    VstInt32 deltaFrames;
    VstInt32 flags;
    VstInt32 dumpBytes;
    VstIntPtr resvd1;
    char* sysexDump;
    VstIntPtr resvd2;
};

// ---------------------------------------------------------------------------
// Pins, editor rectangle, keys.

enum VstPinPropertiesFlags : VstInt32 {
    kVstPinIsActive = 1,
    kVstPinIsStereo = 1 << 1,  // first of a stereo pair
    kVstPinUseSpeaker = 1 << 2,  // arrangementType is valid
};

// Hosts built from some headers allocate only the first 80 bytes (up to
// `future`): plug-ins write no further than that.
struct VstPinProperties {
    char label[kVstMaxLabelLen];
    VstInt32 flags;
    VstInt32 arrangementType;  // VstSpeakerArrangementType
    char shortLabel[kVstMaxShortLabelLen];
    char future[48];
};
constexpr size_t kVstPinPropertiesWritableBytes = 80;

enum VstSpeakerArrangementType : VstInt32 {
    kSpeakerArrUserDefined = -2,
    kSpeakerArrEmpty = -1,
    kSpeakerArrMono = 0,
    kSpeakerArrStereo = 1,
    kSpeakerArr51 = 15,
    kSpeakerArr102 = 28,
};

struct ERect {
    VstInt16 top;
    VstInt16 left;
    VstInt16 bottom;
    VstInt16 right;
};

struct VstKeyCode {
    VstInt32 character;
    unsigned char virt;      // VstVirtualKey
    unsigned char modifier;  // VstModifierKey bits
};

enum VstVirtualKey : VstInt32 {
    VKEY_BACK = 1,
    VKEY_TAB,
    VKEY_CLEAR,
    VKEY_RETURN,
    VKEY_PAUSE,
    VKEY_ESCAPE,
    VKEY_SPACE,
    VKEY_NEXT,
    VKEY_END,
    VKEY_HOME,
    VKEY_LEFT,
    VKEY_UP,
    VKEY_RIGHT,
    VKEY_DOWN,
    VKEY_PAGEUP,
    VKEY_PAGEDOWN,
    VKEY_SELECT,
    VKEY_PRINT,
    VKEY_ENTER,
    VKEY_SNAPSHOT,
    VKEY_INSERT,
    VKEY_DELETE,
    VKEY_HELP,
    VKEY_NUMPAD0,
    VKEY_NUMPAD1,
    VKEY_NUMPAD2,
    VKEY_NUMPAD3,
    VKEY_NUMPAD4,
    VKEY_NUMPAD5,
    VKEY_NUMPAD6,
    VKEY_NUMPAD7,
    VKEY_NUMPAD8,
    VKEY_NUMPAD9,
    VKEY_MULTIPLY,
    VKEY_ADD,
    VKEY_SEPARATOR,
    VKEY_SUBTRACT,
    VKEY_DECIMAL,
    VKEY_DIVIDE,
    VKEY_F1,
    VKEY_F2,
    VKEY_F3,
    VKEY_F4,
    VKEY_F5,
    VKEY_F6,
    VKEY_F7,
    VKEY_F8,
    VKEY_F9,
    VKEY_F10,
    VKEY_F11,
    VKEY_F12,
    VKEY_NUMLOCK,
    VKEY_SCROLL,
    VKEY_SHIFT,
    VKEY_CONTROL,
    VKEY_ALT,
    VKEY_EQUALS,
};
static_assert(VKEY_SPACE == 7 && VKEY_ENTER == 19 && VKEY_NUMPAD0 == 24 && VKEY_F1 == 40 &&
                  VKEY_SHIFT == 54 && VKEY_EQUALS == 57,
              "virtual key codes");

enum VstModifierKey : VstInt32 {
    MODIFIER_SHIFT = 1,
    MODIFIER_ALTERNATE = 2,
    MODIFIER_COMMAND = 4,  // Control on Mac
    MODIFIER_CONTROL = 8,  // Ctrl on PC, Cmd on Mac
};

// ---------------------------------------------------------------------------
// Parameter properties (effGetParameterProperties).

enum VstParameterFlags : VstInt32 {
    kVstParameterIsSwitch = 1,
    kVstParameterUsesIntegerMinMax = 1 << 1,
    kVstParameterUsesFloatStep = 1 << 2,
    kVstParameterUsesIntStep = 1 << 3,
    kVstParameterSupportsDisplayIndex = 1 << 4,
    kVstParameterSupportsDisplayCategory = 1 << 5,
    kVstParameterCanRamp = 1 << 6,
};

struct VstParameterProperties {
    float stepFloat;
    float smallStepFloat;
    float largeStepFloat;
    char label[kVstMaxLabelLen];
    VstInt32 flags;
    VstInt32 minInteger;
    VstInt32 maxInteger;
    VstInt32 stepInteger;
    VstInt32 largeStepInteger;
    char shortLabel[kVstMaxShortLabelLen];
    VstInt16 displayIndex;
    VstInt16 category;
    VstInt16 numParametersInCategory;
    VstInt16 reserved;
    char categoryLabel[kVstMaxCategLabelLen];
    char future[16];
};

// ---------------------------------------------------------------------------
// File selector (audioMasterOpenFileSelector / CloseFileSelector).

enum VstFileSelectCommand : VstInt32 {
    kVstFileLoad = 0,
    kVstFileSave = 1,
    kVstMultipleFilesLoad = 2,
    kVstDirectorySelect = 3,
};

enum VstFileSelectType : VstInt32 {
    kVstFileType = 0,
};

struct VstFileType {
    char name[128];
    char macType[8];
    char dosType[8];
    char unixType[8];
    char mimeType1[128];
    char mimeType2[128];
};

struct VstFileSelect {
    VstInt32 command;  // VstFileSelectCommand
    VstInt32 type;     // VstFileSelectType
    VstInt32 macCreator;
    VstInt32 nbFileTypes;
    VstFileType* fileTypes;
    char title[1024];
    char* initialPath;
    char* returnPath;  // null: the host allocates
    VstInt32 sizeReturnPath;
    char** returnMultiplePaths;  // host-allocated
    VstInt32 nbReturnPath;
    VstIntPtr reserved;  // host's
    char future[116];
};

// ---------------------------------------------------------------------------
// Other enumerations.

enum VstProcessPrecision : VstInt32 {
    kVstProcessPrecision32 = 0,
    kVstProcessPrecision64 = 1,
};

enum VstProcessLevels : VstInt32 {
    kVstProcessLevelUnknown = 0,
    kVstProcessLevelUser = 1,
    kVstProcessLevelRealtime = 2,
    kVstProcessLevelPrefetch = 3,
    kVstProcessLevelOffline = 4,
};

enum VstAutomationStates : VstInt32 {
    kVstAutomationUnsupported = 0,
    kVstAutomationOff = 1,
    kVstAutomationRead = 2,
    kVstAutomationWrite = 3,
    kVstAutomationReadWrite = 4,
};

enum VstHostLanguage : VstInt32 {
    kVstLangEnglish = 1,
    kVstLangGerman = 2,
    kVstLangFrench = 3,
    kVstLangItalian = 4,
    kVstLangSpanish = 5,
    kVstLangJapanese = 6,
};

enum VstKnobMode : VstInt32 {
    kCircularMode = 0,
    kRelativCircularMode = 1,
    kLinearMode = 2,
};

enum VstPanLawType : VstInt32 {
    kLinearPanLaw = 0,
    kEqualPowerPanLaw = 1,
};

// ---------------------------------------------------------------------------
// Layout, pinned per pointer size: first value 32-bit targets, second 64-bit.

namespace vstabi_layout {
constexpr size_t pick(size_t off32, size_t off64) { return sizeof(void*) == 8 ? off64 : off32; }
static_assert(sizeof(void*) == 4 || sizeof(void*) == 8, "32-bit or 64-bit targets only");
static_assert(sizeof(VstIntPtr) == sizeof(void*), "VstIntPtr is pointer-sized");

static_assert(offsetof(AEffect, magic) == 0, "AEffect layout");
static_assert(offsetof(AEffect, dispatcher) == pick(4, 8), "AEffect layout");
static_assert(offsetof(AEffect, process) == pick(8, 16), "AEffect layout");
static_assert(offsetof(AEffect, setParameter) == pick(12, 24), "AEffect layout");
static_assert(offsetof(AEffect, getParameter) == pick(16, 32), "AEffect layout");
static_assert(offsetof(AEffect, numPrograms) == pick(20, 40), "AEffect layout");
static_assert(offsetof(AEffect, numParams) == pick(24, 44), "AEffect layout");
static_assert(offsetof(AEffect, numInputs) == pick(28, 48), "AEffect layout");
static_assert(offsetof(AEffect, numOutputs) == pick(32, 52), "AEffect layout");
static_assert(offsetof(AEffect, flags) == pick(36, 56), "AEffect layout");
static_assert(offsetof(AEffect, resvd1) == pick(40, 64), "AEffect layout");
static_assert(offsetof(AEffect, resvd2) == pick(44, 72), "AEffect layout");
static_assert(offsetof(AEffect, initialDelay) == pick(48, 80), "AEffect layout");
static_assert(offsetof(AEffect, realQualities) == pick(52, 84), "AEffect layout");
static_assert(offsetof(AEffect, offQualities) == pick(56, 88), "AEffect layout");
static_assert(offsetof(AEffect, ioRatio) == pick(60, 92), "AEffect layout");
static_assert(offsetof(AEffect, object) == pick(64, 96), "AEffect layout");
static_assert(offsetof(AEffect, user) == pick(68, 104), "AEffect layout");
static_assert(offsetof(AEffect, uniqueID) == pick(72, 112), "AEffect layout");
static_assert(offsetof(AEffect, version) == pick(76, 116), "AEffect layout");
static_assert(offsetof(AEffect, processReplacing) == pick(80, 120), "AEffect layout");
static_assert(offsetof(AEffect, processDoubleReplacing) == pick(84, 128), "AEffect layout");
static_assert(offsetof(AEffect, future) == pick(88, 136), "AEffect layout");
static_assert(sizeof(AEffect) == pick(144, 192), "AEffect size");

static_assert(offsetof(VstTimeInfo, samplePos) == 0, "VstTimeInfo layout");
static_assert(offsetof(VstTimeInfo, sampleRate) == 8, "VstTimeInfo layout");
static_assert(offsetof(VstTimeInfo, nanoSeconds) == 16, "VstTimeInfo layout");
static_assert(offsetof(VstTimeInfo, ppqPos) == 24, "VstTimeInfo layout");
static_assert(offsetof(VstTimeInfo, tempo) == 32, "VstTimeInfo layout");
static_assert(offsetof(VstTimeInfo, barStartPos) == 40, "VstTimeInfo layout");
static_assert(offsetof(VstTimeInfo, cycleStartPos) == 48, "VstTimeInfo layout");
static_assert(offsetof(VstTimeInfo, cycleEndPos) == 56, "VstTimeInfo layout");
static_assert(offsetof(VstTimeInfo, timeSigNumerator) == 64, "VstTimeInfo layout");
static_assert(offsetof(VstTimeInfo, timeSigDenominator) == 68, "VstTimeInfo layout");
static_assert(offsetof(VstTimeInfo, smpteOffset) == 72, "VstTimeInfo layout");
static_assert(offsetof(VstTimeInfo, smpteFrameRate) == 76, "VstTimeInfo layout");
static_assert(offsetof(VstTimeInfo, samplesToNextClock) == 80, "VstTimeInfo layout");
static_assert(offsetof(VstTimeInfo, flags) == 84, "VstTimeInfo layout");
static_assert(sizeof(VstTimeInfo) == 88, "VstTimeInfo size");

static_assert(offsetof(VstEvent, type) == 0, "VstEvent layout");
static_assert(offsetof(VstEvent, byteSize) == 4, "VstEvent layout");
static_assert(offsetof(VstEvent, deltaFrames) == 8, "VstEvent layout");
static_assert(offsetof(VstEvent, flags) == 12, "VstEvent layout");
static_assert(offsetof(VstEvent, data) == 16, "VstEvent layout");
static_assert(sizeof(VstEvent) == 32, "VstEvent size");

static_assert(offsetof(VstEvents, numEvents) == 0, "VstEvents layout");
static_assert(offsetof(VstEvents, reserved) == pick(4, 8), "VstEvents layout");
static_assert(offsetof(VstEvents, events) == pick(8, 16), "VstEvents layout");
static_assert(sizeof(VstEvents) == pick(16, 32), "VstEvents size");

static_assert(offsetof(VstMidiEvent, noteLength) == 16, "VstMidiEvent layout");
static_assert(offsetof(VstMidiEvent, noteOffset) == 20, "VstMidiEvent layout");
static_assert(offsetof(VstMidiEvent, midiData) == 24, "VstMidiEvent layout");
static_assert(offsetof(VstMidiEvent, detune) == 28, "VstMidiEvent layout");
static_assert(offsetof(VstMidiEvent, noteOffVelocity) == 29, "VstMidiEvent layout");
static_assert(offsetof(VstMidiEvent, reserved1) == 30, "VstMidiEvent layout");
static_assert(offsetof(VstMidiEvent, reserved2) == 31, "VstMidiEvent layout");
static_assert(sizeof(VstMidiEvent) == 32, "VstMidiEvent size");

static_assert(offsetof(VstMidiSysexEvent, flags) == 12, "VstMidiSysexEvent layout");
static_assert(offsetof(VstMidiSysexEvent, dumpBytes) == 16, "VstMidiSysexEvent layout");
static_assert(offsetof(VstMidiSysexEvent, resvd1) == pick(20, 24), "VstMidiSysexEvent layout");
static_assert(offsetof(VstMidiSysexEvent, sysexDump) == pick(24, 32), "VstMidiSysexEvent layout");
static_assert(offsetof(VstMidiSysexEvent, resvd2) == pick(28, 40), "VstMidiSysexEvent layout");
static_assert(sizeof(VstMidiSysexEvent) == pick(32, 48), "VstMidiSysexEvent size");

static_assert(offsetof(VstPinProperties, label) == 0, "VstPinProperties layout");
static_assert(offsetof(VstPinProperties, flags) == 64, "VstPinProperties layout");
static_assert(offsetof(VstPinProperties, arrangementType) == 68, "VstPinProperties layout");
static_assert(offsetof(VstPinProperties, shortLabel) == 72, "VstPinProperties layout");
static_assert(offsetof(VstPinProperties, future) == kVstPinPropertiesWritableBytes, "VstPinProperties layout");
static_assert(sizeof(VstPinProperties) == 128, "VstPinProperties size");

static_assert(offsetof(ERect, top) == 0, "ERect layout");
static_assert(offsetof(ERect, left) == 2, "ERect layout");
static_assert(offsetof(ERect, bottom) == 4, "ERect layout");
static_assert(offsetof(ERect, right) == 6, "ERect layout");
static_assert(sizeof(ERect) == 8, "ERect size");

static_assert(offsetof(VstKeyCode, character) == 0, "VstKeyCode layout");
static_assert(offsetof(VstKeyCode, virt) == 4, "VstKeyCode layout");
static_assert(offsetof(VstKeyCode, modifier) == 5, "VstKeyCode layout");
static_assert(sizeof(VstKeyCode) == 8, "VstKeyCode size");

static_assert(offsetof(VstParameterProperties, stepFloat) == 0, "VstParameterProperties layout");
static_assert(offsetof(VstParameterProperties, smallStepFloat) == 4, "VstParameterProperties layout");
static_assert(offsetof(VstParameterProperties, largeStepFloat) == 8, "VstParameterProperties layout");
static_assert(offsetof(VstParameterProperties, label) == 12, "VstParameterProperties layout");
static_assert(offsetof(VstParameterProperties, flags) == 76, "VstParameterProperties layout");
static_assert(offsetof(VstParameterProperties, minInteger) == 80, "VstParameterProperties layout");
static_assert(offsetof(VstParameterProperties, maxInteger) == 84, "VstParameterProperties layout");
static_assert(offsetof(VstParameterProperties, stepInteger) == 88, "VstParameterProperties layout");
static_assert(offsetof(VstParameterProperties, largeStepInteger) == 92, "VstParameterProperties layout");
static_assert(offsetof(VstParameterProperties, shortLabel) == 96, "VstParameterProperties layout");
static_assert(offsetof(VstParameterProperties, displayIndex) == 104, "VstParameterProperties layout");
static_assert(offsetof(VstParameterProperties, category) == 106, "VstParameterProperties layout");
static_assert(offsetof(VstParameterProperties, numParametersInCategory) == 108,
              "VstParameterProperties layout");
static_assert(offsetof(VstParameterProperties, reserved) == 110, "VstParameterProperties layout");
static_assert(offsetof(VstParameterProperties, categoryLabel) == 112, "VstParameterProperties layout");
static_assert(offsetof(VstParameterProperties, future) == 136, "VstParameterProperties layout");
static_assert(sizeof(VstParameterProperties) == 152, "VstParameterProperties size");

static_assert(offsetof(VstFileType, name) == 0, "VstFileType layout");
static_assert(offsetof(VstFileType, macType) == 128, "VstFileType layout");
static_assert(offsetof(VstFileType, dosType) == 136, "VstFileType layout");
static_assert(offsetof(VstFileType, unixType) == 144, "VstFileType layout");
static_assert(offsetof(VstFileType, mimeType1) == 152, "VstFileType layout");
static_assert(offsetof(VstFileType, mimeType2) == 280, "VstFileType layout");
static_assert(sizeof(VstFileType) == 408, "VstFileType size");

static_assert(offsetof(VstFileSelect, command) == 0, "VstFileSelect layout");
static_assert(offsetof(VstFileSelect, type) == 4, "VstFileSelect layout");
static_assert(offsetof(VstFileSelect, macCreator) == 8, "VstFileSelect layout");
static_assert(offsetof(VstFileSelect, nbFileTypes) == 12, "VstFileSelect layout");
static_assert(offsetof(VstFileSelect, fileTypes) == 16, "VstFileSelect layout");
static_assert(offsetof(VstFileSelect, title) == pick(20, 24), "VstFileSelect layout");
static_assert(offsetof(VstFileSelect, initialPath) == pick(1044, 1048), "VstFileSelect layout");
static_assert(offsetof(VstFileSelect, returnPath) == pick(1048, 1056), "VstFileSelect layout");
static_assert(offsetof(VstFileSelect, sizeReturnPath) == pick(1052, 1064), "VstFileSelect layout");
static_assert(offsetof(VstFileSelect, returnMultiplePaths) == pick(1056, 1072), "VstFileSelect layout");
static_assert(offsetof(VstFileSelect, nbReturnPath) == pick(1060, 1080), "VstFileSelect layout");
static_assert(offsetof(VstFileSelect, reserved) == pick(1064, 1088), "VstFileSelect layout");
static_assert(offsetof(VstFileSelect, future) == pick(1068, 1096), "VstFileSelect layout");
static_assert(sizeof(VstFileSelect) == pick(1184, 1216), "VstFileSelect size");

static_assert(kEffectMagic == 0x56737450, "magic");
static_assert(kEffectIdentify == 0x4E764566, "identify answer");
}  // namespace vstabi_layout
