// Whole host sessions of a probe plug-in that logs the time info and the
// MIDI the host hands it, echoes that MIDI back to the host and, when told,
// hands the host MIDI time code from the core's generator: --midi-in
// through a loop, --midi-out, the "mtc:" lines and --chase-mtc.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/trvhost/HostTestSupport.h"
#include "tools/trvhost/MidiInput.h"
#include "trvcore/midi/MidiEventBlock.h"
#include "trvcore/sync/MtcGenerator.h"
#include "vst/AudioEffectX.h"

using namespace hosttest;

namespace {

constexpr int kBlock = 256;

struct BlockSeen {
    double samplePos = 0.0;
    VstInt32 flags = 0;
    double cycleStart = 0.0;
    double cycleEnd = 0.0;
    VstInt32 smpte = -1;
    int quarterFrames = 0;  // sent by the probe in this block
};

struct EventSeen {
    size_t block;  // the processReplacing call it came before
    int32_t delta;
    int bytes[3];
    bool operator==(const EventSeen& o) const {
        return block == o.block && delta == o.delta && bytes[0] == o.bytes[0] && bytes[1] == o.bytes[1] &&
               bytes[2] == o.bytes[2];
    }
};

std::ostream& operator<<(std::ostream& os, const EventSeen& e) {
    return os << "block " << e.block << " delta " << e.delta << " " << std::hex << e.bytes[0] << " " << e.bytes[1]
              << " " << e.bytes[2] << std::dec;
}

// The probe's log and orders; one session at a time.
std::vector<BlockSeen> blocks;
std::vector<EventSeen> received;
// Time code from block `mtcFrom` for `mtcBlocks` blocks, located at
// `mtcAt` samples (the generator starts one second before it).
int mtcFrom = -1;
int mtcBlocks = 0;
int64_t mtcAt = 0;

class MidiProbe : public AudioEffectX {
public:
    explicit MidiProbe(audioMasterCallback host) : AudioEffectX(host, 1, 0), echo_(256) {
        setNumInputs(2);
        setNumOutputs(2);
        canProcessReplacing();
        generator_.setSampleRate(48000.0);
    }
    VstInt32 processEvents(VstEvents* events) override {
        for (VstInt32 i = 0; i < events->numEvents; ++i) {
            const auto* e = reinterpret_cast<const VstMidiEvent*>(events->events[i]);
            const uint8_t b[3] = {static_cast<uint8_t>(e->midiData[0]), static_cast<uint8_t>(e->midiData[1]),
                                  static_cast<uint8_t>(e->midiData[2])};
            received.push_back({blocks.size(), e->deltaFrames, {b[0], b[1], b[2]}});
            echo_.append(b[0], b[1], b[2], e->deltaFrames);
        }
        return 1;
    }
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override {
        const VstTimeInfo* t = getTimeInfo(kVstPpqPosValid | kVstTempoValid | kVstCyclePosValid);
        BlockSeen seen;
        seen.samplePos = t->samplePos;
        seen.flags = t->flags;
        seen.cycleStart = t->cycleStartPos;
        seen.cycleEnd = t->cycleEndPos;
        seen.smpte = t->smpteFrameRate;
        for (int c = 0; c < 2; ++c)
            for (VstInt32 i = 0; i < frames; ++i) outputs[c][i] = inputs[c][i];
        const int block = static_cast<int>(blocks.size());
        if (block == mtcFrom) {
            generator_.setFrameRate(1);  // 25 fps
            generator_.locate(mtcAt);
        }
        if (block == mtcFrom + mtcBlocks) generator_.stop();
        uint8_t bytes[MtcGenerator::kMaxPerBlock];
        seen.quarterFrames = generator_.generate(bytes, frames, MtcGenerator::kMaxPerBlock);
        for (int k = 0; k < seen.quarterFrames; ++k) echo_.append(0xF1, bytes[k], 0, 0);
        blocks.push_back(seen);
        if (echo_.count()) sendVstEventsToHost(echo_.events());
        echo_.clear();
    }

private:
    MidiEventBlock echo_;
    MtcGenerator generator_;
};

AEffect* VSTCALLBACK probeEntry(audioMasterCallback host) { return (new MidiProbe(host))->getAeffect(); }

class MidiHost : public ::testing::Test {
protected:
    void SetUp() override {
        blocks.clear();
        received.clear();
        blocks.reserve(4096);
        received.reserve(4096);
        mtcFrom = -1;
        mtcBlocks = 0;
    }
    HostOptions options(double seconds) {
        HostOptions o;
        o.seconds = seconds;
        o.fast = true;
        o.midiOutPath = tempPath("out.midi");
        return o;
    }
};

std::vector<std::string> fileLines(const std::string& path) {
    std::vector<std::string> lines;
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return lines;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, f)) {
        std::string l(buffer);
        if (!l.empty() && l.back() == '\n') l.pop_back();
        lines.push_back(l);
    }
    std::fclose(f);
    return lines;
}

std::string midiLine(int64_t position, const int (&bytes)[3], int instance) {
    char text[64];
    std::snprintf(text, sizeof text, "%lld %02X %02X %02X %d", static_cast<long long>(position), bytes[0], bytes[1],
                  bytes[2], instance);
    return text;
}

}  // namespace

TEST_F(MidiHost, MidiInReachesTheBlockThatHoldsItsPositionThroughALoopAndComesBackOut) {
    // 120 BPM: the loop [1, 2) is [24000, 48000). 24050 lies where the
    // first wrap lands past it; 60000 lies beyond the loop.
    HostOptions o = options(2.0);
    o.play = true;
    o.loop = true;
    o.loopStart = 1.0;
    o.loopEnd = 2.0;
    o.smpteFrameRate = 4;
    o.midiInPath = tempPath("in.midi");
    writeText(o.midiInPath,
              "# position status data data\n30000 80 3C 00\n\n30000 b0 07 64\n100 90 3C 64\n24050 90 3E 50\n"
              "60000 90 40 7F\n");
    std::vector<MidiInEvent> file;
    std::string error;
    ASSERT_TRUE(readMidiIn(o.midiInPath, file, error)) << error;
    const Session s = runSession(o, &probeEntry);
    ASSERT_EQ(s.status, 0) << s.err;
    ASSERT_EQ(blocks.size(), 375u);

    // Every answer carries the loop and the SMPTE code; the position wraps
    // at block boundaries, keeping the overshoot.
    for (size_t b = 0; b < blocks.size(); ++b) {
        const BlockSeen& seen = blocks[b];
        const VstInt32 want = kVstTransportPlaying | kVstTransportCycleActive | kVstCyclePosValid | kVstSmpteValid;
        ASSERT_EQ(seen.flags & want, want) << b;
        ASSERT_EQ(seen.cycleStart, 1.0);
        ASSERT_EQ(seen.cycleEnd, 2.0);
        ASSERT_EQ(seen.smpte, 4);
        if (b == 0) continue;
        const int64_t before = static_cast<int64_t>(blocks[b - 1].samplePos);
        int64_t next = before + kBlock;
        if (before < 48000 && next >= 48000) next = 24000 + (next - 48000);
        ASSERT_EQ(static_cast<int64_t>(seen.samplePos), next) << b;
    }
    EXPECT_EQ(blocks[187].samplePos, 47872.0);
    EXPECT_EQ(blocks[188].samplePos, 24128.0);

    // Each event comes in the block holding its position, before that
    // block's processReplacing, with its offset into it.
    std::vector<EventSeen> expected;
    for (size_t b = 0; b < blocks.size(); ++b) {
        const int64_t start = static_cast<int64_t>(blocks[b].samplePos);
        for (const MidiInEvent& e : file)
            if (e.position >= start && e.position < start + kBlock)
                expected.push_back({b, static_cast<int32_t>(e.position - start),
                                    {e.bytes[0], e.bytes[1], e.bytes[2]}});
    }
    EXPECT_EQ(received, expected);
    size_t at24050 = 0, at60000 = 0, at30000 = 0;
    for (const EventSeen& e : received) {
        const int64_t position = static_cast<int64_t>(blocks[e.block].samplePos) + e.delta;
        at24050 += position == 24050;
        at60000 += position == 60000;
        at30000 += position == 30000;
    }
    EXPECT_EQ(at24050, 1u);
    EXPECT_EQ(at60000, 0u);
    EXPECT_GE(at30000, 2u * 3);  // both events of 30000, on every pass
    ASSERT_GE(received.size(), 2u);
    EXPECT_EQ(received[0], (EventSeen{0, 100, {0x90, 0x3C, 0x64}}));
    EXPECT_EQ(received[2].bytes[0], 0x80) << "events of one position keep their order in the file";
    EXPECT_EQ(received[3].bytes[0], 0xB0);

    // The echo comes out at the song positions the events went in at.
    std::vector<std::string> out;
    for (const EventSeen& e : received)
        out.push_back(midiLine(static_cast<int64_t>(blocks[e.block].samplePos) + e.delta, e.bytes, 1));
    EXPECT_EQ(fileLines(o.midiOutPath), out);
    EXPECT_EQ(linesWith(s.out, "midi-out: "),
              std::vector<std::string>{o.midiOutPath + ", " + std::to_string(out.size()) + " events"});
    EXPECT_TRUE(linesWith(s.out, "mtc: ").empty());
}

TEST_F(MidiHost, ChasingTheTimeCodeStartsAtItAndStopsHalfASecondAfterItEnds) {
    // 0.4 s of 25 fps time code from block 10, located at 3 s: it starts at
    // 00:00:02:00, so the host plays from 2 s plus two frames (1920 samples
    // each).
    mtcFrom = 10;
    mtcBlocks = 75;
    mtcAt = 3 * 48000;
    HostOptions o = options(2.0);
    o.chaseTimeCode = true;
    const Session s = runSession(o, &probeEntry);
    ASSERT_EQ(s.status, 0) << s.err;
    ASSERT_EQ(blocks.size(), 375u);

    int sent = 0;
    size_t complete = 0, lastQuarterFrame = 0;
    for (size_t b = 0; b < blocks.size(); ++b) {
        if (blocks[b].quarterFrames) lastQuarterFrame = b;
        if (sent < 8 && sent + blocks[b].quarterFrames >= 8) complete = b;
        sent += blocks[b].quarterFrames;
    }
    ASSERT_GE(sent, 32);
    size_t firstPlaying = 0;
    while (firstPlaying < blocks.size() && !(blocks[firstPlaying].flags & kVstTransportPlaying)) ++firstPlaying;
    size_t firstStopped = firstPlaying;
    while (firstStopped < blocks.size() && (blocks[firstStopped].flags & kVstTransportPlaying)) ++firstStopped;
    ASSERT_LT(firstStopped, blocks.size());
    EXPECT_EQ(firstPlaying, complete + 1);
    EXPECT_EQ(blocks[firstPlaying].samplePos, 96000.0 + 2 * 1920);
    // Stopped at the end of the block that made 500 ms without a quarter frame.
    EXPECT_GE((firstStopped - 1 - lastQuarterFrame) * kBlock, 24000u);
    EXPECT_LT((firstStopped - 2 - lastQuarterFrame) * kBlock, 24000u);
    const int64_t stoppedAt = 99840 + static_cast<int64_t>(firstStopped - firstPlaying) * kBlock;
    EXPECT_EQ(blocks[firstStopped].samplePos, static_cast<double>(stoppedAt));
    for (size_t b = firstStopped; b < blocks.size(); ++b) ASSERT_FALSE(blocks[b].flags & kVstTransportPlaying) << b;
    EXPECT_EQ(linesWith(s.out, "transport: "),
              (std::vector<std::string>{"playing at 99840", "stopped at " + std::to_string(stoppedAt)}));

    // One line per complete time code, two frames apart.
    const std::vector<std::string> codes = linesWith(s.out, "mtc: ");
    ASSERT_EQ(codes.size(), static_cast<size_t>(sent / 8));
    EXPECT_EQ(codes[0], "00:00:02:00 rate 25");
    EXPECT_EQ(codes[1], "00:00:02:02 rate 25");
    EXPECT_EQ(codes[3], "00:00:02:06 rate 25");

    // Every quarter frame is in the file at its block's position.
    std::vector<std::string> expected;
    for (const BlockSeen& b : blocks)
        for (int k = 0; k < b.quarterFrames; ++k) expected.push_back(std::to_string(static_cast<int64_t>(b.samplePos)));
    const std::vector<std::string> lines = fileLines(o.midiOutPath);
    ASSERT_EQ(lines.size(), expected.size());
    EXPECT_EQ(lines[0], "0 F1 00 00 1");  // piece 0: frames' low nibble
    EXPECT_EQ(lines[7], "0 F1 72 00 1");  // piece 7: 25 fps, hours' high bit 0
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].substr(0, lines[i].find(' ')), expected[i]) << i;
        EXPECT_EQ(lines[i].substr(lines[i].size() - 1), "1") << i;
    }
}
