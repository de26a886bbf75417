// Command runs of whole host sessions: the audio commands against the
// built-in plug-in (whose thru switch passes each instance's input to its
// output, no service needed) and against the fixture plug-in library, and
// the video commands against a synthetic camera.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/TempSettings.h"
#include "tests/trvhost/HostTestSupport.h"
#include "tools/synthcam/SyntheticCamera.h"
#include "tools/trvhost/ClickTrain.h"
#include "trvcore/codec/Mp3Encoder.h"
#include "trvcore/plugin/PluginFactory.h"
#include "trvcore/video/VideoPicture.h"

using namespace hosttest;

namespace {

constexpr int kRate = 48000;

// Frames of a stereo recording.
size_t framesOf(const std::vector<float>& stereo) { return stereo.size() / 2; }

// First frame with a sample other than zero, or the end.
size_t firstSound(const std::vector<float>& stereo) {
    size_t f = 0;
    while (f < framesOf(stereo) && stereo[f * 2] == 0.0f && stereo[f * 2 + 1] == 0.0f) ++f;
    return f;
}

bool silentFrom(const std::vector<float>& stereo, size_t from) {
    for (size_t i = from * 2; i < stereo.size(); ++i)
        if (stereo[i] != 0.0f) return false;
    return true;
}

// Expects `recorded` to be silence, then `input` from its start for at
// least `minFrames`, then silence; returns the frames of input heard.
size_t expectInputHeard(const std::vector<float>& recorded, const std::vector<float>& input, size_t minFrames) {
    const size_t start = firstSound(recorded);
    size_t heard = 0;
    while (start + heard < framesOf(recorded) && heard < framesOf(input) &&
           recorded[(start + heard) * 2] == input[heard * 2] &&
           recorded[(start + heard) * 2 + 1] == input[heard * 2 + 1])
        ++heard;
    EXPECT_GE(heard, minFrames) << "starting at frame " << start;
    EXPECT_TRUE(silentFrom(recorded, start + heard)) << "after " << heard << " frames from " << start;
    return heard;
}

class HostCommands : public ::testing::Test {
protected:
    TempSettings settings_;

    // A command run of the built-in plug-in on an address of its own, so
    // runs in parallel do not share the partners' port.
    HostOptions options(const std::string& script, int instances = 1) {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        const unsigned host = static_cast<unsigned>(std::hash<std::string>()(name) % 250) + 2;
        HostOptions o;
        o.localAddress = "127.0.211." + std::to_string(host);
        o.seconds = 20.0;  // the script ends the run long before
        o.instances = instances;
        o.scriptPath = tempPath("script.trv");
        writeText(o.scriptPath, script);
        return o;
    }
    Session run(const HostOptions& o) { return runSession(o, &createLinkPluginEffect); }
    // One failing line: exit status 3 with `reason` on standard error.
    void expectFailure(const std::string& line, const std::string& reason, int instances = 1) {
        const Session s = run(options(line + "\nquit\n", instances));
        EXPECT_EQ(s.status, 3) << line << "\n" << s.out;
        EXPECT_TRUE(contains(s.err, reason)) << line << ": " << s.err;
    }
};

}  // namespace

TEST_F(HostCommands, EachInstanceHearsItsOwnInputThroughThru) {
    const std::string in1 = tempPath("in1.wav");
    const std::string in2 = tempPath("in2.wav");
    const std::string out1 = tempPath("out1.wav");
    const std::string rec2 = tempPath("rec2.wav");
    const std::string rec3 = tempPath("rec3.wav");
    const std::vector<float> first = ramp(9600, 2);
    std::vector<float> second(7200);
    for (size_t f = 0; f < second.size(); ++f) second[f] = 0.25f - static_cast<float>(f % 300) / 600.0f;
    writeWav(in1, kRate, 2, first);
    writeWav(in2, kRate, 1, second);  // mono: both channels
    HostOptions o = options("record " + rec2 + " 2\nrecord " + rec3 + " 3\nplay " + in2 +
                                " 2\nsleep 500\nrecord stop 2\nrecord stop 3\n",
                            3);
    o.inputPath = in1;
    o.outputPath = out1;
    const Session s = run(o);
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_EQ(linesWith(s.out, "play: "), std::vector<std::string>{in2 + " into instance 2"});

    const std::vector<float> out = readOutput(out1);
    ASSERT_GE(framesOf(out), framesOf(first));
    for (size_t i = 0; i < first.size(); ++i) ASSERT_EQ(out[i], first[i]) << i;

    const std::vector<float> heard2 = readOutput(rec2);
    std::vector<float> secondStereo;
    for (float v : second) secondStereo.insert(secondStereo.end(), {v, v});
    EXPECT_EQ(expectInputHeard(heard2, secondStereo, second.size()), second.size());
    const std::vector<float> heard3 = readOutput(rec3);
    EXPECT_GT(framesOf(heard3), 0u);
    EXPECT_TRUE(silentFrom(heard3, 0));

    const std::vector<std::string> records = linesWith(s.out, "record: ");
    ASSERT_EQ(records.size(), 2u) << s.out;
    EXPECT_EQ(records[0], rec2 + ", " + std::to_string(framesOf(heard2)) + " frames");
    EXPECT_TRUE(contains(s.out, "instance 3: peak -inf/-inf dBFS")) << s.out;
}

TEST_F(HostCommands, PlayRecordAndStopRoundTripAWavFile) {
    const std::string in = tempPath("in.wav");
    const std::string rec = tempPath("rec.wav");
    const std::vector<float> input = ramp(2 * kRate, 2);
    writeWav(in, kRate, 2, input);
    const Session s = run(options("record " + rec + "\nplay " + in + "\nsleep 400\nplay stop\nsleep 200\n" +
                                  "record stop\nrecord stop\n"));
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_EQ(linesWith(s.out, "play: "),
              (std::vector<std::string>{in + " into instance 1", "silence into instance 1"}));
    EXPECT_EQ(linesWith(s.out, "recording: "), std::vector<std::string>{"instance 1 into " + rec});
    EXPECT_EQ(linesWith(s.out, "note: "), std::vector<std::string>{"instance 1 is not recording"});
    const std::vector<float> recorded = readOutput(rec);
    // About 400 ms of the file, then the silence play stop gives.
    const size_t heard = expectInputHeard(recorded, input, kRate / 4);
    EXPECT_LT(heard, framesOf(input));
    EXPECT_GT(framesOf(recorded), heard + kRate / 10);
}

TEST_F(HostCommands, ARecordingStillRunningIsWrittenAtTheEnd) {
    const std::string rec = tempPath("rec.wav");
    HostOptions o = options("record " + rec + " 2\nsleep 100\n", 2);
    const Session s = run(o);
    ASSERT_EQ(s.status, 0) << s.err;
    const std::vector<std::string> records = linesWith(s.out, "record: ");
    ASSERT_EQ(records.size(), 1u) << s.out;
    EXPECT_EQ(records[0], rec + ", " + std::to_string(framesOf(readOutput(rec))) + " frames");
    // Written before the run's summary.
    EXPECT_LT(s.out.find("record: "), s.out.find("run: "));
}

TEST_F(HostCommands, SwitchingThruOffSilencesTheOutput) {
    const std::string in = tempPath("in.wav");
    const std::string rec = tempPath("rec.wav");
    writeWav(in, kRate, 2, std::vector<float>(4 * kRate, 0.5f));
    const Session s =
        run(options("play " + in + "\nrecord " + rec + "\nsleep 200\nswitch thru off\nsleep 200\nrecord stop\n"));
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_EQ(linesWith(s.out, "switch: "), std::vector<std::string>{"thru off (instance 1)"});
    const std::vector<float> recorded = readOutput(rec);
    size_t loud = 0;
    while (loud < framesOf(recorded) && recorded[loud * 2] == 0.5f) ++loud;
    EXPECT_GT(loud, static_cast<size_t>(kRate / 10));
    EXPECT_TRUE(silentFrom(recorded, loud));
    EXPECT_GT(framesOf(recorded), loud + kRate / 10);
}

TEST_F(HostCommands, TransportPlayAndStopMoveThePosition) {
    const Session s = run(options("transport play\nsleep 300\ntransport stop\nsleep 100\ntransport play\n"));
    ASSERT_EQ(s.status, 0) << s.err;
    const std::vector<std::string> lines = linesWith(s.out, "transport: ");
    ASSERT_EQ(lines.size(), 3u) << s.out;
    EXPECT_EQ(lines[0], "playing at 0");
    long long stopped = -1;
    ASSERT_EQ(std::sscanf(lines[1].c_str(), "stopped at %lld", &stopped), 1) << lines[1];
    EXPECT_GT(stopped, kRate / 5);
    EXPECT_LT(stopped, kRate * 2);
    EXPECT_EQ(stopped % 256, 0);
    EXPECT_EQ(lines[2], "playing at " + std::to_string(stopped));
    EXPECT_TRUE(contains(s.out, ", transport at ")) << s.out;
}

TEST_F(HostCommands, TransportLoopSyncAndMonitorWithoutAPartner) {
    const Session s = run(options("transport\nloop 1 2.5\ntransport locate 96000\ntransport\nsync on 2\n"
                                  "sync off 1\nmonitor on\nloop off\ntransport play\ntransport\nlocate\n",
                                  2));
    EXPECT_EQ(s.status, 3);
    EXPECT_TRUE(contains(s.err, "line 11: locate: no partner")) << s.err;
    const std::vector<std::string> transport = linesWith(s.out, "transport: ");
    ASSERT_EQ(transport.size(), 5u) << s.out;
    EXPECT_EQ(transport[0], "local 0 stopped tempo 120 loop off rate 48000");
    EXPECT_EQ(transport[1], "located at 96000");
    EXPECT_EQ(transport[2], "local 96000 stopped tempo 120 loop 1-2.5 rate 48000");
    EXPECT_EQ(transport[3], "playing at 96000");
    EXPECT_EQ(transport[4].rfind("local ", 0), 0u) << transport[4];
    EXPECT_TRUE(contains(transport[4], " playing tempo 120 loop off rate 48000")) << transport[4];
    EXPECT_EQ(linesWith(s.out, "loop: "), (std::vector<std::string>{"1-2.5 (frames 24000-60000)", "off"}));
    EXPECT_EQ(linesWith(s.out, "sync: "), (std::vector<std::string>{"on (instance 2)", "off (instance 1)"}));
    EXPECT_EQ(linesWith(s.out, "monitor: "), std::vector<std::string>{"on"});
}

TEST_F(HostCommands, SongClicksLieOnWholeHalfSecondsOfTheLoopedSongAndThruHasNoSongLatency) {
    // The loop [1, 3) is [24000, 72000) at 120 BPM; the song position of
    // each block follows from the wrap rule.
    const std::string out1 = tempPath("out1.wav");
    HostOptions o = options("play clicks song\nsleep 2600\nlatency song\n");
    o.play = true;
    o.loop = true;
    o.loopStart = 1.0;
    o.loopEnd = 3.0;
    o.outputPath = out1;
    const Session s = run(o);
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_EQ(linesWith(s.out, "play: "), std::vector<std::string>{"song clicks into instance 1"});
    const std::vector<float> out = readOutput(out1);
    std::vector<int64_t> song(framesOf(out));
    int64_t start = 0;
    for (size_t f = 0; f < song.size(); f += 256) {
        for (size_t i = 0; i < 256 && f + i < song.size(); ++i) song[f + i] = start + static_cast<int64_t>(i);
        start += 256;
        if (start - 256 < 72000 && start >= 72000) start = 24000 + (start - 72000);
    }
    // A click is silent at its first frame: it starts a frame before its
    // first sound, and goes on for 64 frames whatever the song does.
    int heard = 0;
    size_t f = 1;
    while (f < song.size()) {
        if (out[f * 2] == 0.0f) {
            ++f;
            continue;
        }
        const size_t onset = f - 1;
        EXPECT_EQ(song[onset] % 24000, 0) << "run frame " << onset;
        for (int n = 0; n < clicks::kClickFrames && onset + static_cast<size_t>(n) < song.size(); ++n) {
            const float want = static_cast<float>(clicks::clickValue(n, kRate));
            ASSERT_EQ(out[(onset + static_cast<size_t>(n)) * 2], want) << onset << " + " << n;
            ASSERT_EQ(out[(onset + static_cast<size_t>(n)) * 2 + 1], want) << onset << " + " << n;
        }
        ++heard;
        f = onset + clicks::kClickFrames;
    }
    EXPECT_GE(heard, 4);
    const std::vector<std::string> lines = linesWith(s.out, "latency: ");
    ASSERT_EQ(lines.size(), 1u) << s.out;
    unsigned clicks = 0;
    ASSERT_EQ(std::sscanf(lines[0].c_str(), "0 frames median over %u", &clicks), 1) << lines[0];
    EXPECT_EQ(lines[0], "0 frames median over " + std::to_string(clicks) + " clicks (floor 0, difference 0)");
    EXPECT_GE(clicks, 3u);
    EXPECT_LE(clicks, static_cast<unsigned>(heard));
}

TEST_F(HostCommands, ClicksThroughThruArriveOneInputBlockLate) {
    const Session s = run(options("play clicks\nsleep 2300\nplay stop\nlatency\nlatency\nlatency 2\n", 2));
    ASSERT_EQ(s.status, 0) << s.err;
    const std::vector<std::string> lines = linesWith(s.out, "latency: ");
    ASSERT_EQ(lines.size(), 3u) << s.out;
    long long median = -1, floor = -1, difference = 0;
    unsigned clicks = 0;
    ASSERT_EQ(std::sscanf(lines[0].c_str(), "%lld frames median over %u clicks (floor %lld, difference %lld)", &median,
                          &clicks, &floor, &difference),
              4)
        << lines[0];
    // Captured a block before the process call that plays them through.
    EXPECT_GE(median, 256);
    EXPECT_LE(median, 258);
    EXPECT_GE(clicks, 3u);
    EXPECT_LE(clicks, 5u);
    Mp3Encoder encoder;
    ASSERT_TRUE(encoder.open(nullptr, 2, kRate, 64000));
    EXPECT_EQ(floor, 256 + encoder.latency() + 1152 + 256);
    EXPECT_EQ(difference, median - floor);
    // Each onset is counted once, and only in the instance that heard it.
    EXPECT_EQ(lines[1], "no clicks heard");
    EXPECT_EQ(lines[2], "no clicks heard");
}

TEST_F(HostCommands, LatencyOptionReachesEveryInstance) {
    HostOptions o = options("offset on 2\noffset off 1\noffset on 1\n", 2);
    o.inputLatency = 100;
    o.outputLatency = 28;
    const Session s = run(o);
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_EQ(linesWith(s.out, "offset: "),
              (std::vector<std::string>{"on, delay 128 frames", "off, delay 128 frames", "on, delay 128 frames"}));
}

TEST_F(HostCommands, OffsetWithoutHostLatencyStaysOff) {
    const Session s = run(options("offset on\n"));
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_EQ(linesWith(s.out, "offset: "), std::vector<std::string>{"off, delay 0 frames"});
    EXPECT_EQ(linesWith(s.out, "note: ").size(), 1u) << s.out;
}

TEST_F(HostCommands, SettingsAndStreamsArePrinted) {
    const Session s = run(options("upstream 256\nquality 50\ncodec 32\ncodec 7\naudio\nswitch send off 2\n"
                                  "switch receive off 2\nswitch mute on 2\n",
                                  2));
    ASSERT_EQ(s.status, 0) << s.err;
    const std::vector<std::string> lines = linesWith(s.out, "settings: ");
    ASSERT_EQ(lines.size(), 4u) << s.out;
    for (const std::string& l : lines) EXPECT_EQ(l.rfind("upstream 256 kbit/s, audio ", 0), 0u) << l;
    EXPECT_TRUE(contains(lines[2], "codec 32")) << lines[2];
    EXPECT_EQ(linesWith(s.out, "codec: "), (std::vector<std::string>{"32 accepted", "7 refused"}));
    EXPECT_EQ(linesWith(s.out, "audio: "), std::vector<std::string>{"no session"});
    EXPECT_EQ(linesWith(s.out, "switch: "), (std::vector<std::string>{"send off (instance 2)",
                                                                      "receive off (instance 2)",
                                                                      "mute on (instance 2)"}));
}

TEST_F(HostCommands, VideoAndSnapshotShowTheCameraAndRefuseWhatIsNotThere) {
    // A camera of the pane's own size: its frames reach the preview unscaled.
    HostOptions o = options("sleep 300\nvideo\nsnapshot local " + tempPath("local.png") +
                            "\nsnapshot partner " + tempPath("partner.png") + "\n");
    o.camera = "bars:176x144@30";
    Session s = run(o);
    EXPECT_EQ(s.status, 3);
    EXPECT_TRUE(contains(s.err, "line 4: snapshot: no connected session")) << s.err;
    const std::vector<std::string> camera = linesWith(s.out, "camera: ");
    ASSERT_EQ(camera.size(), 1u) << s.out;
    unsigned frames = 0;
    EXPECT_EQ(std::sscanf(camera[0].c_str(), "176x144, %u frames", &frames), 1) << camera[0];
    EXPECT_GT(frames, 0u);
    EXPECT_TRUE(linesWith(s.out, "video: ").empty()) << s.out;
    EXPECT_EQ(linesWith(s.out, "snapshot: "), std::vector<std::string>{"local into " + tempPath("local.png")});

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, tempPath("local.png").c_str())) << image.message;
    EXPECT_EQ(image.width, static_cast<png_uint_32>(video::kWidth));
    EXPECT_EQ(image.height, static_cast<png_uint_32>(video::kHeight));
    EXPECT_EQ(image.format, static_cast<png_uint_32>(PNG_FORMAT_RGB));
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> read(video::kPictureBytes);
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, read.data(), video::kStride, nullptr)) << image.message;
    SyntheticCamera::Format bars;
    ASSERT_TRUE(SyntheticCamera::parse(o.camera, bars));
    std::vector<uint8_t> drawn(video::kPictureBytes);
    SyntheticCamera::draw(bars, 0, drawn.data());
    EXPECT_TRUE(read == drawn);

    // A device that cannot be opened is no camera.
    o = options("video\nsnapshot local " + tempPath("none.png") + "\n");
    o.camera = "/nonexistent/video9";
    s = run(o);
    EXPECT_EQ(s.status, 3);
    EXPECT_TRUE(contains(s.err, "line 2: snapshot: no camera picture yet")) << s.err;
    EXPECT_EQ(linesWith(s.out, "camera: "), std::vector<std::string>{"0x0, 0 frames"});
    expectFailure("snapshot remote x.png", "snapshot: wants local or partner, not \"remote\"");
}

TEST_F(HostCommands, BadInstancesWordsAndFilesAreErrors) {
    const std::string wrongRate = tempPath("44100.wav");
    writeWav(wrongRate, 44100, 2, ramp(100, 2));
    expectFailure("play clicks 4", "play: no instance 4", 3);
    expectFailure("latency 0", "latency: no instance 0");
    expectFailure("record stop two", "record: no instance two");
    expectFailure("switch thru on 2", "switch: no instance 2");
    expectFailure("offset on 9", "offset: no instance 9", 2);
    expectFailure("play " + tempPath("missing.wav"), "play: cannot read");
    expectFailure("play " + wrongRate, "44100 Hz");
    expectFailure("record /nonexistent-folder/x.wav", "record: cannot write /nonexistent-folder/x.wav");
    expectFailure("switch loud on", "wants send, receive, thru or mute");
    expectFailure("switch thru maybe", "wants on or off");
    expectFailure("transport rewind", "transport: wants play or stop");
    expectFailure("transport locate -5", "transport: locate wants FRAMES");
    expectFailure("loop 2 1", "loop: wants START END");
    expectFailure("latency song 2", "latency: no instance 2");
    expectFailure("sync maybe", "sync: wants on or off");
    expectFailure("upstream fast", "upstream: wants KBITS");
    expectFailure("quality 101", "quality: wants PERCENT");
    expectFailure("play", "usage: play FILE.wav|clicks [song]|stop [K]");
}

TEST(HostCommandsOfALibrary, PlayRecordAndLatencyWorkThroughTheHostAlone) {
    const std::string in = tempPath("in.wav");
    const std::string rec = tempPath("rec.wav");
    const std::vector<float> input = ramp(kRate / 2, 2);
    writeWav(in, kRate, 2, input);
    HostOptions o;
    o.pluginPath = TRV_FIXTURE_PLUGIN;
    o.instances = 2;
    o.seconds = 20.0;
    o.scriptPath = tempPath("script.trv");
    writeText(o.scriptPath, "record " + rec + " 2\nplay " + in + " 2\nsleep 700\nrecord stop 2\nlatency 2\n" +
                                "switch thru on\n");
    const Session s = runSession(o);
    EXPECT_EQ(s.status, 3);
    EXPECT_TRUE(contains(s.err, "line 6: switch: needs the built-in plug-in")) << s.err;
    EXPECT_EQ(linesWith(s.out, "latency: "), std::vector<std::string>{"no clicks heard"});
    EXPECT_FALSE(contains(s.out, "status: ")) << "the library's status lines are its own";
    // The fixture halves its input.
    std::vector<float> half(input);
    for (float& v : half) v *= 0.5f;
    EXPECT_EQ(expectInputHeard(readOutput(rec), half, framesOf(half)), framesOf(half));
}
