#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/trvhost/HostOptions.h"

namespace {

struct Parsed {
    bool ok;
    HostOptions options;
    std::string error;
};

Parsed parse(std::vector<const char*> args) {
    args.insert(args.begin(), "trvhost");
    Parsed p;
    p.ok = parseHostOptions(static_cast<int>(args.size()), args.data(), p.options, p.error);
    return p;
}

}  // namespace

TEST(HostOptions, NoArgumentsGiveTheBuiltInPluginWithDefaults) {
    const Parsed p = parse({});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.options.builtIn());
    EXPECT_EQ(p.options.blockSize, 256);
    EXPECT_EQ(p.options.sampleRate, 48000);
    EXPECT_DOUBLE_EQ(p.options.tempo, 120.0);
    EXPECT_FALSE(p.options.play);
    EXPECT_FALSE(p.options.fast);
    EXPECT_EQ(p.options.seconds, 0.0);
    EXPECT_EQ(p.options.inputLatency, 0);
    EXPECT_EQ(p.options.outputLatency, 0);
}

TEST(HostOptions, ReadsEveryOption) {
    const Parsed p = parse({"--info", "--seconds", "2.5", "--block", "64", "--rate", "44100", "--fast", "--tempo",
                            "93.5", "--play", "--input", "in.wav", "--output", "out.wav", "--chunk-in", "a.bin",
                            "--chunk-out", "b.bin", "--latency", "12,34", "--address", "192.0.2.2", "--service",
                            "example.test:8080"});
    ASSERT_TRUE(p.ok) << p.error;
    const HostOptions& o = p.options;
    EXPECT_TRUE(o.info);
    EXPECT_DOUBLE_EQ(o.seconds, 2.5);
    EXPECT_EQ(o.blockSize, 64);
    EXPECT_EQ(o.sampleRate, 44100);
    EXPECT_TRUE(o.fast);
    EXPECT_DOUBLE_EQ(o.tempo, 93.5);
    EXPECT_TRUE(o.play);
    EXPECT_EQ(o.inputPath, "in.wav");
    EXPECT_EQ(o.outputPath, "out.wav");
    EXPECT_EQ(o.chunkInPath, "a.bin");
    EXPECT_EQ(o.chunkOutPath, "b.bin");
    EXPECT_EQ(o.inputLatency, 12);
    EXPECT_EQ(o.outputLatency, 34);
    EXPECT_EQ(o.localAddress, "192.0.2.2");
    EXPECT_EQ(o.serviceHost, "example.test");
    EXPECT_EQ(o.servicePort, 8080);
}

TEST(HostOptions, NumbersMustBeWholeAndInRange) {
    for (const std::vector<const char*>& bad : std::vector<std::vector<const char*>>{
             {"--block", "0"},
             {"--block", "65537"},
             {"--block", "12abc"},
             {"--block", ""},
             {"--block", "1e3"},
             {"--rate", "999"},
             {"--rate", "48000.5"},
             {"--seconds", "0"},
             {"--seconds", "-1"},
             {"--seconds", "nan"},
             {"--seconds", "inf"},
             {"--seconds", "86401"},
             {"--tempo", "0"},
             {"--tempo", "1000"},
         }) {
        const Parsed p = parse(bad);
        EXPECT_FALSE(p.ok) << bad[0] << " " << bad[1];
        EXPECT_NE(p.error.find(bad[0]), std::string::npos) << p.error;
    }
    EXPECT_TRUE(parse({"--block", "1"}).ok);
    EXPECT_TRUE(parse({"--block", "65536"}).ok);
    EXPECT_TRUE(parse({"--seconds", "0.001"}).ok);
}

TEST(HostOptions, LatencyNeedsTwoNonNegativeCounts) {
    for (const char* bad : {"10", "10,", ",5", "-1,2", "1,2,3", "a,b", "1,2097152"}) {
        EXPECT_FALSE(parse({"--latency", bad}).ok) << bad;
    }
    const Parsed p = parse({"--latency", "0,1048576"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.outputLatency, 1048576);
}

TEST(HostOptions, AddressMustBeADottedQuad) {
    for (const char* bad : {"256.1.1.1", "198.51.100", "198.51.100.4.5", "1..2.3", "a.b.c.d", "198.51.100.4 ", "1234.1.1.1", ""}) {
        EXPECT_FALSE(parse({"--address", bad}).ok) << bad;
    }
    EXPECT_TRUE(parse({"--address", "0.0.0.0"}).ok);
    EXPECT_TRUE(parse({"--address", "255.255.255.255"}).ok);
}

TEST(HostOptions, ServiceNeedsHostAndPort) {
    for (const char* bad : {"host", "host:", ":80", "host:0", "host:65536", "host:8o"}) {
        EXPECT_FALSE(parse({"--service", bad}).ok) << bad;
    }
    const Parsed p = parse({"--service", "127.0.0.1:1"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.serviceHost, "127.0.0.1");
    EXPECT_EQ(p.options.servicePort, 1);
}

TEST(HostOptions, NetworkOptionsAreRefusedWithAPluginLibrary) {
    const Parsed a = parse({"--plugin", "x.so", "--address", "192.0.2.1"});
    EXPECT_FALSE(a.ok);
    EXPECT_NE(a.error.find("built-in"), std::string::npos);
    EXPECT_FALSE(parse({"--service", "h:1", "--plugin", "x.so"}).ok);
    EXPECT_TRUE(parse({"--plugin", "x.so"}).ok);
}

TEST(HostOptions, AudioFilesNeedARun) {
    EXPECT_FALSE(parse({"--output", "o.wav"}).ok);
    EXPECT_FALSE(parse({"--input", "i.wav"}).ok);
    EXPECT_TRUE(parse({"--output", "o.wav", "--seconds", "1"}).ok);
    EXPECT_TRUE(parse({"--chunk-out", "c.bin"}).ok);
}

TEST(HostOptions, UnknownOptionsAndMissingValuesAreErrors) {
    const Parsed unknown = parse({"--frobnicate"});
    EXPECT_FALSE(unknown.ok);
    EXPECT_NE(unknown.error.find("--frobnicate"), std::string::npos);
    const Parsed missing = parse({"--info", "--seconds"});
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.error.find("--seconds"), std::string::npos);
    EXPECT_FALSE(parse({"--plugin", ""}).ok);
}

TEST(HostOptions, HelpWinsOverOtherChecks) {
    const Parsed p = parse({"--output", "o.wav", "--help"});
    EXPECT_TRUE(p.ok);
    EXPECT_TRUE(p.options.help);
}

TEST(HostOptions, CommandsComeFromAScriptStandardInputOrANetworkedRun) {
    EXPECT_FALSE(parse({}).options.commandMode());
    EXPECT_FALSE(parse({"--seconds", "1"}).options.commandMode());

    const Parsed script = parse({"--script", "run.trv"});
    ASSERT_TRUE(script.ok) << script.error;
    EXPECT_TRUE(script.options.commandMode());
    EXPECT_EQ(script.options.scriptPath, "run.trv");

    const Parsed stdinRun = parse({"--commands"});
    ASSERT_TRUE(stdinRun.ok) << stdinRun.error;
    EXPECT_TRUE(stdinRun.options.commandMode());
    EXPECT_TRUE(stdinRun.options.scriptPath.empty());

    // A networked run is driven by commands on standard input.
    const Parsed networked = parse({"--address", "127.0.0.2", "--service", "127.0.0.1:8080"});
    ASSERT_TRUE(networked.ok) << networked.error;
    EXPECT_TRUE(networked.options.commandMode());
}

TEST(HostOptions, APluginLibraryTakesCommandsButNotTheNetworkedRun) {
    const Parsed library = parse({"--plugin", "x.so", "--commands"});
    ASSERT_TRUE(library.ok) << library.error;
    EXPECT_TRUE(library.options.commandMode());
    EXPECT_TRUE(parse({"--plugin", "x.so", "--script", "run.trv"}).options.commandMode());
    EXPECT_FALSE(parse({"--plugin", "x.so"}).options.commandMode());
    EXPECT_FALSE(parse({"--plugin", "x.so", "--auto-answer", "accept"}).ok);
}

TEST(HostOptions, InstancesRunFromOneToSixteen) {
    EXPECT_EQ(parse({}).options.instances, 1);
    const Parsed sixteen = parse({"--instances", "16", "--plugin", "x.so"});
    ASSERT_TRUE(sixteen.ok) << sixteen.error;
    EXPECT_EQ(sixteen.options.instances, 16);
    EXPECT_EQ(parse({"--instances", "1"}).options.instances, 1);
    for (const char* bad : {"0", "17", "-1", "2.5", "two", ""}) {
        const Parsed p = parse({"--instances", bad});
        EXPECT_FALSE(p.ok) << bad;
        EXPECT_NE(p.error.find("--instances"), std::string::npos) << p.error;
    }
    EXPECT_FALSE(parse({"--instances"}).ok);
}

TEST(HostOptions, CommandSourcesAreExclusive) {
    EXPECT_FALSE(parse({"--commands", "--script", "run.trv"}).ok);
    EXPECT_FALSE(parse({"--script"}).ok);
    EXPECT_FALSE(parse({"--script", ""}).ok);
}

TEST(HostOptions, UsageListsEveryOptionOfTheTableButTheHiddenOnes) {
    const std::string usage = hostUsage();
    for (const HostOption* o = hostOptionTable(); o->name; ++o) {
        std::string line = std::string("\n  ") + o->name;
        if (*o->argument) line += std::string(" ") + o->argument;
        EXPECT_EQ(usage.find(line) != std::string::npos, o->help != nullptr) << o->name;
        const Parsed p = *o->argument ? parse({o->name, "1"}) : parse({o->name});
        EXPECT_EQ(p.error.find("unknown option"), std::string::npos) << p.error;
    }
}

TEST(HostOptions, RefusalsKeepTheirWording) {
    EXPECT_EQ(parse({"--frobnicate"}).error, "unknown option --frobnicate");
    EXPECT_EQ(parse({"--info", "--seconds"}).error, "--seconds needs a value");
    EXPECT_EQ(parse({"--peer-loss", "101"}).error, "--peer-loss wants PERCENT[,SEED], a percent from 0 to 100");
    EXPECT_EQ(parse({"--plugin", "x.so", "--peer-loss", "5", "--service", "h:1"}).error,
              "--address and --service apply to the built-in plug-in only, not with --plugin");
    EXPECT_EQ(parse({"--plugin", "x.so", "--peer-loss", "5,7"}).error,
              "--auto-answer and --peer-loss apply to the built-in plug-in only, not with --plugin");
    // No loss is no built-in behaviour, so it goes with a plug-in library.
    EXPECT_TRUE(parse({"--plugin", "x.so", "--peer-loss", "0,7"}).ok);
}

TEST(HostOptions, LoopSmpteMidiAndChase) {
    const Parsed p = parse({"--loop", "1.5,4", "--smpte", "4", "--midi-in", "in.midi", "--midi-out", "out.midi",
                            "--chase-mtc", "--seconds", "1"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.options.loop);
    EXPECT_EQ(p.options.loopStart, 1.5);
    EXPECT_EQ(p.options.loopEnd, 4.0);
    EXPECT_EQ(p.options.smpteFrameRate, 4);
    EXPECT_EQ(p.options.midiInPath, "in.midi");
    EXPECT_EQ(p.options.midiOutPath, "out.midi");
    EXPECT_TRUE(p.options.chaseTimeCode);
    EXPECT_FALSE(parse({}).options.loop);
    EXPECT_EQ(parse({}).options.smpteFrameRate, 0);
    for (const char* bad : {"2,2", "3,1", "-1,2", "1", "1,", ",2", "a,b"})
        EXPECT_EQ(parse({"--loop", bad}).error, "--loop wants START,END in quarter notes with 0 <= START < END") << bad;
    EXPECT_FALSE(parse({"--smpte", "14"}).ok);
    EXPECT_FALSE(parse({"--smpte", "-1"}).ok);
    // The MIDI options need blocks to run; a library takes them too.
    EXPECT_FALSE(parse({"--midi-out", "out.midi"}).ok);
    EXPECT_FALSE(parse({"--chase-mtc"}).ok);
    EXPECT_TRUE(parse({"--midi-in", "in.midi", "--plugin", "x.so", "--commands"}).ok);
}

TEST(HostOptions, CameraIsSyntheticOrADevicePathForTheBuiltInPluginOnly) {
    EXPECT_TRUE(parse({}).options.camera.empty());
    for (const char* good : {"bars", "pattern", "pattern:640x480@15", "bars:176x144", "/dev/video2"}) {
        const Parsed p = parse({"--camera", good});
        ASSERT_TRUE(p.ok) << good << ": " << p.error;
        EXPECT_EQ(p.options.camera, good);
    }
    for (const char* bad : {"", "stripes", "bars:", "bars:0x0", "pattern:640x480@0", "bars@30", "video0", "/"})
        EXPECT_EQ(parse({"--camera", bad}).error,
                  "--camera wants bars or pattern, optionally :WxH (16 to 4096) and @FPS (0.1 to 240), or a "
                  "device path")
            << bad;
    EXPECT_EQ(parse({"--plugin", "x.so", "--camera", "bars"}).error,
              "--camera applies to the built-in plug-in only, not with --plugin");
}
