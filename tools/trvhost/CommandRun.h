#pragma once
// The command interface of a run: commands from a script file or standard
// input, run one after the other on the calling thread while the audio
// thread keeps processing blocks.
//
// With the built-in plug-in every status line the controller posts is
// echoed as it appears ("status: <line>"), the listener events and the
// invitation popup are shown, and the editor's idle calls are stood in for
// every 100 ms, on every instance. A plug-in library gets the commands that
// work through the host alone (play, record, transport, latency, ...).
//
// The run ends at `quit`, at the end of the input, when the audio run is
// over (--seconds), or at the first command that fails.
#include <cstdio>
#include <vector>

#include "tools/trvhost/HostOptions.h"
#include "vst/VstAbi.h"

class AudioRun;
class LineOutput;
class TestHost;

// Exit status of a command run.
enum CommandRunStatus { kCommandsDone = 0, kCommandsCannotStart = 1, kCommandFailed = 3 };

// `effects` are the run's instances in order; `run` is already started;
// `out` is the run's standard output, which other threads write lines to
// as well.
int runCommands(const std::vector<AEffect*>& effects, TestHost& host, AudioRun& run, const HostOptions& options,
                LineOutput& out, std::FILE* err);
