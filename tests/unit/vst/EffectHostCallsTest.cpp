#include <gtest/gtest.h>

#include "ProbeEffect.h"

namespace {

struct Call {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

Call last{};
int callCount = 0;
VstIntPtr reply = 0;

VstIntPtr VSTCALLBACK recordingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                    float opt) {
    last = Call{effect, opcode, index, value, ptr, opt};
    ++callCount;
    return reply;
}

class EffectHostCalls : public ::testing::Test {
protected:
    void SetUp() override {
        last = Call{};
        callCount = 0;
        reply = 0;
    }
    ProbeEffect effect{&recordingHost};
};

}  // namespace

TEST_F(EffectHostCalls, WantEventsCarriesTheEffectsOwnRecordAndTheFilter) {
    effect.wantEvents();
    EXPECT_EQ(last.effect, effect.getAeffect());
    EXPECT_EQ(last.opcode, audioMasterWantMidi);
    EXPECT_EQ(last.value, 1);
}


TEST_F(EffectHostCalls, GetTimeInfoSendsTheMaskAndReturnsTheHostsRecord) {
    VstTimeInfo hostOwned{};
    reply = reinterpret_cast<VstIntPtr>(&hostOwned);
    EXPECT_EQ(effect.getTimeInfo(kVstTempoValid | kVstPpqPosValid), &hostOwned);
    EXPECT_EQ(last.opcode, audioMasterGetTime);
    EXPECT_EQ(last.value, kVstTempoValid | kVstPpqPosValid);
    reply = 0;
    EXPECT_EQ(effect.getTimeInfo(0), nullptr);
}

TEST_F(EffectHostCalls, LatenciesTheHostCannotMeanReadAsZero) {
    reply = 480;
    EXPECT_EQ(effect.getInputLatency(), 480);
    EXPECT_EQ(last.opcode, audioMasterGetInputLatency);
    reply = -5;
    EXPECT_EQ(effect.getOutputLatency(), 0);
    EXPECT_EQ(last.opcode, audioMasterGetOutputLatency);
    if (sizeof(VstIntPtr) == 8) {
        reply = static_cast<VstIntPtr>(int64_t(1) << 40);
        EXPECT_EQ(effect.getInputLatency(), 0);
    }
}

TEST_F(EffectHostCalls, AHostAnsweringNoVersionCountsAsVersionOne) {
    reply = 0;
    EXPECT_EQ(effect.getMasterVersion(), 1);
    reply = 2400;
    EXPECT_EQ(effect.getMasterVersion(), 2400);
    EXPECT_EQ(last.opcode, audioMasterVersion);
}

TEST_F(EffectHostCalls, EventsCountAsTakenOnlyWhenTheHostSaysSo) {
    VstEvents events{};
    reply = 1;
    EXPECT_TRUE(effect.sendVstEventsToHost(&events));
    EXPECT_EQ(last.opcode, audioMasterProcessEvents);
    EXPECT_EQ(last.ptr, &events);
    reply = 0;
    EXPECT_FALSE(effect.sendVstEventsToHost(&events));
    callCount = 0;
    EXPECT_FALSE(effect.sendVstEventsToHost(nullptr));
    EXPECT_EQ(callCount, 0);
}

TEST_F(EffectHostCalls, CanHostDoNormalisesTheAnswer) {
    char text[] = "sendVstEvents";
    reply = 5;
    EXPECT_EQ(effect.canHostDo(text), 1);
    EXPECT_EQ(last.ptr, text);
    reply = -7;
    EXPECT_EQ(effect.canHostDo(text), -1);
    reply = 0;
    EXPECT_EQ(effect.canHostDo(text), 0);
    EXPECT_EQ(effect.canHostDo(nullptr), 0);
}

TEST_F(EffectHostCalls, AutomatedParameterIsSetAndReported) {
    effect.setParameterAutomated(2, 0.75f);
    EXPECT_EQ(effect.setParameterIndexes, std::vector<VstInt32>{2});
    EXPECT_EQ(last.opcode, audioMasterAutomate);
    EXPECT_EQ(last.index, 2);
    EXPECT_EQ(last.opt, 0.75f);
    callCount = 0;
    effect.setParameterAutomated(ProbeEffect::kParams, 0.1f);
    EXPECT_EQ(callCount, 0);
}


TEST(EffectWithoutHost, HostCallsAreHarmless) {
    ProbeEffect effect(nullptr);
    effect.wantEvents();
    EXPECT_EQ(effect.getTimeInfo(kVstTempoValid), nullptr);
    EXPECT_EQ(effect.getInputLatency(), 0);
    EXPECT_EQ(effect.getMasterVersion(), 1);
    EXPECT_FALSE(effect.updateDisplay());
    EXPECT_FALSE(effect.ioChanged());
    EXPECT_FALSE(effect.beginEdit(0));
    EXPECT_FALSE(effect.endEdit(0));
    EXPECT_EQ(effect.getHostCallback(), nullptr);
}
