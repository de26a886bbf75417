#pragma once
// Command line of the test host.
#include <cstdint>
#include <string>

// The largest SMPTE frame-rate code the host reports.
constexpr int32_t kMaxSmpteCode = 13;

struct HostOptions {
    bool help = false;
    bool info = false;
    double seconds = 0.0;  // 0: no audio run
    int32_t blockSize = 256;
    int32_t sampleRate = 48000;
    bool fast = false;  // unpaced blocks
    double tempo = 120.0;
    bool play = false;
    // The loop in quarter notes from the start (loopEnd > loopStart).
    bool loop = false;
    double loopStart = 0.0;
    double loopEnd = 0.0;
    int32_t smpteFrameRate = 0;  // the code the host reports (0 to kMaxSmpteCode)
    std::string midiInPath;   // MIDI events for instance 1
    std::string midiOutPath;  // the MIDI the plug-in hands the host
    bool chaseTimeCode = false;
    std::string inputPath;
    std::string outputPath;
    std::string chunkInPath;
    std::string chunkOutPath;
    std::string pluginPath;  // empty: the built-in plug-in
    // Instances made from the entry, processed in order every block.
    int32_t instances = 1;
    int32_t inputLatency = 0;
    int32_t outputLatency = 0;
    std::string localAddress;  // built-in plug-in only
    std::string serviceHost;   // built-in plug-in only; empty: none
    uint16_t servicePort = 0;
    std::string scriptPath;  // commands from this file
    bool commands = false;   // commands from standard input
    // Built-in plug-in only: answer invitation popups at once (scripted runs).
    enum class Answer { None, Accept, Reject } autoAnswer = Answer::None;
    // Hidden test option: percent of the peer link's datagrams lost on
    // sending, with the seed of the random choice.
    double peerLossPercent = 0.0;
    uint32_t peerLossSeed = 1;
    // Built-in plug-in only: its camera, synthetic or a device path
    // (HostCamera.h); empty: the plug-in opens the first device it finds.
    std::string camera;
    // Instance 1's editor: none, in a window of the host's own, or drawn
    // in memory only.
    enum class Editor { None, Window, Offscreen };
    Editor editor = Editor::None;
    // Every save dialog of a received file answers with this folder and
    // the name the plug-in proposes.
    std::string saveDir;

    bool builtIn() const { return pluginPath.empty(); }
    // A networked run (--service) takes commands from standard input unless
    // a script is given.
    bool commandMode() const {
        return commands || !scriptPath.empty() || (builtIn() && !serviceHost.empty()) || editor != Editor::None;
    }
};

// The options: one table entry per option, from which both the parser and
// the usage come. Adding an option is one entry in the table
// (HostOptions.cpp), plus a setter when its argument needs parsing of its own.

// Stores an option's argument (null for a switch) in the options; false
// refuses the argument.
using OptionSetter = bool (*)(const char* argument, HostOptions& options);

// An option of the built-in plug-in only: whether the parsed options use it,
// and the error when they do together with --plugin. {} for any plug-in.
struct BuiltInOnly {
    bool (*uses)(const HostOptions& options);
    const char* error;
};

struct HostOption {
    const char* name;      // "--block"
    const char* argument;  // as shown in the usage, e.g. "N"; "" for a switch
    const char* help;      // usage text, '\n' between its lines; null: not in the usage
    OptionSetter set;
    const char* refused;   // the error when set refuses the argument
    BuiltInOnly builtInOnly;
};

// The table, in usage order; the last entry has a null name.
const HostOption* hostOptionTable();

// Parses argv[1..argc-1]. False with a one-line reason on a bad command
// line; `out` is then unspecified.
bool parseHostOptions(int argc, const char* const* argv, HostOptions& out, std::string& error);

const char* hostUsage();
