#include "tools/trvhost/HostOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

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

}  // namespace

bool parseHostOptions(int argc, const char* const* argv, HostOptions& out, std::string& error) {
    out = HostOptions{};
    bool addressGiven = false;
    bool serviceGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i] ? argv[i] : "";
        auto needsValue = [&](const char** value) {
            if (i + 1 >= argc || !argv[i + 1]) {
                error = opt + " needs a value";
                return false;
            }
            *value = argv[++i];
            return true;
        };
        const char* value = nullptr;
        if (opt == "--help" || opt == "-h") {
            out.help = true;
        } else if (opt == "--info") {
            out.info = true;
        } else if (opt == "--fast") {
            out.fast = true;
        } else if (opt == "--play") {
            out.play = true;
        } else if (opt == "--commands") {
            out.commands = true;
        } else if (opt == "--seconds") {
            if (!needsValue(&value)) return false;
            if (!parseDouble(value, 0.0, kMaxSeconds, out.seconds) || out.seconds <= 0.0) {
                error = "--seconds wants a number of seconds above 0 and at most 86400";
                return false;
            }
        } else if (opt == "--block") {
            if (!needsValue(&value)) return false;
            if (!parseInt(value, kMinBlock, kMaxBlock, out.blockSize)) {
                error = "--block wants a whole number of frames from 1 to 65536";
                return false;
            }
        } else if (opt == "--rate") {
            if (!needsValue(&value)) return false;
            if (!parseInt(value, kMinRate, kMaxRate, out.sampleRate)) {
                error = "--rate wants a whole sample rate from 1000 to 768000";
                return false;
            }
        } else if (opt == "--instances") {
            if (!needsValue(&value)) return false;
            if (!parseInt(value, 1, kMaxInstances, out.instances)) {
                error = "--instances wants a whole number of instances from 1 to 16";
                return false;
            }
        } else if (opt == "--tempo") {
            if (!needsValue(&value)) return false;
            if (!parseDouble(value, kMinTempo, kMaxTempo, out.tempo)) {
                error = "--tempo wants beats per minute from 1 to 999";
                return false;
            }
        } else if (opt == "--latency") {
            if (!needsValue(&value)) return false;
            if (!parseLatency(value, out.inputLatency, out.outputLatency)) {
                error = "--latency wants IN,OUT in samples, each from 0 to 1048576";
                return false;
            }
        } else if (opt == "--input" || opt == "--output" || opt == "--chunk-in" || opt == "--chunk-out" ||
                   opt == "--plugin" || opt == "--script") {
            if (!needsValue(&value)) return false;
            if (!*value) {
                error = opt + " wants a file name";
                return false;
            }
            std::string& target = opt == "--input"      ? out.inputPath
                                  : opt == "--output"   ? out.outputPath
                                  : opt == "--chunk-in" ? out.chunkInPath
                                  : opt == "--chunk-out" ? out.chunkOutPath
                                  : opt == "--script"    ? out.scriptPath
                                                         : out.pluginPath;
            target = value;
        } else if (opt == "--address") {
            if (!needsValue(&value)) return false;
            if (!isDottedQuad(value)) {
                error = "--address wants an IPv4 address A.B.C.D";
                return false;
            }
            out.localAddress = value;
            addressGiven = true;
        } else if (opt == "--auto-answer") {
            if (!needsValue(&value)) return false;
            const std::string v = value;
            if (v == "accept") out.autoAnswer = HostOptions::Answer::Accept;
            else if (v == "reject") out.autoAnswer = HostOptions::Answer::Reject;
            else {
                error = "--auto-answer wants accept or reject";
                return false;
            }
        } else if (opt == "--peer-loss") {
            if (!needsValue(&value)) return false;
            if (!parseLoss(value, out.peerLossPercent, out.peerLossSeed)) {
                error = "--peer-loss wants PERCENT[,SEED], a percent from 0 to 100";
                return false;
            }
        } else if (opt == "--service") {
            if (!needsValue(&value)) return false;
            if (!parseService(value, out.serviceHost, out.servicePort)) {
                error = "--service wants HOST:PORT with a port from 1 to 65535";
                return false;
            }
            serviceGiven = true;
        } else {
            error = "unknown option " + opt;
            return false;
        }
    }
    if (out.help) return true;
    if (!out.builtIn() && (addressGiven || serviceGiven)) {
        error = "--address and --service apply to the built-in plug-in only, not with --plugin";
        return false;
    }
    if (!out.builtIn() && (out.autoAnswer != HostOptions::Answer::None || out.peerLossPercent > 0.0)) {
        error = "--auto-answer and --peer-loss apply to the built-in plug-in only, not with --plugin";
        return false;
    }
    if (out.commands && !out.scriptPath.empty()) {
        error = "give either --commands or --script, not both";
        return false;
    }
    if ((!out.inputPath.empty() || !out.outputPath.empty()) && out.seconds <= 0.0) {
        error = "--input and --output need --seconds";
        return false;
    }
    return true;
}

const char* hostUsage() {
    return "usage: trvhost [options]\n"
           "Loads the plug-in (built in, or from a shared library) and drives it\n"
           "through its VST 2 record the way a sequencer does.\n"
           "\n"
           "  --plugin PATH        load the plug-in from a shared library instead of\n"
           "                       the built-in one\n"
           "  --instances N        make N instances (1 to 16, default 1), processed in\n"
           "                       order every block like N tracks; the options below\n"
           "                       about input, output, chunks and info mean instance 1\n"
           "  --info               print the plug-in's identity, flags, pins and answers\n"
           "  --seconds S          run S seconds of audio blocks through processReplacing\n"
           "  --block N            block size in frames (default 256)\n"
           "  --rate HZ            sample rate (default 48000)\n"
           "  --fast               run the blocks unpaced instead of in real time\n"
           "  --tempo BPM          tempo of the simulated transport (default 120)\n"
           "  --play               start the transport playing\n"
           "  --latency IN,OUT     input and output latency in samples the host reports\n"
           "                       to every instance (default 0,0)\n"
           "  --input FILE.wav     audio fed to instance 1 (mono or stereo at --rate);\n"
           "                       silence without it or after its end\n"
           "  --output FILE.wav    instance 1's output, 32-bit float stereo\n"
           "  --chunk-in FILE      state sent with effSetChunk before the run\n"
           "  --chunk-out FILE     state from effGetChunk (bank) after the run\n"
           "  --address A.B.C.D    local address for every socket (built-in plug-in only)\n"
           "  --service HOST:PORT  web service to use (built-in plug-in only); commands\n"
           "                       are then read from standard input unless --script\n"
           "  --commands           read commands from standard input\n"
           "  --script FILE        read commands from FILE\n"
           "  --auto-answer accept|reject\n"
           "                       answer every invitation popup at once (built-in plug-in)\n"
           "  --help               this text\n"
           "\n"
           "Commands, one a line, run while the audio blocks keep going; the run ends\n"
           "at quit, at the end of the input, or after --seconds. Every status line the\n"
           "plug-in posts is printed as \"status: <line>\". The command help lists them:\n"
           "login NAME PASSWORD, logout, invite NAME, accept, reject, disconnect, state,\n"
           "wait TEXT [SECONDS], messages, sleep MS, policy N, quit; for the audio\n"
           "play FILE.wav|clicks|stop [K], record FILE.wav|stop [K], transport play|stop,\n"
           "latency [K], and with the built-in plug-in switch send|receive|thru|mute\n"
           "on|off [K], offset on|off [K], audio, upstream KBITS, quality PERCENT and\n"
           "codec ID (K: an instance from 1, default 1). Listener events are printed as\n"
           "\"event: <kind> [<partner>]\", the invitation popup as \"popup: ...\".\n"
           "Double quotes group words: wait \"is online.\" 5\n"
           "\n"
           "Exit status: 0 success, 1 the plug-in or a file failed, 2 bad arguments,\n"
           "3 a command failed (unknown, bad arguments, or a wait that timed out).\n";
}
