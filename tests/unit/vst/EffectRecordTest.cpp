#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ProbeEffect.h"

TEST(EffectRecord, IsFilledForTheHostAndZeroElsewhere) {
    ProbeEffect effect;
    const AEffect* e = effect.getAeffect();
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->object, &effect);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->numPrograms, ProbeEffect::kPrograms);
    EXPECT_EQ(e->numParams, ProbeEffect::kParams);
    EXPECT_NE(e->dispatcher, nullptr);
    EXPECT_NE(e->process, nullptr);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_NE(e->setParameter, nullptr);
    EXPECT_NE(e->getParameter, nullptr);
    EXPECT_EQ(e->processDoubleReplacing, nullptr);
    EXPECT_EQ(e->resvd1, 0);
    EXPECT_EQ(e->resvd2, 0);
    EXPECT_EQ(e->user, nullptr);
    EXPECT_EQ(e->initialDelay, 0);
    for (char c : e->future) ASSERT_EQ(c, 0);
    // Some hosts read flags as pointer-sized: the padding after it is zero.
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(e);
    for (size_t i = offsetof(AEffect, flags) + 4; i < offsetof(AEffect, resvd1); ++i) ASSERT_EQ(bytes[i], 0) << i;
}


TEST(EffectRecord, FourCharacterCodesReadBackwardsInMemory) {
    const VstInt32 magic = fourCC('V', 's', 't', 'P');
    const VstInt32 id = fourCC('T', 'R', 'V', 'n');
    char bytes[4];
    std::memcpy(bytes, &magic, 4);
    EXPECT_EQ(std::string(bytes, 4), "PtsV");
    std::memcpy(bytes, &id, 4);
    EXPECT_EQ(std::string(bytes, 4), "nVRT");
    // High-bit characters do not sign-extend into the other bytes.
    EXPECT_EQ(static_cast<uint32_t>(fourCC('\xff', 0, 0, '\x80')), 0xff000080u);
}

TEST(EffectTrampolines, ProcessWithoutFramesDoesNotReachTheEffect) {
    ProbeEffect effect;
    AEffect* e = effect.getAeffect();
    float left[4] = {}, right[4] = {};
    float* channels[2] = {left, right};
    e->processReplacing(e, channels, channels, 0);
    e->process(e, channels, channels, 0);
    e->processReplacing(e, channels, channels, -64);
    EXPECT_EQ(effect.processCalls, 0);
}

TEST(EffectTrampolines, ProcessReachesTheEffectWithTheHostsBuffers) {
    ProbeEffect effect;
    AEffect* e = effect.getAeffect();
    float in[4] = {}, out[4] = {};
    float* inputs[2] = {in, in};
    float* outputs[2] = {out, out};
    e->processReplacing(e, inputs, outputs, 4);
    EXPECT_EQ(effect.processCalls, 1);
    EXPECT_EQ(effect.lastInputs, inputs);
    EXPECT_EQ(effect.lastOutputs, outputs);
    EXPECT_EQ(effect.lastFrames, 4);
    e->process(e, inputs, outputs, 3);
    EXPECT_EQ(effect.processCalls, 2);
}

TEST(EffectTrampolines, MissingBuffersForDeclaredPinsAreNotForwarded) {
    ProbeEffect effect;
    AEffect* e = effect.getAeffect();
    float buffer[4] = {};
    float* channels[2] = {buffer, buffer};
    e->processReplacing(e, nullptr, channels, 4);
    e->processReplacing(e, channels, nullptr, 4);
    EXPECT_EQ(effect.processCalls, 0);
    // A generator without inputs may get none.
    effect.setNumInputs(0);
    e->processReplacing(e, nullptr, channels, 4);
    EXPECT_EQ(effect.processCalls, 1);
}

TEST(EffectTrampolines, ForeignOrBrokenRecordsAreIgnored) {
    ProbeEffect effect;
    AEffect* own = effect.getAeffect();
    float buffer[4] = {};
    float* channels[2] = {buffer, buffer};

    own->processReplacing(nullptr, channels, channels, 4);
    EXPECT_EQ(own->dispatcher(nullptr, effGetVstVersion, 0, 0, nullptr, 0.0f), 0);

    AEffect copy = *own;  // points at the effect, but is not its record
    EXPECT_EQ(copy.dispatcher(&copy, effGetVstVersion, 0, 0, nullptr, 0.0f), 0);
    copy.processReplacing(&copy, channels, channels, 4);

    own->magic = 0;
    EXPECT_EQ(own->dispatcher(own, effGetVstVersion, 0, 0, nullptr, 0.0f), 0);
    own->magic = kEffectMagic;
    own->object = nullptr;
    own->processReplacing(own, channels, channels, 4);
    own->object = &effect;

    EXPECT_EQ(effect.processCalls, 0);
    EXPECT_EQ(own->dispatcher(own, effGetVstVersion, 0, 0, nullptr, 0.0f), 2300);
}

TEST(EffectTrampolines, ParametersOutsideTheRangeAreIgnored) {
    ProbeEffect effect;
    AEffect* e = effect.getAeffect();
    e->setParameter(e, ProbeEffect::kParams, 1.0f);
    e->setParameter(e, -1, 1.0f);
    e->setParameter(e, 3, 1.0f);
    EXPECT_EQ(effect.setParameterIndexes, std::vector<VstInt32>{3});
    EXPECT_EQ(e->getParameter(e, -1), 0.0f);
    EXPECT_EQ(e->getParameter(e, ProbeEffect::kParams), 0.0f);
    EXPECT_EQ(e->getParameter(e, 2), 2.5f);
}

TEST(EffectTrampolines, EffCloseCallsCloseThenDeletesTheEffect) {
    std::vector<std::string> log;
    auto* effect = new ProbeEffect(nullptr, &log);
    AEffect* e = effect->getAeffect();
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(log, (std::vector<std::string>{"close", "destroyed"}));
}

TEST(VstStrings, CopyStopsOneShortOfTheCapacity) {
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(vstStringCopy(buffer, "abcdef", 4), 3u);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(vstStringCopy(buffer, "abcdef", 1), 0u);
    EXPECT_STREQ(buffer, "");
    buffer[0] = 'x';
    EXPECT_EQ(vstStringCopy(buffer, "abc", 0), 0u);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(vstStringCopy(buffer, nullptr, 4), 0u);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(vstStringCopy(nullptr, "abc", 4), 0u);
}
