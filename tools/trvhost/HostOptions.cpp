#include "tools/trvhost/HostOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "tools/trvhost/HostCamera.h"

namespace {

constexpr double kMaxSeconds = 86400.0;
constexpr int32_t kMinBlock = 1;
constexpr int32_t kMaxBlock = 65536;
constexpr int32_t kMinRate = 1000;
constexpr int32_t kMaxRate = 768000;
constexpr double kMinTempo = 1.0;
constexpr double kMaxTempo = 999.0;
constexpr int32_t kMaxLatency = 1 << 20;
constexpr int32_t kMaxInstances = 16;
constexpr double kMaxLoopQuarters = 1e9;
// The SMPTE codes of the VST time info: 0 (24 fps) to 13 (60 fps).

bool parseInt(const char* text, int32_t low, int32_t high, int32_t& out) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool parseDouble(const char* text, double low, double high, double& out) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < low || v > high) return false;
    out = v;
    return true;
}

bool parseLatency(const char* text, int32_t& in, int32_t& out) {
    const char* comma = std::strchr(text, ',');
    if (!comma) return false;
    const std::string first(text, static_cast<size_t>(comma - text));
    return parseInt(first.c_str(), 0, kMaxLatency, in) && parseInt(comma + 1, 0, kMaxLatency, out);
}

bool isDottedQuad(const char* text) {
    int parts = 0;
    const char* p = text;
    while (true) {
        int digits = 0;
        int value = 0;
        while (*p >= '0' && *p <= '9') {
            value = value * 10 + (*p - '0');
            if (++digits > 3) return false;
            ++p;
        }
        if (digits == 0 || value > 255) return false;
        ++parts;
        if (*p == '\0') break;
        if (*p != '.' || parts == 4) return false;
        ++p;
    }
    return parts == 4;
}

// PERCENT or PERCENT,SEED.
bool parseLoss(const char* text, double& percent, uint32_t& seed) {
    const char* comma = std::strchr(text, ',');
    const std::string first = comma ? std::string(text, static_cast<size_t>(comma - text)) : std::string(text);
    if (!parseDouble(first.c_str(), 0.0, 100.0, percent)) return false;
    if (!comma) return true;
    int32_t s = 0;
    if (!parseInt(comma + 1, 0, 2147483647, s)) return false;
    seed = static_cast<uint32_t>(s);
    return true;
}

bool parseService(const char* text, std::string& host, uint16_t& port) {
    const char* colon = std::strrchr(text, ':');
    if (!colon || colon == text) return false;
    int32_t p = 0;
    if (!parseInt(colon + 1, 1, 65535, p)) return false;
    host.assign(text, static_cast<size_t>(colon - text));
    port = static_cast<uint16_t>(p);
    return true;
}

template <bool HostOptions::*Field>
bool setSwitch(const char*, HostOptions& o) {
    o.*Field = true;
    return true;
}

template <int32_t HostOptions::*Field, int32_t Low, int32_t High>
bool setWhole(const char* argument, HostOptions& o) {
    return parseInt(argument, Low, High, o.*Field);
}

template <std::string HostOptions::*Field>
bool setFile(const char* argument, HostOptions& o) {
    if (!*argument) return false;
    o.*Field = argument;
    return true;
}

bool setSeconds(const char* argument, HostOptions& o) {
    return parseDouble(argument, 0.0, kMaxSeconds, o.seconds) && o.seconds > 0.0;
}

bool setTempo(const char* argument, HostOptions& o) { return parseDouble(argument, kMinTempo, kMaxTempo, o.tempo); }

bool setLatency(const char* argument, HostOptions& o) {
    return parseLatency(argument, o.inputLatency, o.outputLatency);
}

// START,END in quarter notes, 0 <= START < END.
bool setLoop(const char* argument, HostOptions& o) {
    const char* comma = std::strchr(argument, ',');
    if (!comma) return false;
    const std::string first(argument, static_cast<size_t>(comma - argument));
    if (!parseDouble(first.c_str(), 0.0, kMaxLoopQuarters, o.loopStart) ||
        !parseDouble(comma + 1, 0.0, kMaxLoopQuarters, o.loopEnd) || o.loopEnd <= o.loopStart)
        return false;
    o.loop = true;
    return true;
}

bool setAddress(const char* argument, HostOptions& o) {
    if (!isDottedQuad(argument)) return false;
    o.localAddress = argument;
    return true;
}

bool setService(const char* argument, HostOptions& o) { return parseService(argument, o.serviceHost, o.servicePort); }

bool setAutoAnswer(const char* argument, HostOptions& o) {
    const std::string v = argument;
    if (v == "accept") o.autoAnswer = HostOptions::Answer::Accept;
    else if (v == "reject") o.autoAnswer = HostOptions::Answer::Reject;
    else return false;
    return true;
}

bool setPeerLoss(const char* argument, HostOptions& o) {
    return parseLoss(argument, o.peerLossPercent, o.peerLossSeed);
}

bool setEditor(const char* argument, HostOptions& o) {
    if (argument && std::string(argument) != "offscreen") return false;
    o.editor = argument ? HostOptions::Editor::Offscreen : HostOptions::Editor::Window;
    return true;
}

bool setCamera(const char* argument, HostOptions& o) {
    if (!isCameraSource(argument)) return false;
    o.camera = argument;
    return true;
}

constexpr const char* kNetworkBuiltInOnly =
    "--address and --service apply to the built-in plug-in only, not with --plugin";
constexpr const char* kAnswerBuiltInOnly =
    "--auto-answer and --peer-loss apply to the built-in plug-in only, not with --plugin";
constexpr const char* kEditorBuiltInOnly = "--editor applies to the built-in plug-in only, not with --plugin";
constexpr const char* kCameraBuiltInOnly = "--camera applies to the built-in plug-in only, not with --plugin";

const HostOption kOptions[] = {
    {"--plugin", "PATH", "load the plug-in from a shared library instead of\nthe built-in one",
     &setFile<&HostOptions::pluginPath>, "--plugin wants a file name", {}},
    {"--instances", "N",
     "make N instances (1 to 16, default 1), processed in\norder every block like N tracks; the options below\n"
     "about input, output, chunks and info mean instance 1",
     &setWhole<&HostOptions::instances, 1, kMaxInstances>,
     "--instances wants a whole number of instances from 1 to 16", {}},
    {"--info", "", "print the plug-in's identity, flags, pins and answers", &setSwitch<&HostOptions::info>, nullptr,
     {}},
    {"--seconds", "S", "run S seconds of audio blocks through processReplacing", &setSeconds,
     "--seconds wants a number of seconds above 0 and at most 86400", {}},
    {"--block", "N", "block size in frames (default 256)", &setWhole<&HostOptions::blockSize, kMinBlock, kMaxBlock>,
     "--block wants a whole number of frames from 1 to 65536", {}},
    {"--rate", "HZ", "sample rate (default 48000)", &setWhole<&HostOptions::sampleRate, kMinRate, kMaxRate>,
     "--rate wants a whole sample rate from 1000 to 768000", {}},
    {"--fast", "", "run the blocks unpaced instead of in real time", &setSwitch<&HostOptions::fast>, nullptr, {}},
    {"--tempo", "BPM", "tempo of the simulated transport (default 120)", &setTempo,
     "--tempo wants beats per minute from 1 to 999", {}},
    {"--play", "", "start the transport playing", &setSwitch<&HostOptions::play>, nullptr, {}},
    {"--loop", "START,END",
     "loop (cycle) from quarter note START to END, active\nfrom the start; the position wraps at block boundaries",
     &setLoop, "--loop wants START,END in quarter notes with 0 <= START < END", {}},
    {"--smpte", "CODE", "the SMPTE frame-rate code the host reports (0 to 13,\ndefault 0: 24 fps)",
     &setWhole<&HostOptions::smpteFrameRate, 0, kMaxSmpteCode>, "--smpte wants a frame-rate code from 0 to 13", {}},
    {"--midi-in", "FILE",
     "MIDI for instance 1 while the transport plays: lines\n\"POSITION B1 B2 B3\" (song frames, hex bytes)",
     &setFile<&HostOptions::midiInPath>, "--midi-in wants a file name", {}},
    {"--midi-out", "FILE",
     "the MIDI the plug-in hands the host, one event a line\n\"POSITION B1 B2 B3 INSTANCE\", written at the end;\n"
     "prints \"mtc: HH:MM:SS:FF rate R\" per complete time code",
     &setFile<&HostOptions::midiOutPath>, "--midi-out wants a file name", {}},
    {"--chase-mtc", "",
     "the transport follows the MIDI time code the plug-in\nhands the host: it locates and plays on a complete\n"
     "time code while stopped, stops after 500 ms without one",
     &setSwitch<&HostOptions::chaseTimeCode>, nullptr, {}},
    {"--latency", "IN,OUT", "input and output latency in samples the host reports\nto every instance (default 0,0)",
     &setLatency, "--latency wants IN,OUT in samples, each from 0 to 1048576", {}},
    {"--input", "FILE.wav", "audio fed to instance 1 (mono or stereo at --rate);\nsilence without it or after its end",
     &setFile<&HostOptions::inputPath>, "--input wants a file name", {}},
    {"--output", "FILE.wav", "instance 1's output, 32-bit float stereo", &setFile<&HostOptions::outputPath>,
     "--output wants a file name", {}},
    {"--chunk-in", "FILE", "state sent with effSetChunk before the run", &setFile<&HostOptions::chunkInPath>,
     "--chunk-in wants a file name", {}},
    {"--chunk-out", "FILE", "state from effGetChunk (bank) after the run", &setFile<&HostOptions::chunkOutPath>,
     "--chunk-out wants a file name", {}},
    {"--address", "A.B.C.D", "local address for every socket (built-in plug-in only)", &setAddress,
     "--address wants an IPv4 address A.B.C.D",
     {[](const HostOptions& o) { return !o.localAddress.empty(); }, kNetworkBuiltInOnly}},
    {"--service", "HOST:PORT",
     "web service to use (built-in plug-in only); commands\nare then read from standard input unless --script",
     &setService, "--service wants HOST:PORT with a port from 1 to 65535",
     {[](const HostOptions& o) { return !o.serviceHost.empty(); }, kNetworkBuiltInOnly}},
    {"--commands", "", "read commands from standard input", &setSwitch<&HostOptions::commands>, nullptr, {}},
    {"--script", "FILE", "read commands from FILE", &setFile<&HostOptions::scriptPath>, "--script wants a file name",
     {}},
    {"--auto-answer", "accept|reject", "answer every invitation popup at once (built-in plug-in)", &setAutoAnswer,
     "--auto-answer wants accept or reject",
     {[](const HostOptions& o) { return o.autoAnswer != HostOptions::Answer::None; }, kAnswerBuiltInOnly}},
    {"--camera", "bars|pattern[:WxH[@FPS]]|DEVICE",
     "the plug-in's camera (built-in plug-in only): colour\nbars, or bars with a moving square, 320x240 at\n"
     "30 fps unless given; or a capture device such as\n/dev/video0 (none if it cannot be opened). Without\n"
     "it the plug-in opens the first device it finds",
     &setCamera, "--camera wants bars or pattern, optionally :WxH (16 to 4096) and @FPS (0.1 to 240), or a "
                 "device path",
     {[](const HostOptions& o) { return !o.camera.empty(); }, kCameraBuiltInOnly}},
    {"--editor", "[offscreen]",
     "open instance 1's editor in a window of the host's own\n(idled 25 times a second), or with offscreen draw it\n"
     "in memory only (built-in plug-in)",
     &setEditor, "--editor takes nothing or offscreen",
     {[](const HostOptions& o) { return o.editor != HostOptions::Editor::None; }, kEditorBuiltInOnly}},
    {"--save-dir", "DIR",
     "answer every save dialog of a received file with DIR\nand the name the plug-in proposes (else receive-file\n"
     "answers it)",
     &setFile<&HostOptions::saveDir>, "--save-dir wants a folder", {}},
    // Test option, not in the usage; a loss of 0 is no loss and goes with --plugin too.
    {"--peer-loss", "PERCENT[,SEED]", nullptr, &setPeerLoss,
     "--peer-loss wants PERCENT[,SEED], a percent from 0 to 100",
     {[](const HostOptions& o) { return o.peerLossPercent > 0.0; }, kAnswerBuiltInOnly}},
    {"--help", "", "this text", &setSwitch<&HostOptions::help>, nullptr, {}},
    {"-h", "", nullptr, &setSwitch<&HostOptions::help>, nullptr, {}},  // short for --help
    {nullptr, nullptr, nullptr, nullptr, nullptr, {}},
};

const HostOption* findOption(const std::string& name) {
    for (const HostOption* o = kOptions; o->name; ++o)
        if (name == o->name) return o;
    return nullptr;
}

// Checks between options, once all are read.
bool checkCombination(const HostOptions& out, std::string& error) {
    if (!out.builtIn()) {
        for (const HostOption* o = kOptions; o->name; ++o) {
            if (o->builtInOnly.uses && o->builtInOnly.uses(out)) {
                error = o->builtInOnly.error;
                return false;
            }
        }
    }
    if (out.commands && !out.scriptPath.empty()) {
        error = "give either --commands or --script, not both";
        return false;
    }
    if ((!out.inputPath.empty() || !out.outputPath.empty()) && out.seconds <= 0.0) {
        error = "--input and --output need --seconds";
        return false;
    }
    if ((!out.midiInPath.empty() || !out.midiOutPath.empty() || out.chaseTimeCode) && out.seconds <= 0.0 &&
        !out.commandMode()) {
        error = "--midi-in, --midi-out and --chase-mtc need an audio run (--seconds or commands)";
        return false;
    }
    return true;
}

const char kUsageHead[] =
    "usage: trvhost [options]\n"
    "Loads the plug-in (built in, or from a shared library) and drives it\n"
    "through its VST 2 record the way a sequencer does.\n"
    "\n";

const char kUsageTail[] =
    "\n"
    "Commands, one a line, run while the audio blocks keep going; the run ends\n"
    "at quit, at the end of the input, or after --seconds. Every status line the\n"
    "plug-in posts is printed as \"status: <line>\". The command help lists them:\n"
    "login NAME PASSWORD, logout, invite NAME, accept, reject, disconnect, state,\n"
    "wait TEXT [SECONDS], messages, sleep MS, policy N, quit; for the audio\n"
    "play FILE.wav|clicks [song]|stop [K], record FILE.wav|stop [K],\n"
    "transport [play|stop|locate FRAMES], loop START END|off, latency [song] [K],\n"
    "and with the built-in plug-in switch send|receive|thru|mute on|off [K],\n"
    "offset on|off [K], sync on|off [K], monitor on|off, locate, audio,\n"
    "upstream KBITS, quality PERCENT, codec ID, video and\n"
    "snapshot local|partner FILE.png (K: an instance from 1, default 1).\n"
    "Listener events are printed as \"event: <kind> [<partner>]\", the\n"
    "invitation popup as \"popup: ...\".\n"
    "Double quotes group words: wait \"is online.\" 5\n"
    "\n"
    "Exit status: 0 success, 1 the plug-in or a file failed, 2 bad arguments,\n"
    "3 a command failed (unknown, bad arguments, or a wait that timed out).\n";

// Help texts start in this column, on the option's line when the name and
// argument leave two spaces before it, else on the next line.
constexpr size_t kHelpColumn = 23;

std::string optionLines() {
    std::string text;
    for (const HostOption* o = kOptions; o->name; ++o) {
        if (!o->help) continue;
        std::string left = std::string("  ") + o->name;
        if (*o->argument) left += std::string(" ") + o->argument;
        text += left;
        if (left.size() + 2 <= kHelpColumn) text.append(kHelpColumn - left.size(), ' ');
        else text.append(1, '\n').append(kHelpColumn, ' ');
        for (const char* c = o->help; *c; ++c) {
            text += *c;
            if (*c == '\n') text.append(kHelpColumn, ' ');
        }
        text += '\n';
    }
    return text;
}

}  // namespace

const HostOption* hostOptionTable() { return kOptions; }

bool parseHostOptions(int argc, const char* const* argv, HostOptions& out, std::string& error) {
    out = HostOptions{};
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i] ? argv[i] : "";
        const HostOption* option = findOption(name);
        if (!option) {
            error = "unknown option " + name;
            return false;
        }
        const char* argument = nullptr;
        if (*option->argument == '[') {
            // An optional word: taken when the next argument is not an option.
            if (i + 1 < argc && argv[i + 1] && argv[i + 1][0] != '-') argument = argv[++i];
        } else if (*option->argument) {
            if (i + 1 >= argc || !argv[i + 1]) {
                error = name + " needs a value";
                return false;
            }
            argument = argv[++i];
        }
        if (!option->set(argument, out)) {
            error = option->refused;
            return false;
        }
    }
    // --help prints the usage whatever else the line holds.
    if (out.help) return true;
    return checkCombination(out, error);
}

const char* hostUsage() {
    static const std::string usage = kUsageHead + optionLines() + kUsageTail;
    return usage.c_str();
}
