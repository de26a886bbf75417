#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "ProbeEffect.h"

namespace {

class EffectDispatcher : public ::testing::Test {
protected:
    std::unique_ptr<ProbeEffect> effect{new ProbeEffect()};
    AEffect* record() { return effect->getAeffect(); }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) {
        return hostDispatch(record(), opcode, index, value, ptr, opt);
    }
};

}  // namespace

TEST_F(EffectDispatcher, MainsChangedZeroSuspendsAndOneResumes) {
    dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(effect->resumes, 1);
    dispatch(effMainsChanged, 0, 0);
    EXPECT_EQ(effect->suspends, 1);
    // Scanners suspend without ever resuming.
    dispatch(effMainsChanged, 0, 0);
    EXPECT_EQ(effect->suspends, 2);
    EXPECT_EQ(effect->resumes, 1);
}

TEST_F(EffectDispatcher, SampleRateComesFromOptNotFromValue) {
    dispatch(effSetSampleRate, 0, 96000, nullptr, 44100.0f);
    EXPECT_EQ(effect->getSampleRate(), 44100.0f);
    dispatch(effSetBlockSize, 0, 512, nullptr, 64.0f);
    EXPECT_EQ(effect->getBlockSize(), 512);
}

TEST_F(EffectDispatcher, ImplausibleRatesAndBlockSizesAreIgnored) {
    for (float rate : {0.0f, -48000.0f, std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity()}) {
        dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    }
    EXPECT_EQ(effect->getSampleRate(), 44100.0f);
    for (VstIntPtr size : {VstIntPtr(0), VstIntPtr(-256), VstIntPtr(AudioEffect::kMaxBlockSize) + 1}) {
        dispatch(effSetBlockSize, 0, size);
    }
    EXPECT_EQ(effect->getBlockSize(), 1024);
    dispatch(effSetBlockSize, 0, AudioEffect::kMaxBlockSize);
    EXPECT_EQ(effect->getBlockSize(), AudioEffect::kMaxBlockSize);
}

TEST_F(EffectDispatcher, GetChunkIndexZeroAsksForTheBankAndOneForAProgram) {
    void* data = nullptr;
    EXPECT_EQ(dispatch(effGetChunk, 0, 0, &data), 5);
    EXPECT_FALSE(effect->lastChunkWasPreset);
    EXPECT_EQ(data, effect->chunkBytes.data());
    data = nullptr;
    EXPECT_EQ(dispatch(effGetChunk, 1, 0, &data), 5);
    EXPECT_TRUE(effect->lastChunkWasPreset);
}

TEST_F(EffectDispatcher, GetChunkWithoutBytesClearsTheHostsPointer) {
    effect->chunkBytes.clear();
    int stale = 0;
    void* data = &stale;
    EXPECT_EQ(dispatch(effGetChunk, 0, 0, &data), 0);
    EXPECT_EQ(data, nullptr);
}

TEST_F(EffectDispatcher, SetChunkPassesSizeAndKind) {
    char bytes[16] = {};
    EXPECT_EQ(dispatch(effSetChunk, 0, sizeof(bytes), bytes), 1);
    EXPECT_EQ(effect->setChunkData, bytes);
    EXPECT_EQ(effect->setChunkSize, 16);
    EXPECT_FALSE(effect->setChunkPreset);
    EXPECT_EQ(dispatch(effSetChunk, 1, 3, bytes), 1);
    EXPECT_TRUE(effect->setChunkPreset);
}

TEST_F(EffectDispatcher, SetChunkRefusesMissingDataAndImpossibleSizes) {
    char bytes[4] = {};
    EXPECT_EQ(dispatch(effSetChunk, 0, 4, nullptr), 0);
    EXPECT_EQ(dispatch(effSetChunk, 0, 0, bytes), 0);
    EXPECT_EQ(dispatch(effSetChunk, 0, -4, bytes), 0);
    if (sizeof(VstIntPtr) == 8) {
        EXPECT_EQ(dispatch(effSetChunk, 0, static_cast<VstIntPtr>(int64_t(1) << 32), bytes), 0);
    }
    EXPECT_EQ(effect->setChunkSize, -1);
}

TEST_F(EffectDispatcher, AnswersIdentityAndHarmlessDefaults) {
    EXPECT_EQ(dispatch(effIdentify), fourCC('N', 'v', 'E', 'f'));
    EXPECT_EQ(dispatch(effGetVstVersion), 2300);
    EXPECT_EQ(dispatch(effSetBypass, 0, 1), 0);
    EXPECT_EQ(dispatch(effGetTailSize), 0);
    EXPECT_EQ(dispatch(effGetPlugCategory), kPlugCategUnknown);
    EXPECT_EQ(dispatch(effGetVendorVersion), 0);
    EXPECT_EQ(dispatch(effGetNumProgramCategories), 1);
    EXPECT_EQ(dispatch(effStartProcess), 0);
    EXPECT_EQ(dispatch(effGetVu), 0);
}

TEST_F(EffectDispatcher, UnknownAndUnusedOpcodesAnswerZero) {
    for (VstInt32 op : {-1, 16, 17, 18, 20, 21, 36, 37, 38, 39, 40, 41, 42, 43, 46, 50, 53, 54, 55, 57, 61, 62, 63,
                        64, 65, 66, 69, 70, 73, 74, 75, 76, 78, 79, 80, 9999}) {
        char buffer[256] = {};
        EXPECT_EQ(dispatch(op, 1, 1, buffer, 1.0f), 0) << op;
    }
}

TEST_F(EffectDispatcher, ProcessPrecisionAcceptsOnlySinglePrecision) {
    EXPECT_EQ(dispatch(effSetProcessPrecision, 0, kVstProcessPrecision32), 1);
    EXPECT_EQ(dispatch(effSetProcessPrecision, 0, kVstProcessPrecision64), 0);
    EXPECT_EQ(dispatch(effSetProcessPrecision, 0, 7), 0);
}

TEST_F(EffectDispatcher, CanDoSeesABoundedCopyOfTheHostsString) {
    char text[] = "yes";
    EXPECT_EQ(dispatch(effCanDo, 0, 0, text), 1);
    EXPECT_STREQ(text, "yes");  // the effect scribbled on its copy only
    std::string longText(300, 'q');
    EXPECT_EQ(dispatch(effCanDo, 0, 0, &longText[0]), -1);
    EXPECT_EQ(effect->receivedText.size(), 255u);
}

TEST_F(EffectDispatcher, SetProgramIgnoresProgramsThatDoNotExist) {
    dispatch(effSetProgram, 0, 2);
    EXPECT_EQ(dispatch(effGetProgram), 2);
    dispatch(effSetProgram, 0, ProbeEffect::kPrograms);
    dispatch(effSetProgram, 0, -1);
    EXPECT_EQ(effect->currentProgram(), 2);
}

TEST_F(EffectDispatcher, ParameterIndexesOutsideTheRangeAreNotForwarded) {
    char text[16];
    std::memset(text, 'x', sizeof(text));
    dispatch(effGetParamName, ProbeEffect::kParams, 0, text);
    EXPECT_STREQ(text, "");
    dispatch(effGetParamDisplay, -1, 0, text);
    EXPECT_EQ(effect->textCalls, 0);
    EXPECT_EQ(dispatch(effCanBeAutomated, ProbeEffect::kParams), 0);
    EXPECT_EQ(dispatch(effCanBeAutomated, ProbeEffect::kParams - 1), 1);
    char number[] = "0.5";
    EXPECT_EQ(dispatch(effString2Parameter, ProbeEffect::kParams, 0, number), 0);
    EXPECT_EQ(dispatch(effString2Parameter, 0, 0, number), 1);
    EXPECT_EQ(effect->receivedText, "0.5");
}

TEST_F(EffectDispatcher, ProcessEventsRefusesImpossibleCounts) {
    VstEvents events{};
    events.numEvents = -1;
    EXPECT_EQ(dispatch(effProcessEvents, 0, 0, &events), 0);
    events.numEvents = AudioEffectX::kMaxEvents + 1;
    EXPECT_EQ(dispatch(effProcessEvents, 0, 0, &events), 0);
    EXPECT_EQ(effect->eventCalls, 0);
    events.numEvents = 0;
    EXPECT_EQ(dispatch(effProcessEvents, 0, 0, &events), 1);
    EXPECT_EQ(effect->eventCalls, 1);
}

TEST_F(EffectDispatcher, NullPointerIsSafeForEveryOpcode) {
    for (VstInt32 op = 0; op <= 80; ++op) {
        if (op == effClose) continue;
        for (VstInt32 index : {0, 1}) hostDispatch(record(), op, index, 1, nullptr, 1.0f);
    }
    EXPECT_EQ(effect->textCalls, 0);
    EXPECT_EQ(effect->eventCalls, 0);
    EXPECT_EQ(effect->setChunkSize, -1);
}

TEST_F(EffectDispatcher, PinPropertiesWriteOnlyTheFirst80Bytes) {
    std::memset(&effect->pinReply, 'p', sizeof(effect->pinReply));  // no terminators anywhere
    effect->pinReply.flags = kVstPinIsActive | kVstPinIsStereo;
    effect->pinReply.arrangementType = kSpeakerArrStereo;
    VstPinProperties host;
    std::memset(&host, 0xee, sizeof(host));
    EXPECT_EQ(dispatch(effGetOutputProperties, 1, 0, &host), 1);
    EXPECT_EQ(host.flags, kVstPinIsActive | kVstPinIsStereo);
    EXPECT_EQ(host.arrangementType, kSpeakerArrStereo);
    EXPECT_EQ(std::strlen(host.label), sizeof(host.label) - 1);
    EXPECT_EQ(std::strlen(host.shortLabel), sizeof(host.shortLabel) - 1);
    for (unsigned char c : host.future) ASSERT_EQ(c, 0xee);
}

TEST_F(EffectDispatcher, PinsOutsideTheRecordsCountsAreRefused) {
    VstPinProperties host{};
    EXPECT_EQ(dispatch(effGetInputProperties, 2, 0, &host), 0);
    EXPECT_EQ(dispatch(effGetOutputProperties, -1, 0, &host), 0);
    EXPECT_EQ(effect->pinCalls, 0);
    effect->pinAnswer = false;
    std::memset(&host, 0x11, sizeof(host));
    EXPECT_EQ(dispatch(effGetInputProperties, 0, 0, &host), 0);
    EXPECT_EQ(host.flags, 0x11111111);  // untouched when the effect does not answer
}

// --- texts handed to the host ---

struct TextOpcode {
    VstInt32 opcode;
    size_t limit;  // bytes the host may get, NUL included
};

class EffectDispatcherText : public ::testing::TestWithParam<TextOpcode> {
protected:
    static constexpr size_t kCanary = 32;
    ProbeEffect effect;
    char buffer[512];

    VstIntPtr ask() {
        std::memset(buffer, 'Z', sizeof(buffer));
        return hostDispatch(effect.getAeffect(), GetParam().opcode, 1, 0, buffer);
    }
    bool canaryIntact() const {
        for (size_t i = GetParam().limit; i < GetParam().limit + kCanary; ++i) {
            if (buffer[i] != 'Z') return false;
        }
        return true;
    }
};

TEST_P(EffectDispatcherText, LongTextsAreCutToTheSafeLength) {
    effect.reply.assign(255, 'a');
    ask();
    EXPECT_EQ(std::strlen(buffer), GetParam().limit - 1);
    EXPECT_TRUE(canaryIntact());
}

TEST_P(EffectDispatcherText, ShortTextsWriteOnlyTheTextAndItsTerminator) {
    effect.reply = "ab";
    ask();
    EXPECT_STREQ(buffer, "ab");
    EXPECT_EQ(buffer[3], 'Z');
}

TEST_P(EffectDispatcherText, AnUnterminatedEffectBufferStillReachesTheHostTerminated) {
    effect.fillWholeBuffer = true;
    ask();
    EXPECT_EQ(std::strlen(buffer), GetParam().limit - 1);
    EXPECT_TRUE(canaryIntact());
}

INSTANTIATE_TEST_SUITE_P(SafeLengths, EffectDispatcherText,
                         ::testing::Values(TextOpcode{effGetProgramName, 24}, TextOpcode{effGetParamLabel, 8},
                                           TextOpcode{effGetParamDisplay, 8}, TextOpcode{effGetParamName, 8},
                                           TextOpcode{effGetProgramNameIndexed, 24},
                                           TextOpcode{effGetEffectName, 32}, TextOpcode{effGetVendorString, 64},
                                           TextOpcode{effGetProductString, 64}),
                         [](const ::testing::TestParamInfo<TextOpcode>& info) {
                             return "Opcode" + std::to_string(info.param.opcode);
                         });

TEST_F(EffectDispatcher, UnansweredTextsLeaveTheHostsBufferAlone) {
    effect->answer = false;
    for (VstInt32 op : {effGetEffectName, effGetVendorString, effGetProductString, effGetProgramNameIndexed}) {
        char buffer[8];
        std::memset(buffer, 'Z', sizeof(buffer));
        EXPECT_EQ(dispatch(op, 0, 0, buffer), 0) << op;
        EXPECT_EQ(buffer[0], 'Z') << op;
    }
}

TEST_F(EffectDispatcher, IndexedProgramNamesExistOnlyForExistingPrograms) {
    char buffer[64];
    EXPECT_EQ(dispatch(effGetProgramNameIndexed, 0, -1, buffer), 1);
    EXPECT_STREQ(buffer, "probe");
    EXPECT_EQ(dispatch(effGetProgramNameIndexed, ProbeEffect::kPrograms, 0, buffer), 0);
}

TEST_F(EffectDispatcher, ProgramNameFromTheHostIsABoundedCopy) {
    std::string name(300, 'n');
    dispatch(effSetProgramName, 0, 0, &name[0]);
    EXPECT_EQ(effect->receivedText, std::string(255, 'n'));
}
