#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

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

TEST(HostCallback, EveryAdoptedInstanceMustLeaveResvd1Alone) {
    TestHost host(config());
    host.install();
    AEffect first{}, second{};
    host.adopt(&first);
    host.adopt(&second);
    EXPECT_TRUE(host.reservedFieldIntact());
    second.resvd1 = 0;
    EXPECT_FALSE(host.reservedFieldIntact());
    EXPECT_TRUE(host.reservedFieldIntact(&first));
    EXPECT_FALSE(host.reservedFieldIntact(&second));
}

namespace {
// Stands in for a run's audio thread: blocks of 128 frames until stopped,
// each asking for the time as a plug-in does.
struct AudioThread {
    TestHost& host;
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::atomic<bool> sawOtherRecord{false};
    const VstTimeInfo* otherRecord = nullptr;
    std::thread thread;

    AudioThread(TestHost& h, const VstTimeInfo* other) : host(h), otherRecord(other) {
        thread = std::thread([this] {
            host.audioThreadBegins();
            while (!stop) {
                host.beginBlock();
                auto* info = reinterpret_cast<VstTimeInfo*>(call(audioMasterGetTime, 0, 0));
                if (info == otherRecord) sawOtherRecord = true;
                host.endBlock(128);
                ++blocks;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            host.audioThreadEnds();
        });
    }
    ~AudioThread() {
        stop = true;
        thread.join();
    }
};
}  // namespace

TEST(HostCallback, TransportRequestsTakeEffectAtTheAudioThreadsNextBlock) {
    TestHost host(config());
    host.install();
    const auto* mine = reinterpret_cast<VstTimeInfo*>(call(audioMasterGetTime, 0, 0));
    int64_t startedAt = -1;
    int64_t stoppedAt = -1;
    {
        AudioThread audio(host, mine);
        while (audio.blocks < 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const uint64_t play = host.setPlaying(true);
        ASSERT_TRUE(host.waitTransport(play, 2000, startedAt));
        EXPECT_TRUE(host.playing());
        while (audio.blocks < 20) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const uint64_t stop = host.setPlaying(false);
        ASSERT_TRUE(host.waitTransport(stop, 2000, stoppedAt));
        EXPECT_FALSE(audio.sawOtherRecord.load()) << "the audio thread must have a time record of its own";
    }
    EXPECT_EQ(startedAt, 0);
    EXPECT_GT(stoppedAt, 0);
    EXPECT_EQ(stoppedAt % 128, 0);
    EXPECT_EQ(host.samplePosition(), stoppedAt);
    // Without an audio thread a request takes effect at once.
    int64_t at = -1;
    EXPECT_TRUE(host.waitTransport(host.setPlaying(true), 0, at));
    EXPECT_EQ(at, stoppedAt);
}

TEST(HostCallback, ARequestNobodyTakesTimesOut) {
    TestHost host(config());
    host.install();
    std::atomic<bool> stop{false};
    std::atomic<bool> began{false};
    // An audio thread that never runs a block.
    std::thread idle([&] {
        host.audioThreadBegins();
        began = true;
        while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        host.audioThreadEnds();
    });
    while (!began) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    int64_t at = -1;
    EXPECT_FALSE(host.waitTransport(host.setPlaying(true), 50, at));
    stop = true;
    idle.join();
    // Its end applies what was asked for.
    EXPECT_TRUE(host.playing());
}

TEST(HostCallback, EveryTimeRequestOfABlockGetsTheSameAnswer) {
    TestHost host(config());
    host.install();
    host.setPlaying(true);
    VstInt32 flags[2][2] = {};
    double positions[2][2] = {};
    std::thread audio([&] {
        host.audioThreadBegins();
        for (int block = 0; block < 2; ++block) {
            host.beginBlock();
            // Two instances ask in one block.
            for (int k = 0; k < 2; ++k) {
                const auto* info = reinterpret_cast<VstTimeInfo*>(call(audioMasterGetTime, 0, 0));
                flags[block][k] = info->flags;
                positions[block][k] = info->samplePos;
            }
            host.endBlock(128);
        }
        host.audioThreadEnds();
    });
    audio.join();
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(flags[0][k] & (kVstTransportPlaying | kVstTransportChanged),
                  kVstTransportPlaying | kVstTransportChanged) << k;
        EXPECT_EQ(flags[1][k] & (kVstTransportPlaying | kVstTransportChanged), kVstTransportPlaying) << k;
        EXPECT_EQ(positions[0][k], 0.0);
        EXPECT_EQ(positions[1][k], 128.0);
    }
}

TEST(HostCallback, EachRequestChangesOnlyWhatItAsksFor) {
    TestHost host(config());
    host.install();
    host.setPlaying(true);
    int64_t at = -1;
    ASSERT_TRUE(host.waitTransport(host.locate(4410), 0, at));
    EXPECT_EQ(at, 4410);
    host.setTempo(90.0);
    host.setLoop(true, 1.0, 2.0);
    EXPECT_TRUE(host.playing());
    TestHost::TransportState s = host.transportState();
    EXPECT_EQ(s.position, 4410);
    EXPECT_EQ(s.tempo, 90.0);
    EXPECT_TRUE(s.loop);
    EXPECT_EQ(s.loopStartSamples, 29400);  // 60 / 90 * 44100
    EXPECT_EQ(s.loopEndSamples, 58800);
    host.setPlaying(false);
    host.setLoop(false, 0.0, 0.0);
    s = host.transportState();
    EXPECT_FALSE(s.playing);
    EXPECT_FALSE(s.loop);
    EXPECT_EQ(s.tempo, 90.0);
    EXPECT_EQ(s.position, 4410);
}
