#include <gtest/gtest.h>

#include <cstring>

#include "tools/trvhost/HostCallback.h"

namespace {

TestHost::Config config() {
    TestHost::Config c;
    c.sampleRate = 44100.0;
    c.blockSize = 128;
    c.inputLatency = 11;
    c.outputLatency = 22;
    c.tempo = 100.0;
    return c;
}

VstIntPtr call(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
               AEffect* effect = nullptr) {
    return TestHost::callback(effect, opcode, index, value, ptr, 0.0f);
}

struct MidiBlock {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[3];
};

}  // namespace

TEST(HostCallback, AnswersVersionBeforeTheEffectExists) {
    TestHost host(config());
    host.install();
    EXPECT_EQ(call(audioMasterVersion), 2400);
}

TEST(HostCallback, AnswersVersionEvenWithoutAnInstalledHost) {
    EXPECT_EQ(call(audioMasterVersion), 2400);
    EXPECT_EQ(call(audioMasterGetSampleRate), 0);
}

TEST(HostCallback, ReportsItsConfiguration) {
    TestHost host(config());
    host.install();
    EXPECT_EQ(call(audioMasterGetSampleRate), 44100);
    EXPECT_EQ(call(audioMasterGetBlockSize), 128);
    EXPECT_EQ(call(audioMasterGetInputLatency), 11);
    EXPECT_EQ(call(audioMasterGetOutputLatency), 22);
    EXPECT_EQ(call(audioMasterIdle), 0);
    EXPECT_EQ(call(audioMasterGetCurrentProcessLevel), 0);
    EXPECT_EQ(call(9999), 0);
    EXPECT_EQ(call(-1), 0);
}

TEST(HostCallback, CanDoAnswersYesOnlyToItsExactCapabilities) {
    TestHost host(config());
    host.install();
    for (const char* yes : {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo", "receiveVstEvents",
                            "receiveVstMidiEvent", "sizeWindow"}) {
        char text[64];
        std::strcpy(text, yes);
        EXPECT_EQ(call(audioMasterCanDo, 0, 0, text), 1) << yes;
    }
    for (const char* no : {"sendVstEvents ", "sendVstEvent", "openFileSelector", "supplyIdle", ""}) {
        char text[64];
        std::strcpy(text, no);
        EXPECT_EQ(call(audioMasterCanDo, 0, 0, text), 0) << no;
    }
    EXPECT_EQ(call(audioMasterCanDo), 0);
}

TEST(HostCallback, TimeRecordIsHostOwnedAndHonoursTheMask) {
    TestHost host(config());
    host.install();
    auto* first = reinterpret_cast<VstTimeInfo*>(call(audioMasterGetTime, 0, kVstTempoValid));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->tempo, 100.0);
    EXPECT_EQ(first->sampleRate, 44100.0);
    EXPECT_NE(first->flags & kVstNanosValid, 0);
    EXPECT_GT(first->nanoSeconds, 0.0);
    auto* second = reinterpret_cast<VstTimeInfo*>(call(audioMasterGetTime, 0, 0));
    EXPECT_EQ(first, second);
    EXPECT_EQ(second->flags & kVstTempoValid, 0);
}

TEST(HostCallback, TransportAdvancesAfterEachBlockWhilePlaying) {
    TestHost host(config());
    host.install();
    host.beginBlock();
    host.endBlock(128);
    EXPECT_EQ(host.samplePosition(), 0);
    host.setPlaying(true);
    host.beginBlock();
    host.endBlock(128);
    auto* info = reinterpret_cast<VstTimeInfo*>(call(audioMasterGetTime, 0, 0));
    EXPECT_EQ(info->samplePos, 128.0);
    EXPECT_NE(info->flags & kVstTransportPlaying, 0);
}

TEST(HostCallback, EventsAreTakenOnlyInsideABlock) {
    TestHost host(config());
    host.install();
    VstMidiEvent note{};
    note.type = kVstMidiType;
    VstEvent other{};
    other.type = kVstSysExType;
    MidiBlock block{3, 0, {reinterpret_cast<VstEvent*>(&note), &other, nullptr}};

    EXPECT_EQ(call(audioMasterProcessEvents, 0, 0, &block), 0);
    EXPECT_EQ(host.eventCallsRefused(), 1u);
    EXPECT_EQ(host.eventsReceived(), 0u);

    host.beginBlock();
    EXPECT_EQ(call(audioMasterProcessEvents, 0, 0, &block), 1);
    host.endBlock(0);
    EXPECT_EQ(host.eventsReceived(), 2u);  // the null entry is skipped
    EXPECT_EQ(host.midiEventsReceived(), 1u);
}

TEST(HostCallback, MalformedEventBlocksAreRefused) {
    TestHost host(config());
    host.install();
    host.beginBlock();
    EXPECT_EQ(call(audioMasterProcessEvents), 0);
    MidiBlock negative{-1, 0, {nullptr, nullptr, nullptr}};
    EXPECT_EQ(call(audioMasterProcessEvents, 0, 0, &negative), 0);
    MidiBlock huge{TestHost::kMaxEventsPerCall + 1, 0, {nullptr, nullptr, nullptr}};
    EXPECT_EQ(call(audioMasterProcessEvents, 0, 0, &huge), 0);
    host.endBlock(0);
    EXPECT_EQ(host.eventsReceived(), 0u);
}

TEST(HostCallback, IdentityStringsFitTheCustomaryBuffers) {
    TestHost host(config());
    host.install();
    char vendor[kVstMaxVendorStrLen + 8];
    std::memset(vendor, 'x', sizeof(vendor));
    EXPECT_EQ(call(audioMasterGetVendorString, 0, 0, vendor), 1);
    EXPECT_STREQ(vendor, "Tarvolink");
    char product[kVstMaxProductStrLen];
    EXPECT_EQ(call(audioMasterGetProductString, 0, 0, product), 1);
    EXPECT_STREQ(product, "trvhost");
    EXPECT_EQ(call(audioMasterGetVendorString), 0);
}


TEST(HostCallback, NoticesAPluginThatOverwritesResvd1) {
    TestHost host(config());
    host.install();
    AEffect record{};
    host.adopt(&record);
    EXPECT_EQ(record.resvd1, reinterpret_cast<VstIntPtr>(&host));
    EXPECT_TRUE(host.reservedFieldIntact());
    record.resvd1 = 0;
    EXPECT_FALSE(host.reservedFieldIntact());
}
