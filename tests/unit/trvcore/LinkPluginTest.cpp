#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "support/FakeHost.h"
#include "support/TempSettings.h"
#include "trvcore/plugin/LinkPlugin.h"
#include "trvcore/session/SessionController.h"

namespace {

LinkPlugin* pluginOf(AEffect* e) {
    return static_cast<LinkPlugin*>(static_cast<AudioEffect*>(e->object));
}

std::string logLine(int k) {
    char out[MessageLog::kLineBytes];
    return SessionController::instance()->message(k, out) ? std::string(out) : "<none>";
}

class LinkPluginTest : public ::testing::Test {
protected:
    TempSettings settings;
    FakeHost host;
};

TEST_F(LinkPluginTest, ReportsItsIdentityPinsAndFlags) {
    AEffect* e = host.create();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->uniqueID, 0x5452566E);
    EXPECT_EQ(std::memcmp(&e->uniqueID, "nVRT", 4), 0);
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->numPrograms, 1);
    EXPECT_EQ(e->numParams, 1);
    EXPECT_EQ(e->flags & (effFlagsCanReplacing | effFlagsProgramChunks),
              effFlagsCanReplacing | effFlagsProgramChunks);
    EXPECT_EQ(e->flags & effFlagsHasEditor, 0);
    EXPECT_EQ(FakeHost::text(e, effGetEffectName), "TRV");
    EXPECT_EQ(FakeHost::text(e, effGetVendorString), "Tarvonet");
    EXPECT_EQ(FakeHost::text(e, effGetProductString), "TRV VST Plugin");
    EXPECT_EQ(FakeHost::call(e, effGetVendorVersion), 1);
    EXPECT_EQ(FakeHost::call(e, effGetVstVersion), 2300);
    EXPECT_EQ(FakeHost::call(e, effGetPlugCategory), 0);
    EXPECT_EQ(FakeHost::text(e, effGetProgramName), "TRV");
    EXPECT_EQ(FakeHost::text(e, effGetParamName), " ");
    EXPECT_EQ(FakeHost::text(e, effGetParamDisplay), " ");
    EXPECT_EQ(FakeHost::call(e, effSetBypass, 0, 1), 0);

    VstPinProperties pin;
    std::memset(&pin, 0, sizeof pin);
    EXPECT_EQ(FakeHost::call(e, effGetInputProperties, 1, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "TRV 2 In");
    EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
    EXPECT_EQ(FakeHost::call(e, effGetOutputProperties, 0, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "TRV 1 Out");
    EXPECT_EQ(FakeHost::call(e, effGetInputProperties, 2, 0, &pin), 0);
    EXPECT_EQ(FakeHost::call(e, effGetOutputProperties, -1, 0, &pin), 0);
}

TEST_F(LinkPluginTest, CanDoMatchesOnlyTheFourExactCapabilities) {
    AEffect* e = host.create();
    for (const char* yes : {"sendVstEvents", "sendVstMidiEvent", "receiveVstEvents", "receiveVstMidiEvent"})
        EXPECT_EQ(FakeHost::canDo(e, yes), 1) << yes;
    for (const char* no : {"sendVstEvent", "sendVstEventsX", "sendVstMidiEvents", "receiveVstMidiEvents",
                           "bypass", "", "SENDVSTEVENTS"})
        EXPECT_EQ(FakeHost::canDo(e, no), -1) << no;
}

TEST_F(LinkPluginTest, HostThatIsNotVst2GetsNoInstance) {
    host.version = 0;
    EXPECT_EQ(host.create(), nullptr);
    EXPECT_EQ(SessionController::instance(), nullptr);
}

TEST_F(LinkPluginTest, InstancesShareOneControllerThatOutlivesTheFirst) {
    AEffect* a = host.create();
    SessionController* c = SessionController::instance();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(logLine(1), "Welcome to Tarvolink version 1!");
    EXPECT_EQ(logLine(0), "Enter user name and password to Login.");
    AEffect* b = host.create();
    EXPECT_EQ(SessionController::instance(), c);
    EXPECT_EQ(c->instanceCount(), 2);
    EXPECT_EQ(c->listenerCount(), 2);
    host.close(a);
    EXPECT_EQ(SessionController::instance(), c);
    EXPECT_EQ(c->instanceCount(), 1);
    EXPECT_EQ(c->listenerCount(), 1);
    const uint32_t t0 = platform::tickCount();
    host.close(b);
    EXPECT_LT(platform::tickCount() - t0, 2500u);  // the loop thread stops promptly
    EXPECT_EQ(SessionController::instance(), nullptr);
    EXPECT_TRUE(settings.has("upStream"));  // saved on the way out
}

TEST_F(LinkPluginTest, ControllerLoopRuns) {
    host.create();
    SessionController* c = SessionController::instance();
    for (int i = 0; i < 100 && c->passCount() < 3; ++i) platform::sleepMilliseconds(20);
    EXPECT_GE(c->passCount(), 3u);
}

TEST_F(LinkPluginTest, ResumeRegistersOnceAndSuspendLeavesTheCycle) {
    AEffect* e = host.create();
    SessionController* c = SessionController::instance();
    FakeHost::start(e);
    FakeHost::call(e, effMainsChanged, 0, 1);
    EXPECT_EQ(c->registeredCount(), 1);
    EXPECT_EQ(host.wantMidiCalls, 2);
    EXPECT_EQ(c->sampleRate(), 48000.0);
    EXPECT_EQ(c->blockSize(), 256);
    FakeHost::call(e, effMainsChanged, 0, 0);
    EXPECT_EQ(c->registeredCount(), 0);
}

TEST_F(LinkPluginTest, ChunkIsWrittenForBanksOnly) {
    AEffect* e = host.create();
    void* data = nullptr;
    EXPECT_EQ(FakeHost::call(e, effGetChunk, 1, 0, &data), 0);
    const std::vector<uint8_t> bank = FakeHost::chunk(e);
    ASSERT_EQ(bank.size(), 4448u);
    const uint8_t head[] = {0x11, 0x27, 0, 0, 0x60, 0x11, 0, 0, 'n', 'V', 'R', 'T', 0x07, 0, 0, 0, 34, 0, 0, 0};
    EXPECT_EQ(std::memcmp(bank.data(), head, sizeof head), 0);
}

TEST_F(LinkPluginTest, ChunkFromOneInstanceRestoresAnothersSwitches) {
    AEffect* a = host.create();
    AEffect* b = host.create();
    LinkPlugin* pa = pluginOf(a);
    LinkPlugin* pb = pluginOf(b);
    pa->setSend(false);
    pa->setThru(false);
    pa->setSyncSource(true);
    SessionController::instance()->setUserName("alice");
    std::vector<uint8_t> saved = FakeHost::chunk(a);
    SessionController::instance()->setUserName("");

    EXPECT_EQ(FakeHost::setChunk(b, saved), 1);
    EXPECT_FALSE(pb->sendEnabled());
    EXPECT_TRUE(pb->receiveEnabled());
    EXPECT_FALSE(pb->thru());
    EXPECT_TRUE(pb->isSyncSource());
    EXPECT_FALSE(pa->isSyncSource());
    char name[SessionController::kTextBytes];
    SessionController::instance()->userName(name);
    EXPECT_STREQ(name, "alice");

    // Bit 3 clear: only the source itself stops being the source.
    std::vector<uint8_t> plain = FakeHost::chunk(b);
    plain[12] &= static_cast<uint8_t>(~PluginChunk::kSyncSource);
    EXPECT_EQ(FakeHost::setChunk(a, plain), 1);
    EXPECT_TRUE(pb->isSyncSource());
    EXPECT_TRUE(SessionController::instance()->syncOn());
    EXPECT_EQ(FakeHost::setChunk(b, plain), 1);
    EXPECT_FALSE(pb->isSyncSource());
    EXPECT_FALSE(SessionController::instance()->syncOn());
}

TEST_F(LinkPluginTest, ForeignOrMalformedChunksLeaveTheInstanceUnchanged) {
    AEffect* e = host.create();
    LinkPlugin* p = pluginOf(e);
    std::vector<uint8_t> good = FakeHost::chunk(e);
    good[12] = 0;  // every switch off
    auto variant = [&](size_t at, int32_t v) {
        std::vector<uint8_t> b(good);
        std::memcpy(b.data() + at, &v, 4);
        return b;
    };
    EXPECT_EQ(FakeHost::setChunk(e, variant(0, 26)), 0);
    EXPECT_EQ(FakeHost::setChunk(e, variant(0, 10002)), 0);
    EXPECT_EQ(FakeHost::setChunk(e, variant(8, 0x12345678)), 0);
    EXPECT_EQ(FakeHost::setChunk(e, std::vector<uint8_t>(good.begin(), good.end() - 1)), 0);
    EXPECT_EQ(FakeHost::setChunk(e, good, true), 0);
    EXPECT_EQ(FakeHost::call(e, effSetChunk, 0, 4448, nullptr), 0);
    EXPECT_TRUE(p->sendEnabled());
    EXPECT_TRUE(p->thru());

    std::vector<uint8_t> longer(good);
    longer.resize(5000, 0xEE);
    EXPECT_EQ(FakeHost::setChunk(e, longer), 1);
    EXPECT_FALSE(p->sendEnabled());
    EXPECT_FALSE(p->receiveEnabled());
    EXPECT_FALSE(p->thru());
    EXPECT_EQ(FakeHost::chunk(e).size(), 4448u);
}

TEST_F(LinkPluginTest, ThruPassesTheInputAndOffSilences) {
    AEffect* e = host.create();
    FakeHost::start(e, 48000.0f, 64);
    std::vector<float> inL(64), inR(64), outL(64, 9.0f), outR(64, 9.0f);
    for (int i = 0; i < 64; ++i) inL[i] = 0.01f * i, inR[i] = -0.01f * i;
    float* in[2] = {inL.data(), inR.data()};
    float* out[2] = {outL.data(), outR.data()};
    e->processReplacing(e, in, out, 64);
    EXPECT_EQ(outL, inL);
    EXPECT_EQ(outR, inR);
    pluginOf(e)->toggleThru();
    e->processReplacing(e, in, out, 64);
    EXPECT_EQ(outL, std::vector<float>(64, 0.0f));
    EXPECT_EQ(outR, std::vector<float>(64, 0.0f));
    // In place (the host passes the same buffers) keeps the input when thru.
    pluginOf(e)->toggleThru();
    std::vector<float> inPlace(inL);
    float* same[2] = {inPlace.data(), inPlace.data()};
    e->processReplacing(e, same, same, 64);
    EXPECT_EQ(inPlace, inL);
}

TEST_F(LinkPluginTest, AccumulatingProcessAddsAndNeverOverrunsTheScratch) {
    AEffect* e = host.create();
    FakeHost::start(e, 48000.0f, 32);
    const int frames = 100;  // more than the announced block size
    std::vector<float> inL(frames, 0.25f), inR(frames, -0.5f), outL(frames, 1.0f), outR(frames, 1.0f);
    float* in[2] = {inL.data(), inR.data()};
    float* out[2] = {outL.data(), outR.data()};
    e->process(e, in, out, frames);
    EXPECT_EQ(outL, std::vector<float>(frames, 1.25f));
    EXPECT_EQ(outR, std::vector<float>(frames, 0.5f));
}

TEST_F(LinkPluginTest, AccumulatingProcessSurvivesBlockSizeChangesFromAnotherThread) {
    AEffect* e = host.create();
    FakeHost::call(e, effSetBlockSize, 0, 64);
    std::atomic<bool> done{false};
    std::thread resizer([&] {
        for (int i = 0; !done.load(); ++i) FakeHost::call(e, effSetBlockSize, 0, (i & 1) ? 64 : 512);
    });
    std::vector<float> inL(512, 0.25f), inR(512, -0.25f), outL(512), outR(512);
    float* in[2] = {inL.data(), inR.data()};
    float* out[2] = {outL.data(), outR.data()};
    for (int n = 0; n < 20000; ++n) {
        std::fill(outL.begin(), outL.end(), 1.0f);
        e->process(e, in, out, 512);
        ASSERT_EQ(outL[511], 1.25f) << "every frame added once, whatever the scratch size";
    }
    done = true;
    resizer.join();
}

TEST_F(LinkPluginTest, RecordOffsetLineFollowsTheHostLatency) {
    host.inputLatency = 256;
    host.outputLatency = 256;
    AEffect* e = host.create();
    LinkPlugin* p = pluginOf(e);
    p->setCompensateRecordOffset(true);
    EXPECT_TRUE(p->compensateRecordOffset());
    EXPECT_EQ(p->delayLength(), 512);

    host.inputLatency = 0;
    host.outputLatency = 0;
    FakeHost::call(e, effMainsChanged, 0, 1);  // resume rebuilds: a latency of 0 turns it off
    EXPECT_FALSE(p->compensateRecordOffset());

    host.inputLatency = 48000;
    p->setCompensateRecordOffset(true);
    EXPECT_FALSE(p->compensateRecordOffset());
    p->setCompensateRecordOffset(false);
    EXPECT_FALSE(p->compensateRecordOffset());
}

TEST_F(LinkPluginTest, ProgramNameIsKeptAndTruncated) {
    AEffect* e = host.create();
    std::string longName(100, 'n');
    FakeHost::call(e, effSetProgramName, 0, 0, const_cast<char*>(longName.c_str()));
    LinkPlugin* p = pluginOf(e);
    char name[LinkPlugin::kProgramNameBytes + 8];
    p->getProgramName(name);
    EXPECT_EQ(std::string(name), std::string(63, 'n'));
    FakeHost::call(e, effSetProgram, 0, 5);
    EXPECT_EQ(FakeHost::call(e, effGetProgram), 0);
}

}  // namespace
