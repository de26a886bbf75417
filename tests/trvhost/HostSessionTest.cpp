#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tests/trvhost/HostTestSupport.h"
#include "vst/AudioEffectX.h"

namespace {

using namespace hosttest;

std::vector<char> readBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const void* data, size_t size) {
    std::ofstream f(path, std::ios::binary);
    f.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

HostOptions fixtureRun(double seconds) {
    HostOptions o;
    o.pluginPath = TRV_FIXTURE_PLUGIN;
    o.seconds = seconds;
    o.fast = true;
    return o;
}

// A built-in plug-in that records the calls the session makes: `calls`
// without instance numbers (runs of process calls as one), `numbered` with
// them, and the buffers each instance was given.
std::vector<std::string> calls;
std::vector<std::string> numbered;
std::vector<std::set<const float*>> buffersOf;
int made = 0;
int destroyed = 0;
bool declareReplacing = true;
bool clobberReserved = false;
int clobberInstance = 1;

class RecordingEffect : public AudioEffectX {
public:
    explicit RecordingEffect(audioMasterCallback host) : AudioEffectX(host, 1, 0), id_(++made) {
        setNumInputs(2);
        setNumOutputs(2);
        canProcessReplacing(declareReplacing);
        programsAreChunks();
        buffersOf.resize(static_cast<size_t>(id_) + 1);
    }
    ~RecordingEffect() override { ++destroyed; }
    void open() override {
        note("open");
        if (clobberReserved && id_ == clobberInstance) cEffect.resvd1 = 0;
    }
    void close() override { note("close"); }
    void setSampleRate(float rate) override { note("rate " + std::to_string(static_cast<int>(rate))); }
    void setBlockSize(VstInt32 size) override { note("block " + std::to_string(size)); }
    void resume() override { note("resume"); }
    void suspend() override { note("suspend"); }
    VstInt32 setChunk(void*, VstInt32 size, bool isPreset) override {
        note("setChunk " + std::to_string(size) + (isPreset ? " program" : " bank"));
        return 1;
    }
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override {
        if (calls.empty() || calls.back() != "process") calls.push_back("process");
        numbered.push_back("process " + std::to_string(id_));
        for (const float* b : {inputs[0], inputs[1], outputs[0], outputs[1]}) buffersOf[static_cast<size_t>(id_)].insert(b);
        // Each instance's output is its own input plus its number.
        for (VstInt32 i = 0; i < frames; ++i) {
            outputs[0][i] = inputs[0][i] + 0.125f * static_cast<float>(id_);
            outputs[1][i] = inputs[1][i] + 0.125f * static_cast<float>(id_);
        }
    }

private:
    void note(const std::string& what) {
        calls.push_back(what);
        numbered.push_back(what + " " + std::to_string(id_));
    }
    const int id_;
};

AEffect* VSTCALLBACK recordingEntry(audioMasterCallback host) { return (new RecordingEffect(host))->getAeffect(); }
AEffect* VSTCALLBACK nullEntry(audioMasterCallback) { return nullptr; }

class HostSessionWithBuiltIn : public ::testing::Test {
protected:
    void SetUp() override {
        calls.clear();
        numbered.clear();
        buffersOf.clear();
        made = 0;
        destroyed = 0;
        declareReplacing = true;
        clobberReserved = false;
        clobberInstance = 1;
    }
};

}  // namespace

TEST(HostSession, ProcessesTheInputFileThroughThePlugin) {
    const std::string in = tempPath("in.wav");
    const std::string out = tempPath("out.wav");
    const std::vector<float> input = ramp(24000, 2);
    writeWav(in, 48000, 2, input);
    HostOptions o = fixtureRun(0.25);
    o.inputPath = in;
    o.outputPath = out;
    const Session s = runSession(o);
    ASSERT_EQ(s.status, 0) << s.err;
    const std::vector<float> result = readOutput(out);
    ASSERT_EQ(result.size(), 12000u * 2);
    for (size_t i = 0; i < result.size(); ++i) ASSERT_FLOAT_EQ(result[i], input[i] * 0.5f) << i;
    EXPECT_TRUE(contains(s.out, "47 blocks, 12000 frames")) << s.out;
}

TEST(HostSession, MonoInputFeedsBothChannelsAndSilenceFollowsItsEnd) {
    const std::string in = tempPath("in.wav");
    const std::string out = tempPath("out.wav");
    const std::vector<float> mono = ramp(1000, 1);
    writeWav(in, 48000, 1, mono);
    HostOptions o = fixtureRun(0.05);
    o.inputPath = in;
    o.outputPath = out;
    o.blockSize = 300;  // the last block of the input is split over a block boundary
    ASSERT_EQ(runSession(o).status, 0);
    const std::vector<float> result = readOutput(out);
    ASSERT_EQ(result.size(), 2400u * 2);
    for (size_t f = 0; f < 2400; ++f) {
        const float expected = f < 1000 ? mono[f] * 0.5f : 0.0f;
        ASSERT_FLOAT_EQ(result[f * 2], expected) << f;
        ASSERT_FLOAT_EQ(result[f * 2 + 1], expected) << f;
    }
}

TEST(HostSession, ARunEndedByQuitWritesTheFramesThatRanOnly) {
    const std::string out = tempPath("out.wav");
    HostOptions o = fixtureRun(30.0);
    o.fast = false;
    o.outputPath = out;
    o.scriptPath = tempPath("quit.trv");
    writeText(o.scriptPath, "sleep 300\nquit\n");
    const Session s = runSession(o);
    ASSERT_EQ(s.status, 0) << s.err;
    const size_t at = s.out.find(" frames at ");
    ASSERT_NE(at, std::string::npos) << s.out;
    const size_t ran = std::stoul(s.out.substr(s.out.rfind(' ', at - 1) + 1));
    EXPECT_GT(ran, 0u);
    EXPECT_LT(ran, 48000u * 5) << "the run went on after quit";
    EXPECT_EQ(readOutput(out).size(), ran * 2);
}

TEST(HostSession, RefusesAnInputAtAnotherSampleRate) {
    const std::string in = tempPath("in.wav");
    writeWav(in, 44100, 2, ramp(100, 2));
    HostOptions o = fixtureRun(0.1);
    o.inputPath = in;
    const Session s = runSession(o);
    EXPECT_EQ(s.status, 1);
    EXPECT_TRUE(contains(s.err, "44100")) << s.err;
}

TEST(HostSession, ChunkInChangesTheStateAndChunkOutSavesIt) {
    const std::string chunkIn = tempPath("in.chunk");
    const std::string chunkOut = tempPath("out.chunk");
    const std::string in = tempPath("in.wav");
    const std::string out = tempPath("out.wav");
    const float gain = 0.25f;
    char chunk[8];
    const VstInt32 id = fourCC('T', 'f', 'x', 'C');
    std::memcpy(chunk, &id, 4);
    std::memcpy(chunk + 4, &gain, 4);
    writeBytes(chunkIn, chunk, sizeof(chunk));
    writeWav(in, 48000, 2, std::vector<float>(960, 1.0f));

    HostOptions o = fixtureRun(0.01);
    o.chunkInPath = chunkIn;
    o.chunkOutPath = chunkOut;
    o.inputPath = in;
    o.outputPath = out;
    ASSERT_EQ(runSession(o).status, 0);
    EXPECT_FLOAT_EQ(readOutput(out).at(0), 0.25f);
    EXPECT_EQ(readBytes(chunkOut), std::vector<char>(chunk, chunk + sizeof(chunk)));
}

TEST(HostSession, ChunkOutWorksWithoutARun) {
    const std::string chunkOut = tempPath("out.chunk");
    HostOptions o = fixtureRun(0.0);
    o.chunkOutPath = chunkOut;
    ASSERT_EQ(runSession(o).status, 0);
    EXPECT_EQ(readBytes(chunkOut).size(), 8u);
}

TEST(HostSession, PlayingTransportReachesThePluginAndItsEventsAreCounted) {
    HostOptions o = fixtureRun(0.1);  // 4800 frames: 19 blocks of 256
    o.play = true;
    const Session playing = runSession(o);
    ASSERT_EQ(playing.status, 0) << playing.err;
    EXPECT_TRUE(contains(playing.out, "19 events from the plug-in (19 MIDI), 0 refused, wants MIDI yes"))
        << playing.out;
    EXPECT_TRUE(contains(playing.out, "transport at 4800")) << playing.out;

    o.play = false;
    const Session stopped = runSession(o);
    EXPECT_TRUE(contains(stopped.out, "0 events from the plug-in")) << stopped.out;
    EXPECT_TRUE(contains(stopped.out, "transport at 0")) << stopped.out;
}

TEST(HostSession, InfoDescribesThePlugin) {
    HostOptions o = fixtureRun(0.0);
    o.info = true;
    const Session s = runSession(o);
    ASSERT_EQ(s.status, 0) << s.err;
    for (const char* line : {"plug-in: ", "(entry VSTPluginMain)", "effect name: \"Fixture Gain\"",
                             "vendor: \"Tarvolink Tests\"", "vendor version: 3", "VST version: 2300",
                             "unique ID: 'TfxG' (0x54667847)", "version: 7",
                             "flags: 0x31 HasEditor CanReplacing ProgramChunks", "inputs: 2 outputs: 2",
                             "category: 1 (effect)", "input 0: label \"Fixture L\" short \"\" flags 0x3 active stereo",
                             "output 0: no properties", "program 0: \"Default\"", "parameter 0: name \"Gain\"",
                             "canDo receiveVstTimeInfo: 1 (yes)", "canDo bypass: -1 (no)"}) {
        EXPECT_TRUE(contains(s.out, line)) << line << "\n" << s.out;
    }
    EXPECT_FALSE(contains(s.out, "warning:")) << s.out;
}

TEST(HostSession, ALibraryThatCannotBeLoadedFails) {
    HostOptions o;
    o.pluginPath = TRV_FIXTURE_NO_ENTRY;
    const Session s = runSession(o);
    EXPECT_EQ(s.status, 1);
    EXPECT_TRUE(contains(s.err, "neither")) << s.err;
}

TEST_F(HostSessionWithBuiltIn, FollowsTheSequencerStartupAndShutdownOrder) {
    const std::string chunkIn = tempPath("in.chunk");
    writeBytes(chunkIn, "abc", 3);
    HostOptions o;
    o.seconds = 0.01;
    o.fast = true;
    o.chunkInPath = chunkIn;
    ASSERT_EQ(runSession(o, &recordingEntry).status, 0);
    const std::vector<std::string> expected{"open",   "rate 48000", "block 256", "setChunk 3 bank", "resume",
                                            "process", "suspend",   "close"};
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(destroyed, 1);
}

TEST_F(HostSessionWithBuiltIn, WithoutARunThePluginIsOnlySuspended) {
    ASSERT_EQ(runSession(HostOptions{}, &recordingEntry).status, 0);
    const std::vector<std::string> expected{"open", "rate 48000", "block 256", "suspend", "close"};
    EXPECT_EQ(calls, expected);
}

TEST_F(HostSessionWithBuiltIn, APluginWithoutReplacingProcessIsNotRun) {
    declareReplacing = false;
    HostOptions o;
    o.seconds = 0.01;
    const Session s = runSession(o, &recordingEntry);
    EXPECT_EQ(s.status, 1);
    EXPECT_TRUE(contains(s.err, "processReplacing")) << s.err;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "process"), 0);
    EXPECT_EQ(destroyed, 1);
}

TEST_F(HostSessionWithBuiltIn, APluginThatOverwritesTheHostFieldFails) {
    clobberReserved = true;
    const Session s = runSession(HostOptions{}, &recordingEntry);
    EXPECT_EQ(s.status, 1);
    EXPECT_TRUE(contains(s.err, "resvd1")) << s.err;
}

TEST_F(HostSessionWithBuiltIn, AnEntryReturningNothingFails) {
    EXPECT_EQ(runSession(HostOptions{}, &nullEntry).status, 1);
    EXPECT_EQ(runSession(HostOptions{}, nullptr).status, 1);
}

TEST_F(HostSessionWithBuiltIn, EveryInstanceIsSetUpInTurnAndProcessedInOrderEveryBlock) {
    HostOptions o;
    o.seconds = 0.016;  // 768 frames: three blocks of 256
    o.fast = true;
    o.instances = 3;
    ASSERT_EQ(runSession(o, &recordingEntry).status, 0);
    std::vector<std::string> expected;
    for (const char* k : {"1", "2", "3"})
        for (const char* step : {"open ", "rate 48000 ", "block 256 "}) expected.push_back(std::string(step) + k);
    for (const char* k : {"1", "2", "3"}) expected.push_back(std::string("resume ") + k);
    for (int block = 0; block < 3; ++block)
        for (const char* k : {"1", "2", "3"}) expected.push_back(std::string("process ") + k);
    for (const char* step : {"suspend ", "close "})
        for (const char* k : {"1", "2", "3"}) expected.push_back(std::string(step) + k);
    EXPECT_EQ(numbered, expected);
    EXPECT_EQ(destroyed, 3);
}

TEST_F(HostSessionWithBuiltIn, EachInstanceHasBuffersOfItsOwnAndTheInputFeedsTheFirst) {
    const std::string in = tempPath("in.wav");
    const std::string out = tempPath("out.wav");
    writeWav(in, 48000, 2, std::vector<float>(512 * 2, 0.5f));
    HostOptions o;
    o.seconds = 0.016;
    o.fast = true;
    o.instances = 3;
    o.inputPath = in;
    o.outputPath = out;
    const Session s = runSession(o, &recordingEntry);
    ASSERT_EQ(s.status, 0) << s.err;
    ASSERT_EQ(buffersOf.size(), 4u);
    std::set<const float*> all;
    for (int k = 1; k <= 3; ++k) {
        EXPECT_EQ(buffersOf[static_cast<size_t>(k)].size(), 4u) << k;
        all.insert(buffersOf[static_cast<size_t>(k)].begin(), buffersOf[static_cast<size_t>(k)].end());
    }
    EXPECT_EQ(all.size(), 12u);
    // Instance 1's output: the input (0.5 for 512 frames) plus 0.125.
    const std::vector<float> result = readOutput(out);
    ASSERT_EQ(result.size(), 768u * 2);
    EXPECT_FLOAT_EQ(result[0], 0.625f);
    EXPECT_FLOAT_EQ(result[511 * 2 + 1], 0.625f);
    EXPECT_FLOAT_EQ(result[512 * 2], 0.125f);
    // One summary per instance after the run line, whose peak is instance 1's.
    EXPECT_TRUE(contains(s.out, "peak -4.1/-4.1 dBFS, 0 non-finite samples\ninstance 1: peak -4.1/-4.1 dBFS"))
        << s.out;
    EXPECT_TRUE(contains(s.out, "instance 2: peak -12.0/-12.0 dBFS, 0 non-finite samples")) << s.out;
    EXPECT_TRUE(contains(s.out, "instance 3: peak -8.5/-8.5 dBFS, 0 non-finite samples")) << s.out;
}

TEST_F(HostSessionWithBuiltIn, ASingleInstancePrintsNoInstanceLines) {
    HostOptions o;
    o.seconds = 0.01;
    o.fast = true;
    const Session s = runSession(o, &recordingEntry);
    ASSERT_EQ(s.status, 0);
    EXPECT_FALSE(contains(s.out, "instance 1:")) << s.out;
}

TEST_F(HostSessionWithBuiltIn, AnyInstanceThatOverwritesTheHostFieldFailsAndAllAreClosed) {
    clobberReserved = true;
    clobberInstance = 2;
    HostOptions o;
    o.instances = 3;
    const Session s = runSession(o, &recordingEntry);
    EXPECT_EQ(s.status, 1);
    EXPECT_TRUE(contains(s.err, "resvd1")) << s.err;
    EXPECT_EQ(destroyed, 3);
}

TEST(HostSession, InstancesOfAPluginLibraryEachGetTheirOwnInput) {
    const std::string in = tempPath("in.wav");
    const std::string out = tempPath("out.wav");
    writeWav(in, 48000, 2, std::vector<float>(4800 * 2, 0.5f));
    HostOptions o = fixtureRun(0.1);
    o.instances = 2;
    o.inputPath = in;
    o.outputPath = out;
    const Session s = runSession(o);
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_FLOAT_EQ(readOutput(out).at(100), 0.25f);
    EXPECT_TRUE(contains(s.out, "instance 1: peak -12.0/-12.0 dBFS")) << s.out;
    EXPECT_TRUE(contains(s.out, "instance 2: peak -inf/-inf dBFS")) << s.out;
    // Both instances ask for the time every block.
    EXPECT_TRUE(contains(s.out, "host: 38 time requests, 0 events")) << s.out;
}
