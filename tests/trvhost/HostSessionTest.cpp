#include <gtest/gtest.h>

#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/trvhost/HostSession.h"
#include "tools/trvhost/WavFile.h"
#include "vst/AudioEffectX.h"

namespace {

std::string tempPath(const std::string& name) {
    const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + "trvhost_" + t->name() + "_" + name;
}

std::vector<float> ramp(size_t frames, int channels) {
    std::vector<float> v(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<float>(i % 1000) / 1000.0f - 0.5f;
    return v;
}

void writeWav(const std::string& path, int rate, int channels, const std::vector<float>& samples) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_writef_float(f, samples.data(), static_cast<sf_count_t>(samples.size() / static_cast<size_t>(channels)));
    sf_close(f);
}

std::vector<float> readOutput(const std::string& path, size_t maxFrames = 1 << 24) {
    std::vector<float> out;
    std::string error;
    EXPECT_TRUE(readWavStereo(path, 48000, maxFrames, out, error)) << error;
    return out;
}

std::vector<char> readBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const void* data, size_t size) {
    std::ofstream f(path, std::ios::binary);
    f.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

struct Session {
    int status = -1;
    std::string out;
    std::string err;
};

Session runSession(const HostOptions& o, VstPluginMainProc builtIn = nullptr) {
    Session s;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    s.status = runHostSession(o, builtIn, out, err);
    for (auto [file, text] : {std::pair<std::FILE*, std::string*>{out, &s.out}, {err, &s.err}}) {
        std::rewind(file);
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0) text->append(buffer, n);
        std::fclose(file);
    }
    return s;
}

HostOptions fixtureRun(double seconds) {
    HostOptions o;
    o.pluginPath = TRV_FIXTURE_PLUGIN;
    o.seconds = seconds;
    o.fast = true;
    return o;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A built-in plug-in that records the calls the session makes.
std::vector<std::string> calls;
int destroyed = 0;
bool declareReplacing = true;
bool clobberReserved = false;

class RecordingEffect : public AudioEffectX {
public:
    explicit RecordingEffect(audioMasterCallback host) : AudioEffectX(host, 1, 0) {
        setNumInputs(2);
        setNumOutputs(2);
        canProcessReplacing(declareReplacing);
        programsAreChunks();
    }
    ~RecordingEffect() override { ++destroyed; }
    void open() override {
        calls.push_back("open");
        if (clobberReserved) cEffect.resvd1 = 0;
    }
    void close() override { calls.push_back("close"); }
    void setSampleRate(float rate) override { calls.push_back("rate " + std::to_string(static_cast<int>(rate))); }
    void setBlockSize(VstInt32 size) override { calls.push_back("block " + std::to_string(size)); }
    void resume() override { calls.push_back("resume"); }
    void suspend() override { calls.push_back("suspend"); }
    VstInt32 setChunk(void*, VstInt32 size, bool isPreset) override {
        calls.push_back("setChunk " + std::to_string(size) + (isPreset ? " program" : " bank"));
        return 1;
    }
    void processReplacing(float**, float** outputs, VstInt32 frames) override {
        if (calls.empty() || calls.back() != "process") calls.push_back("process");
        for (VstInt32 i = 0; i < frames; ++i) outputs[0][i] = outputs[1][i] = 0.25f;
    }
};

AEffect* VSTCALLBACK recordingEntry(audioMasterCallback host) { return (new RecordingEffect(host))->getAeffect(); }
AEffect* VSTCALLBACK nullEntry(audioMasterCallback) { return nullptr; }

class HostSessionWithBuiltIn : public ::testing::Test {
protected:
    void SetUp() override {
        calls.clear();
        destroyed = 0;
        declareReplacing = true;
        clobberReserved = false;
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
